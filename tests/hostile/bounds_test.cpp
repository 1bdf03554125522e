// Crafted hives whose naive reading never ends, multiplies the tree, or
// makes the value rows take gigabytes: the walk and the rows stay within a
// small multiple of the file's size, and everything the file really holds is
// still shown.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive/value.h"
#include "hive_builder.h"
#include "hostile.h"
#include "values/show_key_values.h"
#include "values/value_row.h"

namespace {

using hostile::ReadHive;
using testsupport::HiveBuilder;
namespace nk = hive::key_node;
namespace vk = hive::value_record;

std::vector<uint8_t> Filled(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

// A value list of count entries, every one naming the same value record.
std::vector<uint8_t> RepeatedEntries(uint32_t count, uint32_t valueRecord) {
  std::vector<uint8_t> entries(size_t{count} * 4);
  for (uint32_t i = 0; i < count; ++i) hive::StoreU32(&entries[size_t{i} * 4], HiveBuilder::CellOf(valueRecord));
  return entries;
}

TEST(HostileRows, RepeatedEntriesNamingOneLargeValueStayWithinTheFilesSize) {
  // 2,000 list entries name one binary value whose stored length is 32 KiB:
  // read naively that is 2,000 rows of 64 KiB of hex each, 128 MiB of text
  // from a file of 16 KiB.
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "Big");
  const auto value = builder.AddValue(key, "blob", 3, Filled(64, 0xAB));
  builder.AddValue(key, "small", 4, Filled(4, 1));
  builder.Build();
  builder.PatchU32(builder.ValueOffset(value) + vk::kDataLength, 32 * 1024);
  const uint32_t list = builder.AppendCell(RepeatedEntries(2000, builder.ValueOffset(value)));
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueList, HiveBuilder::CellOf(list));
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueCount, 2000);

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  const auto& rows = read.List(1);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].substr(0, 29), "blob\nBinary\n32768\n$ABABABABAB");
  EXPECT_EQ(rows[0].size(), 18 + 1 + 2 * 32768);
  EXPECT_LT(read.table.listingBytes, 16 * read.FileSize());
}

// Bytes per element: "li" and "ri" hold cells only, "lf" and "lh" a cell and a hint.
size_t ElementWidth(uint16_t signature) {
  return signature == hive::subkey_list::kIndexLeaf || signature == hive::subkey_list::kIndexRoot ? 4 : 8;
}

// A list of count elements, every one holding cell.
std::vector<uint8_t> LeafListNaming(uint16_t signature, uint16_t count, uint32_t cell) {
  const size_t width = ElementWidth(signature);
  std::vector<uint8_t> list(4 + width * count);
  hive::StoreU32(&list[0], signature | uint32_t{count} << 16);
  for (size_t i = 0; i < count; ++i) hive::StoreU32(&list[4 + width * i], cell);
  return list;
}

TEST(HostileWalk, ListWhoseElementsAllNameOneKey) {
  // 1,000 elements name key A, which has two children: A is listed 1,000
  // times, and entered each time, as it is on no path to itself.
  HiveBuilder builder;
  const auto a = builder.AddKey(builder.Root(), "A");
  builder.AddKey(a, "x");
  builder.AddKey(a, "y");
  builder.Build();
  const uint32_t list = builder.AppendCell(
      LeafListNaming(hive::subkey_list::kFastLeaf, 1000, HiveBuilder::CellOf(builder.KeyOffset(a))));
  builder.PatchU32(builder.KeyOffset(builder.Root()) + nk::kSubkeyList, HiveBuilder::CellOf(list));

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  EXPECT_EQ(read.outcome, tree::BuildOutcome::kComplete);
  ASSERT_EQ(read.keys.Size(), 1 + 1000 * 3);
  EXPECT_EQ(read.keys.ChildCount(0), 1000);
  for (int32_t row = 0; row < 1000; ++row) {
    const int32_t copy = read.keys.Child(0, row);
    EXPECT_EQ(read.keys.Label(copy), "A (2/0)");
    ASSERT_EQ(read.keys.ChildCount(copy), 2);
    EXPECT_EQ(read.keys.Label(read.keys.Child(copy, 1)), "y (0/0)");
  }
}

