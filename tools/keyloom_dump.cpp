// keyloom-dump: prints the key tree of a hive as indented text, for scripts and
// tests. One line per key in pre-order, two spaces per depth level, then the
// key's label with control characters escaped. With --values, each key's line
// is followed by one line per row of the key's values, as the ValueTable shows
// them: indented two spaces deeper than the key, then "= " and the escaped row
// text (its column line feeds appear as \n).
//
// The options and exit statuses are those of kHelp below.
//
// --open-anyway opens the hive the wider way (recovery/open_anyway.h): newer
// versions, and hives not saved cleanly with their transaction logs applied in
// memory. Each thing it did beyond the strict open is one line on stderr.
//
// With --find, it prints one line per match of Find, in pre-order: the key's
// path (the names of the keys below the root down to it, each escaped as a
// label is, joined by "\"; the root alone is written as its own name), and
// for a value that matched " = " and the value's escaped name. --in names the
// places to look (key names, value names, value data; all by default).
//
// With --deleted, it prints the deleted keys and values recovered from the
// hive's unused space (deleted/scan_deleted.h), one tab-separated line each
// in file-offset order; paths are written as --find writes them.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deleted/deleted_value_data.h"
#include "deleted/scan_deleted.h"
#include "export/json_export.h"
#include "export/reg_export.h"
#include "export/timeline.h"
#include "export/timeline_writers.h"
#include "hive/hive_file.h"
#include "hive/in_place.h"
#include "hive/key_details.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "keyloom_version.h"
#include "recovery/open_anyway.h"
#include "search/find.h"
#include "tree/build_key_tree.h"
#include "tree/key_path.h"
#include "values/show_key_values.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Bytes written as an escape: control characters, 0x7F and the backslash.
constexpr bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '\\'; }

// The length of the run of bytes at the start of text that need no escape.
// Tests 8 bytes at a time: a byte below 0x20, or one equal to 0x7F or '\\',
// sets its top bit in the mask.
size_t PlainRun(const unsigned char* text, size_t size) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  const auto below = [](uint64_t word, uint64_t n) { return (word - kOnes * n) & ~word & kHighs; };
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if ((below(word, 0x20) | below(word ^ (kOnes * 0x7F), 1) | below(word ^ (kOnes * '\\'), 1)) != 0) {
      break;
    }
  }
  while (i < size && !NeedsEscape(text[i])) ++i;
  return i;
}

// The most bytes WriteLine writes for an indent of depth levels and text.
size_t LineBound(int32_t depth, size_t prefixSize, std::string_view text) {
  return 2 * static_cast<size_t>(depth) + prefixSize + 4 * text.size() + 1;
}

// Writes text at out with backslash, line feed, carriage return and tab
// escaped as \\ \n \r \t, and every other control character (and 0x7F) as
// \xHH; returns the end of what it wrote (at most 4 bytes per byte of text).
char* WriteEscaped(char* out, std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  while (p != end) {
    // Runs that need no escape are copied whole.
    const size_t run = PlainRun(p, static_cast<size_t>(end - p));
    if (run != 0) std::memcpy(out, p, run);
    out += run;
    p += run;
    if (p == end) break;
    const unsigned char byte = *p++;
    *out++ = '\\';
    switch (byte) {
      case '\\': *out++ = '\\'; break;
      case '\n': *out++ = 'n'; break;
      case '\r': *out++ = 'r'; break;
      case '\t': *out++ = 't'; break;
      default:
        *out++ = 'x';
        *out++ = kHexDigits[byte >> 4];
        *out++ = kHexDigits[byte & 0xF];
    }
  }
  return out;
}

// Collects output in a buffer of its own and writes it in large pieces.
class OutputBuffer {
 public:
  // The buffer is not cleared first: only the part that is written to is
  // ever touched, so a small tree takes little memory.
  explicit OutputBuffer(std::FILE* file)
      : m_file(file), m_data(new char[kFlushAt]), m_capacity(kFlushAt) {}
  ~OutputBuffer() { Flush(); }
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Writes one line: 2 spaces per depth level, prefix, text escaped, a line feed.
  void WriteLine(int32_t depth, std::string_view prefix, std::string_view text) {
    char* out = Room(LineBound(depth, prefix.size(), text));
    const size_t indent = 2 * static_cast<size_t>(depth);
    std::memset(out, ' ', indent);
    out += indent;
    if (!prefix.empty()) std::memcpy(out, prefix.data(), prefix.size());
    out = WriteEscaped(out + prefix.size(), text);
    *out++ = '\n';
    m_used = static_cast<size_t>(out - m_data.get());
  }

