// --artifacts list|all|ID[,ID...] [--format jsonl|tsv] [--deleted]: what the
// hive's well-known keys mean, decoded by the artifacts of src/artifacts.
//
//   list   "kind<TAB>KIND", then one line per artifact of the hive's kind:
//          "ID<TAB>TITLE<TAB>ROWS"
//   all    the rows of every artifact of the hive's kind
//   IDs    the rows of those artifacts, whatever the hive's kind
//
// Rows as JSON lines (export/artifact_rows.h) or, with --format tsv, for each
// artifact a line "# ID", a header ("key", "value", the artifact's columns,
// "problem"), then one line per row, every field escaped as a label is. With
// --deleted, the keys and values recovered from the hive's unused space are
// decoded too, and each row says whether it came from one ("deleted":true or
// false; a column "deleted" after "problem").

#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "command.h"
#include "deleted/scan_deleted.h"
#include "export/artifact_rows.h"
#include "export/output_sink.h"

namespace dump {
namespace {

constexpr Option kOptions[] = {{"--artifacts", true, true}, {"--format", true}, {"--deleted"}};

// The artifacts named by which: "all" and "list" those of kind, else ids
// joined by commas, each an artifact's.
std::vector<const artifacts::Artifact*> SelectArtifacts(std::string_view which, artifacts::HiveKind kind) {
  if (which == "all" || which == "list") return artifacts::ArtifactsFor(kind);
  std::vector<const artifacts::Artifact*> selected;
  while (true) {
    const size_t comma = which.find(',');
    selected.push_back(artifacts::FindArtifact(which.substr(0, comma)));
    if (comma == std::string_view::npos) return selected;
    which.remove_prefix(comma + 1);
  }
}

bool KnownIds(std::string_view which) {
  if (which == "all" || which == "list") return true;
  while (true) {
    const size_t comma = which.find(',');
    if (artifacts::FindArtifact(which.substr(0, comma)) == nullptr) return false;
    if (comma == std::string_view::npos) return true;
    which.remove_prefix(comma + 1);
  }
}

class ArtifactsDump final : public Command {
 public:
  ArtifactsDump() : Command(kOptions) {}

  std::string_view Usage() const override {
    return "keyloom-dump [--open-anyway] --artifacts list|all|ID[,ID...] [--format jsonl|tsv]\n"
           "                    [--deleted] HIVE\n";
  }
  int UsagePlace() const override { return 50; }
  std::string_view OptionsHelp() const override {
    return "  --artifacts WHAT instead of the tree, what the hive's well-known keys mean,\n"
           "                   decoded: list (the artifacts of the hive's kind and their\n"
           "                   row counts), all (their rows), or artifact ids joined by\n"
           "                   commas: userassist, runmru, typedpaths, typedurls,\n"
           "                   wordwheelquery, run, shellbags, recentdocs, comdlg32,\n"
           "                   mountpoints2, officemru, muicache, featureusage,\n"
           "                   recentapps, tsclient, mapnetworkdrive, windows,\n"
           "                   profilelist, networklist, uninstall, computername,\n"
           "                   timezone, shutdown, services, usbstor, usb,\n"
           "                   mounteddevices, bam, appcompatcache, samusers, samgroups,\n"
           "                   amcache; with --timeline (and no WHAT): every decoded\n"
           "                   time joins the keys' times\n"
           "  --format FORM    --artifacts rows as jsonl (JSON lines, the default) or\n"
           "                   tsv (tab-separated, a header per artifact)\n";
  }

  Taken Take(std::string_view option, const char* argument) override {
    if (option == "--artifacts") {
      if (argument == nullptr) return Taken::kTaken;  // the timeline's
      m_which = argument;
    } else if (option == "--format") {
      m_format = argument;
    } else if (option == "--deleted") {
      m_deleted = true;
    } else {
      return Taken::kNotMine;
    }
    return Taken::kTaken;
  }
  bool Chosen() const override { return !m_which.empty(); }
  bool Valid() const override {
    if (m_which.empty()) return m_format.empty();
    return (m_format.empty() || m_format == "jsonl" || m_format == "tsv") && KnownIds(m_which);
  }

