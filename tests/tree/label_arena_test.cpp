// Labels written in place into the tree's arena, and a walk whose list is cut
// by the end of the file (read element by element instead of in place).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hive_builder.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::TempHive;
using tree::KeyTree;

TEST(KeyTreeLabels, PendingLabelsAddedOrDroppedAndMixedWithAddItem) {
  KeyTree keys;
  keys.Reserve(2, 4);  // smaller than what follows: the tables grow past it
  keys.PendingLabel() += "Ro";
  keys.PendingLabel() += "ot";
  EXPECT_EQ(keys.PendingLabelSize(), 4u);
  EXPECT_EQ(keys.AddPendingItem(), 0);
  keys.OpenSubLevel();
  keys.PendingLabel() += "never shown";
  keys.DropPendingLabel();
  EXPECT_EQ(keys.PendingLabelSize(), 0u);
  keys.PendingLabel() += "A (0/1)";
  EXPECT_EQ(keys.AddPendingItem(), 1);
  keys.PendingLabel() += "dropped by AddItem";
  EXPECT_EQ(keys.AddItem("B (0/0)"), 2);
  keys.PendingLabel() += "";
  EXPECT_EQ(keys.AddPendingItem(), 3);  // an empty label
  keys.CloseSubLevel();
  keys.Finish();
  const std::vector<std::string> expected = {"Root", "A (0/1)", "B (0/0)", ""};
  ASSERT_EQ(keys.Size(), 4);
  for (int32_t i = 0; i < keys.Size(); ++i) EXPECT_EQ(keys.Label(i), expected[static_cast<size_t>(i)]);
  EXPECT_EQ(keys.ChildCount(0), 3);
}

TEST(KeyTreeWalk, ListCutByTheEndOfTheFileGivesTheChildrenItHolds) {
  HiveBuilder builder;
  const auto parent = builder.AddKey(builder.Root(), "P");
  for (const char* name : {"c0", "c1", "c2"}) builder.AddKey(parent, name);
  builder.Build();
  // A copy of P's list at the very end of the file, cut inside its last element.
  const uint32_t list = builder.SubkeyListOffset(parent);
  const std::vector<uint8_t> record(builder.Bytes().begin() + list, builder.Bytes().begin() + list + 4 + 3 * 8);
  const uint32_t copy = builder.AppendCell(record);
  builder.PatchU32(builder.KeyOffset(parent) + 0x1C, HiveBuilder::CellOf(copy));
  builder.Truncate(copy + 4 + 2 * 8 + 2);

  TempHive file(builder.Bytes());
  auto hive = file.Open();
  ASSERT_NE(hive, nullptr);
  KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  EXPECT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
  ASSERT_EQ(keys.Size(), 4);
  EXPECT_EQ(keys.Label(1), "P (3/0)");
  EXPECT_EQ(keys.Label(2), "c0 (0/0)");
  EXPECT_EQ(keys.Label(3), "c1 (0/0)");
  EXPECT_EQ(index.Size(), 4);
}

}  // namespace