// Keys whose subkey lists are all one list, of each leaf kind and through an
// index root: read naively every key holds all 1,000 keys again, without
// end. Each key's list is followed under it, a key already on the path is
// not entered, and the budget on list elements read ends the walk after at
// most one item per 4 bytes of the file.
class ListSharedByEveryKey : public testing::TestWithParam<testsupport::ListKind> {};

TEST_P(ListSharedByEveryKey, IsFollowedUnderEachUntilTheBudget) {
  constexpr int kKeys = 1000;
  HiveBuilder builder;
  std::vector<HiveBuilder::KeyId> keys;
  for (int i = 0; i < kKeys; ++i) keys.push_back(builder.AddKey(builder.Root(), "k" + std::to_string(i)));
  builder.SetListKind(builder.Root(), GetParam(), 64);
  builder.Build();
  const uint32_t shared = HiveBuilder::CellOf(builder.SubkeyListOffset(builder.Root()));
  for (const auto key : keys) {
    builder.PatchU32(builder.KeyOffset(key) + nk::kSubkeyList, shared);
    builder.PatchU32(builder.KeyOffset(key) + nk::kSubkeyCount, kKeys);
  }

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  EXPECT_EQ(read.outcome, tree::BuildOutcome::kTooLarge);
  EXPECT_LE(static_cast<uint64_t>(read.keys.Size()), read.FileSize() / 4 + 1);
  EXPECT_GE(static_cast<uint64_t>(read.keys.Size()), read.FileSize() / 8);
  EXPECT_EQ(read.signals.keysLoaded.load(), read.keys.Size());
  EXPECT_LE(read.keys.MemoryBytes() + read.index.MemoryBytes(), 16 * read.FileSize());
  // k0 under k0 is a cycle; k1 under k0 is entered, and so on down.
  const std::vector<std::string> labels = read.Labels();
  ASSERT_GE(labels.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(labels.begin(), labels.begin() + 6),
            (std::vector<std::string>{"ROOT", "k0 (1000/0)", "k0 (1000/0)", "k1 (1000/0)", "k0 (1000/0)",
                                      "k1 (1000/0)"}));
  EXPECT_EQ(read.keys.ChildCount(2), 0);
  EXPECT_EQ(read.keys.Parent(4), 3);
}

