// --find: one line per match of Find, in pre-order: the key's path (the names
// of the keys below the root down to it, each escaped as a label is, joined by
// "\"; the root alone is written as its own name), and for a value that
// matched " = " and the value's escaped name. --in names the places to look
// (key names, value names, value data; all by default).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "search/find.h"

namespace dump {
namespace {

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

constexpr Option kOptions[] = {{"--find", true}, {"--in", true}, {"--match-case"}, {"--whole"}};

class FindDump final : public Command {
 public:
  FindDump() : Command(kOptions) {}

  std::string_view Usage() const override {
    return "keyloom-dump [--open-anyway] --find TEXT [--in WHERE] [--match-case] [--whole] HIVE\n";
  }
  int UsagePlace() const override { return 20; }
  std::string_view OptionsHelp() const override {
    return "  --find TEXT      instead of the tree, print what contains TEXT: one line\n"
           "                   per matching key, its path (names below the root joined\n"
           "                   by \"\\\"), and one line \"PATH = NAME\" per matching value\n"
           "  --in WHERE       where --find looks, a comma-separated list of: keys (key\n"
           "                   names), names (value names), data (string data);\n"
           "                   default keys,names,data\n"
           "  --match-case     --find tells upper from lower case\n"
           "  --whole          --find matches a whole name or string only\n";
  }

  Taken Take(std::string_view option, const char* argument) override {
    if (option == "--find") {
      m_find = true;
      m_options.text = argument;
    } else if (option == "--in") {
      if (!ParseWhere(argument, m_options.where)) return Taken::kUsageError;
    } else if (option == "--match-case") {
      m_options.matchCase = true;
    } else if (option == "--whole") {
      m_options.wholeName = true;
    } else {
      return Taken::kNotMine;
    }
    return Taken::kTaken;
  }
  bool Chosen() const override { return m_find; }
  // Its other options only with --find.
  bool Valid() const override {
    return m_find || !(m_options.matchCase || m_options.wholeName ||
                       m_options.where != static_cast<uint8_t>(search::Where::kAll));
  }

  int Run(OpenedHive& opened) override {
    if (!search::HiveSearchable(*opened.hive)) {
      std::fprintf(stderr, "keyloom-dump: %s: cannot be searched: the file could not be mapped\n", opened.path);
      return 1;
    }
    int64_t matches = 0;
    {
      OutputBuffer output(stdout);
      matches = PrintMatches(*opened.hive, opened.keys, opened.index, m_options, output);
    }
    ReportBuildOutcome(opened);
    if (std::ferror(stdout) != 0) return 1;
    return matches == 0 ? 3 : 0;
  }

 private:
  bool m_find = false;
  search::FindOptions m_options;
};

}  // namespace

Command& FindCommand() {
  static FindDump command;
  return command;
}

}  // namespace dump
