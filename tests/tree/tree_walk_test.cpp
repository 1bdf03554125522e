// The key tree: item order, parents, the KeyIndex, labels, and the walk's
// bounds on damaged hives.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "repeating_lists_hive.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::TempHive;
using tree::BuildOutcome;
using tree::KeyTree;
namespace nk = hive::key_node;

struct Walked {
  KeyTree tree;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  BuildOutcome outcome = BuildOutcome::kComplete;
  uint64_t fileSize = 0;

  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (int32_t i = 0; i < tree.Size(); ++i) labels.emplace_back(tree.Label(i));
    return labels;
  }
};

void Walk(const std::vector<uint8_t>& bytes, Walked& walked, bool stopFirst = false) {
  TempHive file(bytes);
  auto open = file.Open();
  ASSERT_NE(open, nullptr);
  walked.signals.stop = stopFirst;
  walked.fileSize = bytes.size();
  walked.outcome = tree::BuildKeyTree(walked.tree, walked.index, *open, walked.signals);
}

TEST(KeyTreeWalk, PreOrderParentsIndexAndCount) {
  HiveBuilder builder("Root");
  const auto a = builder.AddKey(builder.Root(), "A");
  builder.AddKey(builder.Root(), "B");
  builder.AddKey(a, "C");
  const auto& bytes = builder.Build();
  Walked w;
  Walk(bytes, w);
  EXPECT_EQ(w.outcome, BuildOutcome::kComplete);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"Root", "A (1/0)", "C (0/0)", "B (0/0)"}));
  EXPECT_EQ(w.tree.Parent(0), KeyTree::kNone);
  EXPECT_EQ(w.tree.Parent(1), 0);
  EXPECT_EQ(w.tree.Parent(2), 1);
  EXPECT_EQ(w.tree.Parent(3), 0);
  EXPECT_EQ(w.tree.ChildCount(KeyTree::kNone), 1);
  EXPECT_EQ(w.tree.ChildCount(0), 2);
  EXPECT_EQ(w.tree.Child(0, 1), 3);
  EXPECT_EQ(w.tree.Row(3), 1);
  EXPECT_EQ(w.tree.Depth(2), 2);
  EXPECT_EQ(w.signals.keysLoaded.load(), 4);
  ASSERT_EQ(w.index.Size(), 4);
  const std::vector<uint32_t> offsets = {builder.KeyOffset(0), builder.KeyOffset(a),
                                         builder.KeyOffset(3), builder.KeyOffset(2)};
  for (int32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(w.index.At(k).itemPosition, k);
    EXPECT_EQ(w.index.At(k).recordOffset, offsets[static_cast<size_t>(k)]);
    EXPECT_EQ(w.index.Find(k), offsets[static_cast<size_t>(k)]);
  }
  EXPECT_FALSE(w.index.Find(4).has_value());
  EXPECT_FALSE(w.index.Find(-1).has_value());
}

TEST(KeyTreeWalk, RootAloneAndNoRoot) {
  HiveBuilder builder("Lonely");
  builder.Build();
  Walked alone;
  Walk(builder.Bytes(), alone);
  EXPECT_EQ(alone.Labels(), std::vector<std::string>{"Lonely"});
  EXPECT_EQ(alone.index.Find(0), 4132u);

  builder.PatchU32(4096, 0);                                   // no "hbin"
  builder.PatchU32(hive::base_block::kRootCell, 0x7FFFFFF0);  // and no root cell
  Walked none;
  Walk(builder.Bytes(), none);
  EXPECT_EQ(none.outcome, BuildOutcome::kNoRoot);
  EXPECT_TRUE(none.tree.Empty());
  EXPECT_EQ(none.signals.keysLoaded.load(), 0);
  EXPECT_FALSE(none.index.Find(0).has_value());
}

TEST(KeyTreeWalk, LabelsShowTheStoredCountsSigned) {
  HiveBuilder builder;
  const auto run = builder.AddKey(builder.Root(), "Run");
  const auto odd = builder.AddKey(builder.Root(), "Odd");
  builder.Build();
  builder.PatchU32(builder.KeyOffset(run) + nk::kValueCount, 12);
  builder.PatchU32(builder.KeyOffset(run) + nk::kValueList, hive::kNoCell);
  builder.PatchU32(builder.KeyOffset(odd) + nk::kValueCount, 0xFFFFFFFF);
  builder.PatchU32(builder.KeyOffset(odd) + nk::kSubkeyCount, 3);  // but no list
  Walked w;
  Walk(builder.Bytes(), w);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "Run (0/12)", "Odd (3/-1)"}));
}