std::string KindName(const testing::TestParamInfo<testsupport::ListKind>& kind) {
  static const char* const kNames[] = {"Lf", "Lh", "Li", "RiOfLi", "RiOfLf", "RiOfLh"};
  return kNames[static_cast<int>(kind.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ListSharedByEveryKey,
                         testing::Values(testsupport::ListKind::kLf, testsupport::ListKind::kLh,
                                         testsupport::ListKind::kLi, testsupport::ListKind::kRiOfLi,
                                         testsupport::ListKind::kRiOfLh),
                         KindName);

TEST(HostileWalk, ElementsPastTheEndOfTheFileAddNothing) {
  // The largest element count a list can hold (its count is a signed 16-bit
  // word), every element past the end of the file: nothing is invented, as a
  // leaf list and as an index root; a count word of 0xFFFF is no list at all.
  struct Case {
    uint16_t signature;
    uint16_t count;
  };
  for (const Case c : {Case{hive::subkey_list::kFastLeaf, 0x7FFF}, Case{hive::subkey_list::kIndexLeaf, 0x7FFF},
                       Case{hive::subkey_list::kIndexRoot, 0x7FFF}, Case{hive::subkey_list::kHashLeaf, 0xFFFF}}) {
    SCOPED_TRACE(c.signature);
    HiveBuilder builder;
    builder.AddKey(builder.Root(), "A");
    builder.Build();
    std::vector<uint8_t> list = LeafListNaming(c.signature, c.count, 0);
    const size_t width = ElementWidth(c.signature);
    const size_t elements = (list.size() - 4) / width;
    const uint32_t end = static_cast<uint32_t>(builder.Bytes().size() + list.size() + 2 * 4096);
    for (size_t i = 0; i < elements; ++i) {
      // Spread over just past the end, half inside, and far beyond.
      const uint32_t record = i % 3 == 0 ? end + static_cast<uint32_t>(8 * i) : i % 3 == 1 ? end - 40 : 0x7FFFFF00u - static_cast<uint32_t>(i);
      hive::StoreU32(&list[4 + width * i], HiveBuilder::CellOf(record));
    }
    const uint32_t cell = builder.AppendCell(list);
    ASSERT_LT(builder.Bytes().size(), end);
    builder.PatchU32(builder.KeyOffset(builder.Root()) + nk::kSubkeyList, HiveBuilder::CellOf(cell));

    ReadHive read(builder.Bytes());
    ASSERT_TRUE(read.hive) << read.reason;
    EXPECT_EQ(read.outcome, tree::BuildOutcome::kComplete);
    EXPECT_EQ(read.Labels(), std::vector<std::string>{"ROOT"});
  }
}

TEST(HostileWalk, LabelsOfOneHugeNameRepeatedStayBounded) {
  // 32,767 elements name one key whose name is 32,767 bytes long: read
  // naively the labels take 1 GiB from a file of some 300 KiB.
  HiveBuilder builder;
  const auto big = builder.AddKey(builder.Root(), std::string(0x7FFF, 'N'));
  builder.Build();
  const uint32_t list = builder.AppendCell(
      LeafListNaming(hive::subkey_list::kFastLeaf, 0x7FFF, HiveBuilder::CellOf(builder.KeyOffset(big))));
  builder.PatchU32(builder.KeyOffset(builder.Root()) + nk::kSubkeyList, HiveBuilder::CellOf(list));

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  EXPECT_EQ(read.outcome, tree::BuildOutcome::kTooLarge);
  ASSERT_GE(read.keys.Size(), 2);
  EXPECT_EQ(read.keys.Label(1), std::string(0x7FFF, 'N') + " (0/0)");
  EXPECT_LE(read.keys.MemoryBytes() + read.index.MemoryBytes(), 8 * read.FileSize());
  EXPECT_EQ(read.signals.keysLoaded.load(), read.keys.Size());
}

TEST(HostileRows, HugeDataLengthsNeitherObtainGigabytesNorHang) {
  // A value that claims up to 2 GiB of data in a file of some 12 KiB. The
  // length column shows the claim; the content is made from the bytes the file
  // holds, and the listing stays within its bound.
  struct Case {
    uint32_t storedLength;
    uint32_t type;
    const char* lengthColumn;
  };
  for (const Case c : {Case{0x7FFFFFFF, 3, "2147483647"}, Case{0x7FFFFFFF, 1, "2147483647"},
                       Case{0x7FFFFFFF, 0x1234, "2147483647"}, Case{0xFFFFFFFF, 3, "2147483647"},
                       Case{0x7FFFFFFF, 4, "2147483647"}, Case{0x10000000, 3, "268435456"}}) {
    SCOPED_TRACE(c.storedLength);
    SCOPED_TRACE(c.type);
    HiveBuilder builder;
    const auto key = builder.AddKey(builder.Root(), "K");
    const auto value = builder.AddValue(key, "huge", c.type, Filled(16, 0x41));
    builder.AddValue(key, "after", 4, Filled(4, 7));
    builder.Build();
    builder.PatchU32(builder.ValueOffset(value) + vk::kDataLength, c.storedLength);

    ReadHive read(builder.Bytes());
    ASSERT_TRUE(read.hive) << read.reason;
    const auto& rows = read.List(1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 5), "huge\n");
    EXPECT_NE(rows[0].find(std::string("\n") + c.lengthColumn + "\n"), std::string::npos) << rows[0].substr(0, 80);
    EXPECT_LE(rows[0].size(), 2 * read.FileSize() + 64);
    EXPECT_EQ(rows[1], "after\nDWord\n4\n0x07070707 (117901063\t)");
  }
}

TEST(HostileRows, ZeroFilledDataBeyondTheListingBoundEndsTheListing) {
  // A length of 64 MiB - 1 is honoured with zeros where the file has no bytes:
  // a 128 MiB row from a 12 KiB file. The listing ends before it.
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "K");
  builder.AddValue(key, "before", 4, Filled(4, 1));
  const auto value = builder.AddValue(key, "huge", 3, Filled(16, 0x41));
  builder.AddValue(key, "after", 4, Filled(4, 7));
  builder.Build();
  builder.PatchU32(builder.ValueOffset(value) + vk::kDataLength, hive::kMaxValueDataBytes - 1);

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  EXPECT_EQ(read.List(1), std::vector<std::string>{"before\nDWord\n4\n0x01010101 (16843009\t)"});
}

