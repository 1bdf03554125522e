// --timeline csv|bodyfile|jsonl: every key by its last-written time, newest
// first, written to stdout by the timeline writers of src/export; with
// --deleted the recovered deleted keys as well; with --artifacts (no value)
// every time the hive's artifacts decode.

#include <unistd.h>

#include <string_view>
#include <vector>

#include "command.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "deleted/scan_deleted.h"
#include "export/artifact_rows.h"
#include "export/timeline.h"
#include "export/timeline_writers.h"

namespace dump {
namespace {

exporting::TimelineFormat TimelineFormatOf(std::string_view name) {
  if (name == "bodyfile") return exporting::TimelineFormat::kBodyfile;
  return name == "jsonl" ? exporting::TimelineFormat::kJsonLines : exporting::TimelineFormat::kCsv;
}

// --deleted is the deleted records' own command too (deleted_command.cpp,
// which writes its help line); beside --timeline it is taken here.
// --artifacts is a command of its own as well (artifacts_command.cpp, which
// writes its help line); without a value, beside --timeline, it is taken here.
constexpr Option kOptions[] = {{"--timeline", true}, {"--deleted"}, {"--artifacts", true, true}};

class TimelineDump final : public Command {
 public:
  TimelineDump() : Command(kOptions) {}

  std::string_view Usage() const override {
    return "keyloom-dump [--open-anyway] --timeline csv|bodyfile|jsonl [--deleted] [--artifacts]\n"
           "                    HIVE\n";
  }
  int UsagePlace() const override { return 40; }
  std::string_view OptionsHelp() const override {
    return "  --timeline FORMAT instead of the tree, every key by its last-written time,\n"
           "                   newest first: csv, bodyfile (the Sleuth Kit's mactime\n"
           "                   reads it) or jsonl (JSON lines)\n";
  }

  Taken Take(std::string_view option, const char* argument) override {
    if (option == "--timeline") {
      m_format = argument;
    } else if (option == "--deleted") {
      m_deleted = true;
    } else if (option == "--artifacts") {
      if (argument != nullptr) m_artifactsNamed = true;
      m_artifacts = true;
    } else {
      return Taken::kNotMine;
    }
    return Taken::kTaken;
  }
  bool Chosen() const override { return !m_format.empty(); }
  bool Valid() const override {
    // A bare --artifacts belongs to the timeline; without one it says nothing.
    if (m_format.empty()) return !m_artifacts || m_artifactsNamed;
    return (m_format == "csv" || m_format == "bodyfile" || m_format == "jsonl") && !m_artifactsNamed;
  }

  int Run(OpenedHive& opened) override {
    ReportBuildOutcome(opened);
    if (!CanWriteFrom(opened)) return 1;
    exporting::DescriptorSink sink(STDOUT_FILENO);
    deleted::DeletedRecords records;
    if (m_deleted) records = deleted::ScanDeletedRecords(*opened.hive, opened.keys, opened.index);
    const deleted::DeletedRecords* shown = m_deleted ? &records : nullptr;
    std::vector<exporting::TimelineEntry> entries =
        exporting::CollectTimeline(*opened.hive, opened.keys, opened.index, shown);
    std::vector<exporting::ArtifactEvent> events;
    if (m_artifacts) {
      const artifacts::HiveKeys keys(*opened.hive, opened.keys, opened.index);
      const artifacts::HiveKind kind = artifacts::DetectHiveKind(keys, FileNameOf(opened.path));
      events = exporting::CollectArtifactEvents({keys, kind, artifacts::CurrentControlSet(keys)});
      exporting::AddArtifactEvents(entries, events);
    }
    const exporting::ExportOutcome outcome = exporting::WriteTimeline(
        opened.keys, shown, entries, TimelineFormatOf(m_format), sink, nullptr, m_artifacts ? &events : nullptr);
    return WriterStatus(opened, outcome, sink);
  }

 private:
  std::string_view m_format;  // "csv", "bodyfile", "jsonl"; empty: not chosen
  bool m_deleted = false;
  bool m_artifacts = false;       // --artifacts: the decoded times join the keys'
  bool m_artifactsNamed = false;  // --artifacts WHAT beside --timeline: a usage error
};

}  // namespace

Command& TimelineCommand() {
  static TimelineDump command;
  return command;
}

}  // namespace dump