TEST(KeyTreeWalk, UnknownListKindAndNegativeCountGiveNoChildren) {
  HiveBuilder builder;
  const auto a = builder.AddKey(builder.Root(), "A");
  const auto b = builder.AddKey(builder.Root(), "B");
  builder.AddKey(a, "A1");
  builder.AddKey(b, "B1");
  builder.Build();
  builder.PatchU16(builder.SubkeyListOffset(a), 0x6B73);  // "sk"
  builder.PatchU16(builder.SubkeyListOffset(b) + 2, 0x8000);
  Walked w;
  Walk(builder.Bytes(), w);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "A (1/0)", "B (1/0)"}));
}

TEST(KeyTreeWalk, CycleIsListedButNotEntered) {
  HiveBuilder builder;
  const auto a = builder.AddKey(builder.Root(), "A");
  const auto b = builder.AddKey(a, "B");
  builder.AddKey(b, "C");
  builder.Build();
  // C's slot in B's list now leads back to A, an ancestor.
  builder.PatchU32(builder.SubkeyListOffset(b) + 4, HiveBuilder::CellOf(builder.KeyOffset(a)));
  Walked w;
  Walk(builder.Bytes(), w);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "A (1/0)", "B (1/0)", "A (1/0)"}));
  EXPECT_EQ(w.tree.ChildCount(3), 0);
}

TEST(KeyTreeWalk, CycleThroughAnIndexRootAndAKeyNamingItself) {
  HiveBuilder builder;
  const auto a = builder.AddKey(builder.Root(), "A");
  for (int i = 0; i < 4; ++i) builder.AddKey(a, "k" + std::to_string(i));
  const auto self = builder.AddKey(builder.Root(), "Self");
  builder.AddKey(self, "gone");
  builder.SetListKind(a, testsupport::ListKind::kRiOfLi, 2);
  builder.Build();
  // The second leaf list under A's index root names A itself first; Self's
  // list names Self.
  const uint32_t leaf = builder.LeafListOffsets(a).at(1);
  builder.PatchU32(leaf + 4, HiveBuilder::CellOf(builder.KeyOffset(a)));
  builder.PatchU32(builder.SubkeyListOffset(self) + 4, HiveBuilder::CellOf(builder.KeyOffset(self)));
  Walked w;
  Walk(builder.Bytes(), w);
  EXPECT_EQ(w.outcome, BuildOutcome::kComplete);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "A (4/0)", "k0 (0/0)", "k1 (0/0)", "A (4/0)", "k3 (0/0)",
                                                  "Self (1/0)", "Self (1/0)"}));
  EXPECT_EQ(w.tree.Parent(4), 1);
  EXPECT_EQ(w.tree.ChildCount(4), 0);
  EXPECT_EQ(w.tree.Parent(7), 6);
  EXPECT_EQ(w.tree.ChildCount(7), 0);
  EXPECT_EQ(w.index.At(4).recordOffset, builder.KeyOffset(a));
  EXPECT_EQ(w.index.At(7).recordOffset, builder.KeyOffset(self));
}

TEST(KeyTreeWalk, KeysNamingOneListEachShowItsSubkeys) {
  // B's list is A's: under B the walk shows A's subkeys again, in list order,
  // each entered, with the same key nodes behind them in the KeyIndex.
  for (const auto kind : {testsupport::ListKind::kLf, testsupport::ListKind::kRiOfLh}) {
    SCOPED_TRACE(static_cast<int>(kind));
    HiveBuilder builder;
    const auto a = builder.AddKey(builder.Root(), "A");
    const auto b = builder.AddKey(builder.Root(), "B");
    const auto x = builder.AddKey(a, "x");
    const auto y = builder.AddKey(a, "y");
    const auto x1 = builder.AddKey(x, "x1");
    builder.AddKey(b, "lost");
    builder.SetListKind(a, kind, 1);
    builder.Build();
    builder.PatchU32(builder.KeyOffset(b) + nk::kSubkeyList, HiveBuilder::CellOf(builder.SubkeyListOffset(a)));
    Walked w;
    Walk(builder.Bytes(), w);
    EXPECT_EQ(w.outcome, BuildOutcome::kComplete);
    EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "A (2/0)", "x (1/0)", "x1 (0/0)", "y (0/0)", "B (1/0)",
                                                    "x (1/0)", "x1 (0/0)", "y (0/0)"}));
    const std::vector<int32_t> parents = {KeyTree::kNone, 0, 1, 2, 1, 0, 5, 6, 5};
    const std::vector<uint32_t> offsets = {builder.KeyOffset(0), builder.KeyOffset(a),  builder.KeyOffset(x),
                                           builder.KeyOffset(x1), builder.KeyOffset(y), builder.KeyOffset(b),
                                           builder.KeyOffset(x), builder.KeyOffset(x1), builder.KeyOffset(y)};
    ASSERT_EQ(w.index.Size(), 9);
    EXPECT_EQ(w.signals.keysLoaded.load(), 9);
    for (int32_t k = 0; k < 9; ++k) {
      EXPECT_EQ(w.tree.Parent(k), parents[static_cast<size_t>(k)]) << k;
      EXPECT_EQ(w.index.At(k).itemPosition, k);
      EXPECT_EQ(w.index.At(k).recordOffset, offsets[static_cast<size_t>(k)]) << k;
    }
  }
}

