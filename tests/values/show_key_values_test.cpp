// ShowKeyValues against a recording selection and table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "built_hive.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"

namespace {

using testsupport::HiveBuilder;
using valuetests::BuiltHive;
using valuetests::Bytes;
using valuetests::Utf16;

// Records every call as a line: "clear", or "row " + the row text.
struct Recorder final : values::KeySelection, values::ValueTable {
  int32_t selected = -1;
  std::vector<std::string> calls;
  int32_t SelectedItemPosition() const override { return selected; }
  void RemoveAllRows() override { calls.emplace_back("clear"); }
  void AddRow(std::string_view text) override { calls.push_back("row " + std::string(text)); }
};

class ShowKeyValuesTest : public testing::Test {
 protected:
  // ROOT (item 0) > Full (item 1) with three values, Empty (item 2) without.
  ShowKeyValuesTest() {
    m_full = h.builder.AddKey(h.builder.Root(), "Full");
    h.builder.AddValue(m_full, "bin", 3, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    h.builder.AddValue(m_full, "num", 4, Bytes({7, 0, 0, 0}));
    h.builder.AddValue(m_full, "txt", 1, Utf16(u"hello"));
    m_empty = h.builder.AddKey(h.builder.Root(), "Empty");
    h.builder.Build();
  }
  void Load() {
    h.Open();
    tree::KeyTree keys;
    tree::BuildSignals signals;
    ASSERT_EQ(tree::BuildKeyTree(keys, m_index, h.Hive(), signals), tree::BuildOutcome::kComplete);
  }
  std::vector<std::string> Show(int32_t position) {
    m_table.selected = position;
    m_table.calls.clear();
    values::ShowKeyValues(h.Hive(), m_index, m_table, m_table);
    return m_table.calls;
  }
  uint32_t FullField(int32_t field) const { return h.builder.KeyOffset(m_full) + static_cast<uint32_t>(field); }

  const std::vector<std::string> kFullRows = {
      "clear", "row bin\nBinary\n8\n$0102030405060708", "row num\nDWord\n4\n0x00000007 (7\t)",
      "row txt\nString\n10\nhello"};

  BuiltHive h;
  HiveBuilder::KeyId m_full = 0;
  HiveBuilder::KeyId m_empty = 0;
  tree::KeyIndex m_index;
  Recorder m_table;
};

TEST_F(ShowKeyValuesTest, ListsEveryValueInListOrder) {
  Load();
  EXPECT_EQ(Show(1), kFullRows);
}

TEST_F(ShowKeyValuesTest, NothingHappensWithoutAKeyIndexElement) {
  Load();
  for (const int32_t position : {-1, -2, INT32_MIN, 3, 1000}) {
    EXPECT_TRUE(Show(position).empty()) << position;
  }
}

TEST_F(ShowKeyValuesTest, KeyWithoutValuesEmptiesTheTable) {
  Load();
  const std::vector<std::string> cleared = {"clear"};
  EXPECT_EQ(Show(2), cleared);
  EXPECT_EQ(Show(2), cleared);
}

TEST_F(ShowKeyValuesTest, SameKeyTwiceListsTheSameRowsAgain) {
  Load();
  EXPECT_EQ(Show(1), kFullRows);
  EXPECT_EQ(Show(1), kFullRows);
}

TEST_F(ShowKeyValuesTest, CountsWithoutValuesOnlyEmptyTheTable) {
  for (const uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    h.builder.PatchU32(FullField(hive::key_node::kValueCount), count);
    Load();
    EXPECT_EQ(Show(1), std::vector<std::string>{"clear"}) << count;
  }
}

TEST_F(ShowKeyValuesTest, ValueListOffsetNoneMeansNoValues) {
  h.builder.PatchU32(FullField(hive::key_node::kValueList), hive::kNoCell);
  Load();
  EXPECT_EQ(Show(1), std::vector<std::string>{"clear"});
}

TEST_F(ShowKeyValuesTest, RecordTheFileDoesNotHoldGetsNoRow) {
  const auto size = static_cast<uint32_t>(h.builder.Bytes().size());
  h.builder.PatchU32(h.builder.ValueListOffset(m_full) + 4, HiveBuilder::CellOf(size - 4));
  Load();
  EXPECT_EQ(Show(1), (std::vector<std::string>{kFullRows[0], kFullRows[1], kFullRows[3]}));
}

TEST_F(ShowKeyValuesTest, EntryTheFileDoesNotHoldEndsTheListing) {
  // Move the list to the file's end: its first two entries are held, the rest not.
  std::vector<uint8_t> entries(8);
  hive::StoreU32(&entries[0], HiveBuilder::CellOf(h.builder.ValueOffset(2)));
  hive::StoreU32(&entries[4], HiveBuilder::CellOf(h.builder.ValueOffset(1)));
  const uint32_t list = h.builder.AppendCell(entries);
  h.builder.Truncate(list + 8);
  h.builder.PatchU32(FullField(hive::key_node::kValueList), HiveBuilder::CellOf(list));
  h.builder.PatchU32(FullField(hive::key_node::kValueCount), 0x7FFFFFFF);
  Load();
  EXPECT_EQ(Show(1), (std::vector<std::string>{"clear", kFullRows[3], kFullRows[2]}));
}

TEST_F(ShowKeyValuesTest, HugeCountEndsAtTheEndOfTheFile) {
  // Entries past the real list are whatever follows it; the listing still ends
  // with the file instead of inventing two billion values.
  h.builder.PatchU32(FullField(hive::key_node::kValueCount), 0x7FFFFFFF);
  Load();
  const auto calls = Show(1);
  ASSERT_GE(calls.size(), kFullRows.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4), kFullRows);
  EXPECT_LE(calls.size(), static_cast<size_t>(h.Hive().Size()) / 4);
}

}  // namespace