  // Writes text as it stands, then a line feed.
  void WriteText(std::string_view text) {
    char* out = Room(text.size() + 1);
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\n';
    m_used += text.size() + 1;
  }

  void Flush() {
    if (m_used != 0) std::fwrite(m_data.get(), 1, m_used, m_file);
    m_used = 0;
  }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;

  // Room for at least bytes more at the end of what is collected.
  char* Room(size_t bytes) {
    if (m_capacity - m_used < bytes) {
      Flush();
      if (m_capacity < bytes) {
        m_data.reset(new char[bytes]);
        m_capacity = bytes;
      }
    }
    return m_data.get() + m_used;
  }

  std::FILE* m_file;
  std::unique_ptr<char[]> m_data;
  size_t m_capacity;
  size_t m_used = 0;
};

// The selection and value table that ShowKeyValues lists one key into: each
// row becomes a line of the output.
class ValueLines final : public values::KeySelection, public values::ValueTable {
 public:
  explicit ValueLines(OutputBuffer& output) : m_output(output) {}

  void Select(int32_t position, int32_t depth) {
    m_position = position;
    m_depth = depth;
  }
  int32_t SelectedItemPosition() const override { return m_position; }
  void RemoveAllRows() override {}
  void AddRow(std::string_view rowText) override { m_output.WriteLine(m_depth + 1, "= ", rowText); }

 private:
  OutputBuffer& m_output;
  int32_t m_position = -1;
  int32_t m_depth = 0;
};

// Prints the tree; with hive and index given, each key's value rows as well.
void PrintTree(const tree::KeyTree& keys, OutputBuffer& output, hive::HiveFile* hive = nullptr,
               const tree::KeyIndex* index = nullptr) {
  ValueLines valueLines(output);
  // Items come in pre-order, so the items on the path from the top level to
  // the current item form a stack, and an item's depth is its parent's place
  // in that stack plus one.
  std::vector<int32_t> path;
  for (int32_t position = 0; position < keys.Size(); ++position) {
    const int32_t parent = keys.Parent(position);
    while (!path.empty() && path.back() != parent) path.pop_back();
    const auto level = static_cast<int32_t>(path.size());
    path.push_back(position);
    output.WriteLine(level, {}, keys.Label(position));
    if (hive != nullptr && index != nullptr) {
      valueLines.Select(position, level);
      values::ShowKeyValues(*hive, *index, valueLines, valueLines);
    }
  }
}