TEST(HostileRows, LeastRowBytesIsKnownBeforeTheDataIsRead) {
  // What lets a listing refuse a huge zero-filled dump without making it.
  struct Case {
    uint32_t storedLength;
    uint32_t type;
    uint64_t least;
  };
  for (const Case c : {Case{hive::kMaxValueDataBytes, 3, 1 + 2 * uint64_t{hive::kMaxValueDataBytes}},
                       Case{0x80000010, 0x4000, 33}, Case{0x80000004, 3, 9}, Case{0, 3, 0},
                       Case{hive::kMaxValueDataBytes + 1, 3, 0}, Case{0xFFFFFFFF, 3, 0},
                       Case{0x01000000, 1, 0}, Case{0x01000000, 4, 0}, Case{0x01000000, 7, 0}}) {
    hive::ValueRecord value;
    hive::StoreU32(&value.bytes[vk::kDataLength], c.storedLength);
    EXPECT_EQ(values::LeastRowBytes(value, c.type), c.least) << c.storedLength << " " << c.type;
  }
}

TEST(HostileRows, ValueCountOf2To31InAnEightKiBFile) {
  // The key's three values, then entries made of whatever follows the list in
  // the file (free space: cell offset 0, a record at the first bin's header),
  // and the listing ends where the file ends instead of two billion fetches.
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "K");
  builder.AddValue(key, "a", 4, Filled(4, 1));
  builder.AddValue(key, "b", 3, Filled(8, 2));
  builder.AddValue(key, "c", 1, std::vector<uint8_t>{'h', 0, 'i', 0});
  builder.Build();
  ASSERT_EQ(builder.Bytes().size(), 8192u);
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueCount, 0x7FFFFFFF);

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  EXPECT_EQ(read.Labels()[1], "K (0/2147483647)");
  const auto& rows = read.List(1);
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0], "a\nDWord\n4\n0x01010101 (16843009\t)");
  EXPECT_EQ(rows[1], "b\nBinary\n8\n$0202020202020202");
  EXPECT_EQ(rows[2], "c\nString\n4\nhi");
  const uint32_t entriesHeld = (8192 - builder.ValueListOffset(key)) / 4;
  EXPECT_LE(rows.size(), entriesHeld);
  EXPECT_LE(read.table.listingBytes, 4 * read.FileSize() + values::kListingSlack);
}

TEST(HostileRows, FewerEntriesHeldThanCountedListsExactlyThoseHeld) {
  // The list is the file's last 12 bytes: three entries are held, the rest of
  // the 2^31 - 1 are not, and the listing is exactly the three values named.
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "K");
  const auto a = builder.AddValue(key, "a", 4, Filled(4, 1));
  const auto b = builder.AddValue(key, "b", 4, Filled(4, 2));
  builder.Build();
  std::vector<uint8_t> entries(12);
  hive::StoreU32(&entries[0], HiveBuilder::CellOf(builder.ValueOffset(b)));
  hive::StoreU32(&entries[4], HiveBuilder::CellOf(builder.ValueOffset(a)));
  hive::StoreU32(&entries[8], HiveBuilder::CellOf(builder.ValueOffset(b)));
  const uint32_t list = builder.AppendCell(entries);
  builder.Truncate(list + 12);
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueList, HiveBuilder::CellOf(list));
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueCount, 0x7FFFFFFF);

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  const std::string rowA = "a\nDWord\n4\n0x01010101 (16843009\t)";
  const std::string rowB = "b\nDWord\n4\n0x02020202 (33686018\t)";
  EXPECT_EQ(read.List(1), (std::vector<std::string>{rowB, rowA, rowB}));
}

}  // namespace
