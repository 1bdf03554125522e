// --deleted: the deleted keys and values recovered from the hive's unused
// space (deleted/scan_deleted.h), one tab-separated line each in file-offset
// order; paths are written as --find writes them. (With --timeline, --deleted
// adds the recovered keys to the timeline instead: see timeline_command.cpp.)

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "deleted/deleted_value_data.h"
#include "deleted/scan_deleted.h"
#include "hive/in_place.h"
#include "hive/key_details.h"

namespace dump {
namespace {

// Appends the names of a path, each escaped, joined by "\\".
void AppendPath(std::string& line, const std::vector<std::string_view>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) line += '\\';
    AppendEscaped(line, names[i]);
  }
}

void AppendField(std::string& line, std::string_view text) {
  line += '\t';
  line += text;
}

// One line per recovered key and value, keys and values merged in file order.
void PrintDeleted(const tree::KeyTree& keys, const deleted::DeletedRecords& records, OutputBuffer& output) {
  std::string line;
  char offset[16];
  for (size_t k = 0, v = 0; k < records.keys.size() || v < records.values.size();) {
    const bool isKey = v == records.values.size() ||
                       (k < records.keys.size() && records.keys[k].recordOffset < records.values[v].recordOffset);
    line.clear();
    if (isKey) {
      const deleted::DeletedKey& key = records.keys[k];
      line = "key\t";
      AppendPath(line, deleted::DeletedKeyPathNames(keys, records, k++));
      AppendField(line, hive::FormatFileTime(key.lastWritten));
      AppendField(line, std::to_string(key.subkeyCount));
      AppendField(line, std::to_string(key.valueCount));
      std::snprintf(offset, sizeof offset, "0x%08X", key.recordOffset);
    } else {
      const deleted::DeletedValue& value = records.values[v];
      line = "value\t";
      AppendPath(line, deleted::DeletedValueKeyPathNames(keys, records, v++));
      line += '\t';
      AppendEscaped(line, value.name);
      AppendField(line, std::to_string(value.type));
      AppendField(line, std::to_string(deleted::DeletedValueLength(value)));
      std::snprintf(offset, sizeof offset, "0x%08X", value.recordOffset);
    }
    AppendField(line, offset);
    output.WriteText(line);
  }
}

constexpr Option kOptions[] = {{"--deleted"}};

class DeletedDump final : public Command {
 public:
  DeletedDump() : Command(kOptions) {}

  std::string_view Usage() const override { return "keyloom-dump [--open-anyway] --deleted HIVE\n"; }
  int UsagePlace() const override { return 50; }
  std::string_view OptionsHelp() const override {
    return "  --deleted        instead of the tree, print the deleted keys and values\n"
           "                   recovered from the hive's unused space, in file order,\n"
           "                   one tab-separated line each:\n"
           "                   key PATH LAST-WRITTEN SUBKEYS VALUES OFFSET\n"
           "                   value KEY-PATH NAME TYPE LENGTH OFFSET\n"
           "                   (a path starts with \"?\" where its parent is not known);\n"
           "                   with --timeline: the recovered deleted keys as well\n";
  }

  Taken Take(std::string_view option, const char*) override {
    if (option != "--deleted") return Taken::kNotMine;
    m_deleted = true;
    return Taken::kTaken;
  }
  bool Chosen() const override { return m_deleted; }
  bool Valid() const override { return true; }

  int Run(OpenedHive& opened) override {
    if (!hive::IsMappedInPlace(*opened.hive)) {
      std::fprintf(stderr, "keyloom-dump: %s: cannot be scanned: the file could not be mapped\n", opened.path);
      return 1;
    }
    {
      OutputBuffer output(stdout);
      PrintDeleted(opened.keys, deleted::ScanDeletedRecords(*opened.hive, opened.keys, opened.index), output);
    }
    ReportBuildOutcome(opened);
    return std::ferror(stdout) != 0 ? 1 : 0;
  }

 private:
  bool m_deleted = false;
};

}  // namespace

Command& DeletedCommand() {
  static DeletedDump command;
  return command;
}

}  // namespace dump