// The whole text of --help. Its lines up to the first empty line are the
// usage that a usage error prints.
constexpr std::string_view kHelp =
    "usage: keyloom-dump [--open-anyway] [--values] HIVE\n"
    "       keyloom-dump [--open-anyway] --find TEXT [--in WHERE] [--match-case] [--whole] HIVE\n"
    "       keyloom-dump [--open-anyway] --export reg|json [--key PATH] [--root-name NAME]\n"
    "                    [--encoding utf-16|utf-8] HIVE\n"
    "       keyloom-dump [--open-anyway] --timeline csv|bodyfile|jsonl [--deleted] HIVE\n"
    "       keyloom-dump [--open-anyway] --deleted HIVE\n"
    "       keyloom-dump --help | --version\n"
    "\n"
    "Prints the key tree of a Windows NT registry hive file as indented text: one\n"
    "line per key in pre-order, two spaces per level, the key's name and its\n"
    "subkey and value counts as \"name (subkeys/values)\", with backslashes and\n"
    "control characters escaped (\\\\ \\n \\r \\t \\xHH). Reads the hive only: it\n"
    "never writes to the hive nor to its transaction logs.\n"
    "\n"
    "Options:\n"
    "  --values         after each key, one line per value, two spaces deeper:\n"
    "                   \"= \" and the value's row as the viewer shows it (name,\n"
    "                   type, length, content, separated by \\n)\n"
    "  --open-anyway    open a hive that the strict open refuses only for its\n"
    "                   version (1.4 to 1.6), its sequence numbers (not saved\n"
    "                   cleanly) or its clustering factor, with its transaction\n"
    "                   logs (HIVE.LOG, HIVE.LOG1, HIVE.LOG2) applied in memory;\n"
    "                   one line on stderr for each thing done beyond the\n"
    "                   strict open\n"
    "  --find TEXT      instead of the tree, print what contains TEXT: one line\n"
    "                   per matching key, its path (names below the root joined\n"
    "                   by \"\\\"), and one line \"PATH = NAME\" per matching value\n"
    "  --in WHERE       where --find looks, a comma-separated list of: keys (key\n"
    "                   names), names (value names), data (string data);\n"
    "                   default keys,names,data\n"
    "  --match-case     --find tells upper from lower case\n"
    "  --whole          --find matches a whole name or string only\n"
    "  --deleted        instead of the tree, print the deleted keys and values\n"
    "                   recovered from the hive's unused space, in file order,\n"
    "                   one tab-separated line each:\n"
    "                   key PATH LAST-WRITTEN SUBKEYS VALUES OFFSET\n"
    "                   value KEY-PATH NAME TYPE LENGTH OFFSET\n"
    "                   (a path starts with \"?\" where its parent is not known);\n"
    "                   with --timeline: the recovered deleted keys as well\n"
    "  --export FORMAT  instead of the tree, write the keys and values as a\n"
    "                   .reg file (reg: regedit's version 5, which regedit\n"
    "                   imports back losslessly) or as one JSON document (json)\n"
    "  --key PATH       --export writes this key and its subtree (PATH as --find\n"
    "                   prints it); default the root\n"
    "  --root-name NAME the root of the .reg paths, e.g. HKEY_LOCAL_MACHINE\\SYSTEM;\n"
    "                   default from the file's name\n"
    "  --encoding ENC   the .reg file's encoding: utf-16 (with a byte-order\n"
    "                   mark, the default) or utf-8\n"
    "  --timeline FORMAT instead of the tree, every key by its last-written time,\n"
    "                   newest first: csv, bodyfile (the Sleuth Kit's mactime\n"
    "                   reads it) or jsonl (JSON lines)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               end of options: the next argument is the hive\n"
    "\n"
    "Exit status:\n"
    "  0  success (with --find: something matched; with --deleted: also when\n"
    "     nothing was recovered)\n"
    "  1  the hive cannot be read (the reason goes to stderr), or the output\n"
    "     cannot be written\n"
    "  2  usage error\n"
    "  3  --find: nothing matched\n";

int Usage() {
  const std::string_view usage = kHelp.substr(0, kHelp.find("\n\n") + 1);
  std::fwrite(usage.data(), 1, usage.size(), stderr);
  return 2;
}

int UnknownOption(std::string_view option) {
  std::fprintf(stderr, "keyloom-dump: unknown option '%.*s'\n", static_cast<int>(option.size()), option.data());
  return Usage();
}

// --help or --version among the options (before any "--"; the TEXT of
// --find and the WHERE of --in are not options): their text on stdout, true.
bool AnswerInformationRequest(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (arg == "--find" || arg == "--in" || arg == "--export" || arg == "--key" || arg == "--root-name" ||
        arg == "--encoding" || arg == "--timeline") {
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
      return true;
    } else if (arg == "--version") {
      std::printf("keyloom-dump (Keyloom) %s\n", kKeyloomVersion);
      return true;
    }
  }
  return false;
}

// Appends text escaped as WriteLine escapes a label.
void AppendEscaped(std::string& out, std::string_view text) {
  const size_t start = out.size();
  out.resize(start + 4 * text.size());
  char* end = WriteEscaped(out.data() + start, text);
  out.resize(static_cast<size_t>(end - out.data()));
}

