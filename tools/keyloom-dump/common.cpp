#include "common.h"

#include <cstring>

#include "export/reg_export.h"
#include "recovery/open_anyway.h"

namespace dump {

void AppendEscaped(std::string& out, std::string_view text) {
  const size_t start = out.size();
  out.resize(start + 4 * text.size());
  char* end = WriteEscaped(out.data() + start, text);
  out.resize(static_cast<size_t>(end - out.data()));
}

bool OpenAndBuildTree(const char* path, bool openAnyway, OpenedHive& opened) {
  opened.path = path;
  std::string reason;
  recovery::OpenReport report;
  opened.hive = openAnyway ? recovery::OpenHiveAnyway(path, &reason, &report) : hive::OpenHive(path, &reason);
  if (!opened.hive) {
    std::fprintf(stderr, "keyloom-dump: %s: %s\n", path, reason.c_str());
    return false;
  }
  for (const std::string& line : report.lines) std::fprintf(stderr, "keyloom-dump: %s: %s\n", path, line.c_str());
  tree::BuildSignals signals;
  opened.outcome = tree::BuildKeyTree(opened.keys, opened.index, *opened.hive, signals);
  return true;
}

void ReportBuildOutcome(const OpenedHive& opened) {
  if (opened.outcome == tree::BuildOutcome::kNoRoot) {
    std::fprintf(stderr, "keyloom-dump: %s: no root key found\n", opened.path);
  } else if (opened.outcome == tree::BuildOutcome::kTooLarge) {
    // The tree read so far is printed, as the viewer shows it, and the exit
    // status stays 0, as for every hive that opens; this line says it is cut.
    std::fprintf(stderr, "keyloom-dump: %s: %s\n", opened.path, tree::DescribeCutTree(opened.keys.Size()).c_str());
  }
}

bool CanWriteFrom(const OpenedHive& opened) {
  if (exporting::CanExportValues(*opened.hive)) return true;
  std::fprintf(stderr, "keyloom-dump: %s: cannot be exported: the file could not be mapped\n", opened.path);
  return false;
}

int WriterStatus(const OpenedHive& opened, exporting::ExportOutcome outcome,
                 const exporting::DescriptorSink& sink) {
  if (outcome == exporting::ExportOutcome::kTooLarge) {
    std::fprintf(stderr, "keyloom-dump: %s: the values' data passes what the hive's size can hold, so the export was cut\n",
                 opened.path);
    return 1;
  }
  if (outcome == exporting::ExportOutcome::kWriteFailed) {
    std::fprintf(stderr, "keyloom-dump: cannot write the output: %s\n", std::strerror(sink.Error()));
    return 1;
  }
  return 0;
}

}  // namespace dump