TEST(KeyTreeWalk, ListSharedFortyDeepEndsWithinTheBudget) {
  // 2^40 items read naively, from some 20 KiB.
  Walked w;
  Walk(testsupport::HiveWithRepeatingLists(40), w);
  EXPECT_EQ(w.outcome, BuildOutcome::kTooLarge);
  // Every element read names a key, so the walk ends after one item per 4
  // bytes of the file, the root aside.
  EXPECT_EQ(static_cast<uint64_t>(w.tree.Size()), w.fileSize / 4 + 1);
  EXPECT_EQ(w.signals.keysLoaded.load(), w.tree.Size());
  EXPECT_EQ(w.index.Size(), w.tree.Size());
  // First the chain down to its end, then its second copy under n38.
  EXPECT_EQ(w.tree.Depth(40), 40);
  EXPECT_EQ(w.Labels()[40], "n39 (0/0)");
  EXPECT_EQ(w.tree.Parent(41), 39);
  EXPECT_EQ(w.Labels()[41], "n39 (0/0)");
  EXPECT_EQ(tree::DescribeCutTree(w.tree.Size()),
            "the hive's subkey lists repeat, so the key tree was cut after " + std::to_string(w.tree.Size()) +
                " keys");
}

TEST(KeyTreeWalk, ChildPastTheEndOfTheFileIsSkipped) {
  HiveBuilder builder;
  const auto a = builder.AddKey(builder.Root(), "A");
  builder.AddKey(builder.Root(), "B");
  builder.AddKey(builder.Root(), "C");
  builder.Build();
  const uint32_t list = builder.SubkeyListOffset(builder.Root());
  builder.PatchU32(list + 12, 0x7FFFFF00);                               // far past the end
  builder.PatchU32(list + 20, static_cast<uint32_t>(builder.Bytes().size()) - 4100 - 40);  // half inside
  Walked w;
  Walk(builder.Bytes(), w);
  EXPECT_EQ(w.Labels(), (std::vector<std::string>{"ROOT", "A (0/0)"}));
  (void)a;
}

TEST(KeyTreeWalk, DeepNestingStopsEnteringAtDepth512) {
  HiveBuilder builder;
  HiveBuilder::KeyId key = builder.Root();
  for (int depth = 1; depth <= 100000; ++depth) key = builder.AddKey(key, "d");
  Walked w;
  Walk(builder.Build(), w);
  // Depths 0 to 512 are entered, so their children down to depth 513 are listed.
  ASSERT_EQ(w.tree.Size(), tree::kMaxEnteredDepth + 2);
  EXPECT_EQ(w.tree.Depth(w.tree.Size() - 1), tree::kMaxEnteredDepth + 1);
  EXPECT_EQ(w.tree.Label(w.tree.Size() - 1), "d (1/0)");
}

TEST(KeyTreeWalk, StopFlagEndsTheWalk) {
  HiveBuilder builder;
  for (int i = 0; i < 100; ++i) builder.AddKey(builder.Root(), "k");
  const auto& bytes = builder.Build();
  Walked stopped;
  Walk(bytes, stopped, /*stopFirst=*/true);
  EXPECT_EQ(stopped.outcome, BuildOutcome::kStopped);
  EXPECT_EQ(stopped.tree.Size(), 1);
  EXPECT_EQ(stopped.signals.keysLoaded.load(), 1);
}

TEST(KeyTree, SubLevelsAndChildTables) {
  KeyTree keys;
  keys.AddItem("top");
  keys.OpenSubLevel();
  keys.AddItem("a");
  keys.OpenSubLevel();
  keys.CloseSubLevel();  // an empty sub-level adds nothing
  keys.AddItem("b");
  keys.OpenSubLevel();
  keys.AddItem("b1");
  keys.CloseSubLevel();
  keys.CloseSubLevel();
  keys.AddItem("second top");
  keys.Finish();
  EXPECT_EQ(keys.ChildCount(KeyTree::kNone), 2);
  EXPECT_EQ(keys.Child(KeyTree::kNone, 1), 4);
  EXPECT_EQ(keys.ChildCount(1), 0);
  EXPECT_EQ(keys.Child(0, 1), 2);
  EXPECT_EQ(keys.Child(2, 0), 3);
  EXPECT_EQ(keys.Label(3), "b1");
  EXPECT_EQ(keys.Label(0), "top");
}

}  // namespace