// Parses the places of --in, a comma-separated list of keys, names and data.
bool ParseWhere(std::string_view list, uint8_t& where) {
  where = 0;
  while (true) {
    const size_t comma = list.find(',');
    const std::string_view place = list.substr(0, comma);
    if (place == "keys") {
      where |= static_cast<uint8_t>(search::Where::kKeyNames);
    } else if (place == "names") {
      where |= static_cast<uint8_t>(search::Where::kValueNames);
    } else if (place == "data") {
      where |= static_cast<uint8_t>(search::Where::kValueData);
    } else {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

// The line of one match: the key's path, then " = " and the value's name.
void AppendMatchLine(hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                     const search::FindMatch& match, std::string& line) {
  std::vector<int32_t> path;  // the key, then its parents up to (not with) the root
  for (int32_t item = match.item; item != tree::KeyTree::kNone; item = keys.Parent(item)) {
    if (keys.Parent(item) == tree::KeyTree::kNone && !path.empty()) break;
    path.push_back(item);
  }
  hive::KeyNode key;
  std::string name;
  for (auto item = path.rbegin(); item != path.rend(); ++item) {
    if (item != path.rbegin()) line += '\\';
    name.clear();
    if (const auto offset = index.Find(*item)) {
      hive::ReadKeyNode(hive, *offset, key);
      hive::AppendKeyName(hive, key, name);
    }
    AppendEscaped(line, name);
  }
  if (match.value == search::FindMatch::kKeyItself) return;
  line += " = ";
  name.clear();
  hive::ValueList list;
  hive::ValueRecord value;
  hive::ReadKeyNode(hive, index.Find(match.item).value_or(0), key);
  hive::ValueFetch fetch = hive::ValueFetch::kOutOfRange;
  if (hive::GetValueList(hive, key, list) > 0) hive::GetValue(hive, list, match.value, value, &fetch);
  if (fetch == hive::ValueFetch::kFetched) hive::AppendValueName(hive, value, name);
  AppendEscaped(line, name);
}

// Prints every match in pre-order; returns how many there were.
int64_t PrintMatches(hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                     const search::FindOptions& options, OutputBuffer& output) {
  search::FindSignals signals;
  search::FindMatch from{0, search::FindMatch::kBeforeKey};
  std::optional<search::FindMatch> previous;
  int64_t printed = 0;
  std::string line;
  while (const auto match = search::FindNextMatch(hive, keys, index, options, from,
                                                  search::Direction::kNext, signals)) {
    // The search wraps at the end of the tree: a match not after the previous
    // one is the first match again.
    if (previous && (match->item < previous->item ||
                     (match->item == previous->item && match->value <= previous->value))) {
      break;
    }
    line.clear();
    AppendMatchLine(hive, keys, index, *match, line);
    output.WriteText(line);
    ++printed;
    previous = from = *match;
  }
  return printed;
}

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

// The stderr line of a walk that did not read the whole tree.
void ReportBuildOutcome(const char* path, tree::BuildOutcome outcome, const tree::KeyTree& keys) {
  if (outcome == tree::BuildOutcome::kNoRoot) {
    std::fprintf(stderr, "keyloom-dump: %s: no root key found\n", path);
  } else if (outcome == tree::BuildOutcome::kTooLarge) {
    // The tree read so far is printed, as the viewer shows it, and the exit
    // status stays 0, as for every hive that opens; this line says it is cut.
    std::fprintf(stderr, "keyloom-dump: %s: %s\n", path, tree::DescribeCutTree(keys.Size()).c_str());
  }
}

// What --export and --timeline ask for.
struct OutputRequest {
  std::string_view exportFormat;    // "reg", "json"; empty: no export
  std::string_view timelineFormat;  // "csv", "bodyfile", "jsonl"; empty: no timeline
  const char* keyPath = nullptr;
  const char* rootName = nullptr;
  std::string_view encoding;
  bool deleted = false;  // --timeline with --deleted
  bool Asked() const { return !exportFormat.empty() || !timelineFormat.empty(); }
};

// Takes argv[i] (and its argument) when it is an option of --export or
// --timeline; false, i unchanged, when it is not one of them.
bool TakeOutputOption(int argc, char** argv, int& i, OutputRequest& request) {
  const std::string_view arg = argv[i];
  if (i + 1 >= argc) return false;
  if (arg == "--export") {
    request.exportFormat = argv[i + 1];
  } else if (arg == "--timeline") {
    request.timelineFormat = argv[i + 1];
  } else if (arg == "--key") {
    request.keyPath = argv[i + 1];
  } else if (arg == "--root-name") {
    request.rootName = argv[i + 1];
  } else if (arg == "--encoding") {
    request.encoding = argv[i + 1];
  } else {
    return false;
  }
  ++i;
  return true;
}

bool OutputRequestValid(const OutputRequest& request) {
  const std::string_view exporting = request.exportFormat;
  const std::string_view timeline = request.timelineFormat;
  if (!exporting.empty() && !timeline.empty()) return false;
  if (!exporting.empty() && exporting != "reg" && exporting != "json") return false;
  if (!timeline.empty() && timeline != "csv" && timeline != "bodyfile" && timeline != "jsonl") return false;
  if (exporting.empty() && request.keyPath != nullptr) return false;
  if (exporting != "reg" && (request.rootName != nullptr || !request.encoding.empty())) return false;
  if (!request.encoding.empty() && request.encoding != "utf-16" && request.encoding != "utf-8") return false;
  return true;
}

// The key below parent that path names, escaped names joined by "\" as
// --find prints them. Each key of the tree is looked at once at most.
std::optional<int32_t> FindKeyBelow(const tree::KeyTree& keys, int32_t parent, std::string_view path) {
  std::string name;
  for (int32_t row = 0; row < keys.ChildCount(parent); ++row) {
    const int32_t child = keys.Child(parent, row);
    name.clear();
    AppendEscaped(name, tree::KeyNameOf(keys, child));
    if (!path.starts_with(name)) continue;
    if (path.size() == name.size()) return child;
    if (path[name.size()] != '\\') continue;
    if (const auto found = FindKeyBelow(keys, child, path.substr(name.size() + 1))) return found;
  }
  return std::nullopt;
}

// The key a --key PATH names: the root's own name for the root, else the
// names below the root.
std::optional<int32_t> FindKeyByPath(const tree::KeyTree& keys, std::string_view path) {
  if (keys.Empty()) return std::nullopt;
  std::string rootName;
  AppendEscaped(rootName, tree::KeyNameOf(keys, 0));
  if (path == rootName) return 0;
  return FindKeyBelow(keys, 0, path);
}

exporting::TimelineFormat TimelineFormatOf(std::string_view name) {
  if (name == "bodyfile") return exporting::TimelineFormat::kBodyfile;
  return name == "jsonl" ? exporting::TimelineFormat::kJsonLines : exporting::TimelineFormat::kCsv;
}

// Writes what --export or --timeline asks for to stdout; the exit status.
int WriteRequestedOutput(hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                         const char* path, const OutputRequest& request) {
  if (!exporting::CanExportValues(hive)) {
    std::fprintf(stderr, "keyloom-dump: %s: cannot be exported: the file could not be mapped\n", path);
    return 1;
  }
  exporting::DescriptorSink sink(STDOUT_FILENO);
  exporting::ExportOutcome outcome = exporting::ExportOutcome::kComplete;
  if (!request.timelineFormat.empty()) {
    deleted::DeletedRecords records;
    if (request.deleted) records = deleted::ScanDeletedRecords(hive, keys, index);
    const deleted::DeletedRecords* shown = request.deleted ? &records : nullptr;
    const std::vector<exporting::TimelineEntry> entries = exporting::CollectTimeline(hive, keys, index, shown);
    outcome = exporting::WriteTimeline(keys, shown, entries, TimelineFormatOf(request.timelineFormat), sink);
  } else {
    const std::optional<int32_t> item =
        request.keyPath != nullptr ? FindKeyByPath(keys, request.keyPath)
        : keys.Empty()          ? std::nullopt
                                : std::optional<int32_t>(0);
    if (item && request.exportFormat == "json") {
      outcome = exporting::WriteJsonExport(hive, keys, index, *item, sink);
    } else if (item) {
      exporting::RegOptions options;
      options.rootName = request.rootName != nullptr ? request.rootName : exporting::DefaultRootName(path);
      if (request.encoding == "utf-8") options.encoding = exporting::RegEncoding::kUtf8;
      outcome = exporting::WriteRegExport(hive, keys, index, *item, options, sink);
    }
    if (!item && request.keyPath == nullptr) return 1;  // no root key: said already
    if (!item || outcome == exporting::ExportOutcome::kNoKey) {
      std::fprintf(stderr, "keyloom-dump: %s: no key %s\n", path, request.keyPath != nullptr ? request.keyPath : "at the root");
      return 1;
    }
  }
  if (outcome == exporting::ExportOutcome::kTooLarge) {
    std::fprintf(stderr, "keyloom-dump: %s: the values' data passes what the hive's size can hold, so the export was cut\n", path);
    return 1;
  }
  if (outcome == exporting::ExportOutcome::kWriteFailed) {
    std::fprintf(stderr, "keyloom-dump: cannot write the output: %s\n", std::strerror(sink.Error()));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInformationRequest(argc, argv)) return std::ferror(stdout) != 0 ? 1 : 0;
  bool withValues = false;
  bool find = false;
  bool showDeleted = false;
  search::FindOptions findOptions;
  bool openAnyway = false;
  OutputRequest request;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakeOutputOption(argc, argv, i, request)) {
      continue;
    } else if (arg == "--values") {
      withValues = true;
    } else if (arg == "--find" && i + 1 < argc) {
      find = true;
      findOptions.text = argv[++i];
    } else if (arg == "--in" && i + 1 < argc) {
      if (!ParseWhere(argv[++i], findOptions.where)) return Usage();
    } else if (arg == "--match-case") {
      findOptions.matchCase = true;
    } else if (arg == "--whole") {
      findOptions.wholeName = true;
    } else if (arg == "--open-anyway") {
      openAnyway = true;
    } else if (arg == "--deleted") {
      showDeleted = true;
    } else if (arg == "--") {
      if (i + 1 != argc - 1 || path != nullptr) return Usage();
      path = argv[++i];
    } else if (arg.starts_with("-") && arg.size() > 1) {
      return UnknownOption(arg);
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr || (find && withValues) || (showDeleted && (find || withValues))) return Usage();
  const bool findOptionsGiven = findOptions.matchCase || findOptions.wholeName ||
                                findOptions.where != static_cast<uint8_t>(search::Where::kAll);
  if (!find && findOptionsGiven) return Usage();
  if (showDeleted && !request.timelineFormat.empty()) std::swap(showDeleted, request.deleted);
  if (request.Asked() && (find || withValues || showDeleted)) return Usage();
  if (!OutputRequestValid(request)) return Usage();
  std::string reason;
  recovery::OpenReport report;
  std::unique_ptr<hive::HiveFile> hive =
      openAnyway ? recovery::OpenHiveAnyway(path, &reason, &report) : hive::OpenHive(path, &reason);
  if (!hive) {
    std::fprintf(stderr, "keyloom-dump: %s: %s\n", path, reason.c_str());
    return 1;
  }
  for (const std::string& line : report.lines) std::fprintf(stderr, "keyloom-dump: %s: %s\n", path, line.c_str());
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  const tree::BuildOutcome outcome = tree::BuildKeyTree(keys, index, *hive, signals);
  int64_t matches = 0;
  if (find && !search::HiveSearchable(*hive)) {
    std::fprintf(stderr, "keyloom-dump: %s: cannot be searched: the file could not be mapped\n", path);
    return 1;
  }
  if (showDeleted && !hive::IsMappedInPlace(*hive)) {
    std::fprintf(stderr, "keyloom-dump: %s: cannot be scanned: the file could not be mapped\n", path);
    return 1;
  }
  if (request.Asked()) {
    ReportBuildOutcome(path, outcome, keys);
    const int status = WriteRequestedOutput(*hive, keys, index, path, request);
    hive::CloseHive(hive);
    return status;
  }
  {
    OutputBuffer output(stdout);
    if (showDeleted) {
      PrintDeleted(keys, deleted::ScanDeletedRecords(*hive, keys, index), output);
    } else if (find) {
      matches = PrintMatches(*hive, keys, index, findOptions, output);
    } else if (withValues) {
      PrintTree(keys, output, hive.get(), &index);
    } else {
      PrintTree(keys, output);
    }
  }
  ReportBuildOutcome(path, outcome, keys);
  hive::CloseHive(hive);
  if (std::ferror(stdout) != 0) return 1;
  return find && matches == 0 ? 3 : 0;
}