  int Run(OpenedHive& opened) override {
    ReportBuildOutcome(opened);
    if (!CanWriteFrom(opened)) return 1;
    deleted::DeletedRecords records;
    if (m_deleted) records = deleted::ScanDeletedRecords(*opened.hive, opened.keys, opened.index);
    const artifacts::HiveKeys keys(*opened.hive, opened.keys, opened.index, m_deleted ? &records : nullptr);
    const artifacts::HiveKind kind = artifacts::DetectHiveKind(keys, FileNameOf(opened.path));
    const artifacts::DecodeContext context{keys, kind, artifacts::CurrentControlSet(keys)};
    exporting::DescriptorSink sink(STDOUT_FILENO);
    exporting::BufferedOutput out(sink);
    if (m_which == "list") {
      WriteList(context, out);
    } else {
      for (const artifacts::Artifact* artifact : SelectArtifacts(m_which, kind)) {
        const std::vector<artifacts::ArtifactRow> rows = artifacts::DecodeArtifact(*artifact, context);
        if (m_format == "tsv") {
          WriteTsv(*artifact, rows, keys, out);
        } else {
          WriteJsonLines(*artifact, rows, keys, out);
        }
      }
    }
    return WriterStatus(opened, out.Flush() ? exporting::ExportOutcome::kComplete
                                            : exporting::ExportOutcome::kWriteFailed,
                        sink);
  }

 private:
  static void WriteList(const artifacts::DecodeContext& context, exporting::BufferedOutput& out) {
    std::string line = "kind\t";
    line += artifacts::HiveKindName(context.kind);
    line += '\n';
    for (const artifacts::Artifact* artifact : artifacts::ArtifactsFor(context.kind)) {
      line += artifact->id;
      line += '\t';
      line += artifact->title;
      line += '\t';
      line += std::to_string(artifacts::DecodeArtifact(*artifact, context).size());
      line += '\n';
    }
    out.Append(line);
  }

  void WriteJsonLines(const artifacts::Artifact& artifact, const std::vector<artifacts::ArtifactRow>& rows,
                      const artifacts::HiveKeys& keys, exporting::BufferedOutput& out) const {
    std::string line;
    for (const artifacts::ArtifactRow& row : rows) {
      line.clear();
      exporting::AppendArtifactJsonLine(artifact, row, keys, line);
      if (m_deleted) {
        line.pop_back();  // "}\n"
        line.pop_back();
        line += row.deleted ? ",\"deleted\":true}\n" : ",\"deleted\":false}\n";
      }
      out.Append(line);
    }
  }

  void WriteTsv(const artifacts::Artifact& artifact, const std::vector<artifacts::ArtifactRow>& rows,
                const artifacts::HiveKeys& keys, exporting::BufferedOutput& out) const {
    std::string line = "# ";
    line += artifact.id;
    line += "\nkey\tvalue";
    for (const artifacts::Column& column : artifact.columns) {
      line += '\t';
      line += column.name;
    }
    line += m_deleted ? "\tproblem\tdeleted\n" : "\tproblem\n";
    out.Append(line);
    std::string cell;
    for (const artifacts::ArtifactRow& row : rows) {
      line.clear();
      const std::vector<std::string_view> names = keys.PathNames(row.key);
      for (size_t i = 0; i < names.size(); ++i) {
        if (i != 0) line += '\\';
        AppendEscaped(line, names[i]);
      }
      line += '\t';
      AppendEscaped(line, row.fromValue ? row.valueName : std::string_view{});
      for (const artifacts::Cell& each : row.cells) {
        cell.clear();
        exporting::AppendCellText(each, cell);
        line += '\t';
        AppendEscaped(line, cell);
      }
      line += '\t';
      AppendEscaped(line, row.problem);
      if (m_deleted) line += row.deleted ? "\tyes" : "\tno";
      line += '\n';
      out.Append(line);
    }
  }

  std::string_view m_which;   // "list", "all" or ids; empty: not chosen
  std::string_view m_format;  // "jsonl", "tsv"; empty: jsonl
  bool m_deleted = false;
};

}  // namespace

Command& ArtifactsCommand() {
  static ArtifactsDump command;
  return command;
}

}  // namespace dump
