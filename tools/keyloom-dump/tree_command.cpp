// The key tree (the default command): one line per key in pre-order, two
// spaces per depth level, then the key's label with control characters
// escaped. With --values, each key's line is followed by one line per row of
// the key's values, as the ValueTable shows them: indented two spaces deeper
// than the key, then "= " and the escaped row text (its column line feeds
// appear as \n).

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "command.h"
#include "values/show_key_values.h"

namespace dump {
namespace {

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

constexpr Option kOptions[] = {{"--values"}};

class TreeDump final : public Command {
 public:
  TreeDump() : Command(kOptions) {}

  std::string_view Usage() const override { return "keyloom-dump [--open-anyway] [--values] HIVE\n"; }
  int UsagePlace() const override { return 10; }
  std::string_view OptionsHelp() const override {
    return "  --values         after each key, one line per value, two spaces deeper:\n"
           "                   \"= \" and the value's row as the viewer shows it (name,\n"
           "                   type, length, content, separated by \\n)\n";
  }

  Taken Take(std::string_view option, const char*) override {
    if (option != "--values") return Taken::kNotMine;
    m_values = true;
    return Taken::kTaken;
  }
  bool Chosen() const override { return m_values; }
  bool Valid() const override { return true; }

  int Run(OpenedHive& opened) override {
    {
      OutputBuffer output(stdout);
      if (m_values) {
        PrintTree(opened.keys, output, opened.hive.get(), &opened.index);
      } else {
        PrintTree(opened.keys, output);
      }
    }
    ReportBuildOutcome(opened);
    return std::ferror(stdout) != 0 ? 1 : 0;
  }

 private:
  bool m_values = false;
};

}  // namespace

Command& TreeCommand() {
  static TreeDump command;
  return command;
}

}  // namespace dump
