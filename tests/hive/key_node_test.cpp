// Root key discovery, key names and subkey lists.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/key_node.h"
#include "hive_builder.h"
#include "temp_hive.h"

namespace {

using hive::KeyNode;
using hive::SubkeyList;
using testsupport::HiveBuilder;
using testsupport::ListKind;
using testsupport::TempHive;
namespace nk = hive::key_node;

// Opens builder's image and keeps the file for the test's length.
struct OpenedHive {
  explicit OpenedHive(const HiveBuilder& builder)
      : file(builder.Bytes()), hive(file.Open()) {}
  TempHive file;
  std::unique_ptr<hive::HiveFile> hive;
};

KeyNode ReadKey(hive::HiveFile& file, uint32_t recordOffset) {
  KeyNode key;
  hive::ReadKeyNode(file, recordOffset, key);
  return key;
}

// ---- Root key discovery

TEST(FindRootKey, FirstCellOfFirstBin) {
  HiveBuilder builder("Root");
  builder.Build();
  ASSERT_EQ(builder.KeyOffset(builder.Root()), 4132u);
  OpenedHive opened(builder);
  KeyNode root;
  ASSERT_EQ(hive::FindRootKey(*opened.hive, root), 1);
  EXPECT_EQ(root.recordOffset, 4132u);
  EXPECT_TRUE(std::equal(root.bytes.begin(), root.bytes.end(), builder.Bytes().begin() + 4132));
}

TEST(FindRootKey, LaterBinFoundByBinSizes) {
  HiveBuilder builder("Old");
  builder.Build();
  builder.PatchU16(4132 + nk::kFlags, 0x0020);  // the first bin's key is no root
  std::vector<uint8_t> record(nk::kFixedSize + 3, 0);
  record[0] = 'n';
  record[1] = 'k';
  record[2] = 0x2C;
  record[nk::kNameLength] = 3;
  record[nk::kSubkeyList] = record[nk::kSubkeyList + 1] = record[nk::kSubkeyList + 2] =
      record[nk::kSubkeyList + 3] = 0xFF;
  std::copy_n("New", 3, record.begin() + nk::kName);
  const uint32_t later = builder.AppendCell(record);
  OpenedHive opened(builder);
  KeyNode root;
  ASSERT_EQ(hive::FindRootKey(*opened.hive, root), 1);
  EXPECT_EQ(root.recordOffset, later);
  EXPECT_EQ(hive::GetKeyName(*opened.hive, root), "New");
}

struct RootCase {
  const char* what;
  uint32_t offset;     // file offset to patch; 0 for none
  uint32_t value;
  bool breakBaseBlockRoot;
  int expected;
};

class FindRootKeyCases : public testing::TestWithParam<RootCase> {};

TEST_P(FindRootKeyCases, ScanAndBaseBlockFallback) {
  HiveBuilder builder("Root");
  builder.AddKey(builder.Root(), "Child");
  builder.Build();
  const RootCase& c = GetParam();
  if (c.offset != 0) builder.PatchU32(c.offset, c.value);
  if (c.breakBaseBlockRoot) builder.PatchU32(hive::base_block::kRootCell, 0x7FFFFFF0);
  OpenedHive opened(builder);
  KeyNode root;
  root.recordOffset = 77;
  EXPECT_EQ(hive::FindRootKey(*opened.hive, root), c.expected);
  EXPECT_EQ(root.recordOffset, c.expected == 1 ? 4132u : 77u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindRootKeyCases,
    testing::Values(
        // Flags 0x0020 or 0x00AC are not the root's: the base block's root cell is used.
        RootCase{"Flags0020FallsBack", 4132, 0x00206B6E, false, 1},
        RootCase{"Flags00ACFallsBack", 4132, 0x00AC6B6E, false, 1},
        RootCase{"NoHbinFallsBack", 4096, 0x6E696278, false, 1},
        RootCase{"ZeroBinSizeFallsBack", 4096 + 8, 0, false, 1},
        RootCase{"Flags0020NoFallback", 4132, 0x00206B6E, true, 0},
        RootCase{"NoHbinNoFallback", 4096, 0x6E696278, true, 0},
        RootCase{"LettersSwappedNoFallback", 4132, 0x002C6E6B, true, 0},
        RootCase{"HugeBinSizeStillReadsItsFirstCell", 4096 + 8, 0xFFFFFFF0, true, 1}),
    [](const testing::TestParamInfo<RootCase>& p) { return std::string(p.param.what); });

// ---- Names

struct NameCase {
  const char* what;
  std::vector<uint8_t> bytes;
  int16_t length;
  uint16_t flags;
  std::string expected;
};

class KeyNames : public testing::TestWithParam<NameCase> {};

TEST_P(KeyNames, DecodeByFlags) {
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), std::string(16, 'x'));
  builder.Build();
  const uint32_t at = builder.KeyOffset(key);
  const NameCase& c = GetParam();
  builder.PatchBytes(at + nk::kName, c.bytes);
  builder.PatchU16(at + nk::kNameLength, static_cast<uint16_t>(c.length));
  builder.PatchU16(at + nk::kFlags, c.flags);
  OpenedHive opened(builder);
  EXPECT_EQ(hive::GetKeyName(*opened.hive, ReadKey(*opened.hive, at)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyNames,
    testing::Values(
        NameCase{"CutAtZeroByte", {0x52, 0x75, 0x6E, 0x00, 0x78}, 5, 0x20, "Run"},
        NameCase{"Latin1ToUtf8", {0xE4, 0x62}, 2, 0x20, "\xC3\xA4" "b"},
        NameCase{"EmptyName", {}, 0, 0x20, ""},
        NameCase{"NegativeLength", {0x41}, -3, 0x20, ""},
        NameCase{"Utf16WhenFlagLacks0020", {0x53, 0, 0x6F, 0, 0x66, 0, 0x74, 0}, 8, 0, "Soft"},
        NameCase{"Utf16Greek", {0xB1, 0x03, 0xB2, 0x03}, 4, 0, "\xCE\xB1\xCE\xB2"},
        NameCase{"Utf16CutAtNul", {0x41, 0, 0, 0, 0x42, 0}, 6, 0, "A"},
        NameCase{"Utf16OddLengthDropsLastByte", {0x41, 0, 0x42}, 3, 0, "A"},
        NameCase{"UnpairedSurrogate", {0x00, 0xD8, 0x41, 0}, 4, 0, "\xEF\xBF\xBD" "A"}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.what); });

// A name of nameLength bytes of which the file holds only held: the rest,
// past the file's end, reads as spaces.
struct CutNameCase {
  const char* what;
  uint16_t flags;
  std::vector<uint8_t> held;
  int16_t nameLength;
  std::string expected;
};

class CutNames : public testing::TestWithParam<CutNameCase> {};

TEST_P(CutNames, CharactersPastTheEndOfTheFileAreSpaces) {
  const CutNameCase& c = GetParam();
  HiveBuilder builder;
  builder.Build();
  const uint32_t size = static_cast<uint32_t>(builder.Bytes().size());
  std::vector<uint8_t> record(nk::kFixedSize + c.held.size(), 0);
  record[0] = 'n';
  record[1] = 'k';
  record[nk::kFlags] = static_cast<uint8_t>(c.flags);
  record[nk::kNameLength] = static_cast<uint8_t>(c.nameLength);
  record[nk::kNameLength + 1] = static_cast<uint8_t>(c.nameLength >> 8);
  std::copy(c.held.begin(), c.held.end(), record.begin() + nk::kName);
  builder.AppendCell(record);
  // Cut the file right after the name bytes that exist.
  const uint32_t at = size + 36;
  builder.Truncate(at + nk::kName + static_cast<uint32_t>(c.held.size()));
  OpenedHive opened(builder);
  EXPECT_EQ(hive::GetKeyName(*opened.hive, ReadKey(*opened.hive, at)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CutNames,
    testing::Values(CutNameCase{"Latin1", 0x20, {'A', 'B'}, 6, "AB    "},
                    CutNameCase{"Utf16", 0, {'A', 0, 'B', 0}, 8, "AB  "},
                    CutNameCase{"Utf16CutInsideAUnit", 0, {'A', 0, 'B'}, 8, "AB  "},
                    CutNameCase{"Utf16LongestName", 0, {'A', 0}, INT16_MAX - 1,
                                "A" + std::string(INT16_MAX / 2 - 1, ' ')}),
    [](const testing::TestParamInfo<CutNameCase>& p) { return std::string(p.param.what); });

// ---- Subkey lists

std::vector<std::string> ChildNames(hive::HiveFile& file, const KeyNode& key) {
  SubkeyList list;
  std::vector<std::string> names;
  const int32_t count = hive::ReadSubkeyList(file, key, list);
  for (int32_t i = 0; i < count; ++i) {
    KeyNode child;
    hive::GetSubkey(file, list, i, child);
    names.push_back(hive::GetKeyName(file, child));
  }
  return names;
}

class ListKinds : public testing::TestWithParam<ListKind> {};

TEST_P(ListKinds, ChildrenInStoredOrder) {
  HiveBuilder builder;
  const auto parent = builder.AddKey(builder.Root(), "Parent");
  std::vector<std::string> expected;
  for (int i = 0; i < 7; ++i) {
    expected.push_back("c" + std::to_string(6 - i));  // deliberately not sorted
    builder.AddKey(parent, expected.back());
  }
  builder.SetListKind(parent, GetParam(), 3);
  builder.Build();
  OpenedHive opened(builder);
  EXPECT_EQ(ChildNames(*opened.hive, ReadKey(*opened.hive, builder.KeyOffset(parent))), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ListKinds,
                         testing::Values(ListKind::kLf, ListKind::kLh, ListKind::kLi,
                                         ListKind::kRiOfLi, ListKind::kRiOfLf, ListKind::kRiOfLh));

class SubkeyLists : public testing::Test {
 protected:
  void SetUp() override {
    m_parent = m_builder.AddKey(m_builder.Root(), "Parent");
    for (const char* name : {"A", "B", "C"}) m_builder.AddKey(m_parent, name);
    m_builder.Build();
  }
  uint32_t ListAt() const { return m_builder.SubkeyListOffset(m_parent); }
  int32_t Count() {
    OpenedHive opened(m_builder);
    SubkeyList list;
    return hive::ReadSubkeyList(*opened.hive, ReadKey(*opened.hive, m_builder.KeyOffset(m_parent)), list);
  }
  HiveBuilder m_builder;
  HiveBuilder::KeyId m_parent = 0;
};

TEST_F(SubkeyLists, UnknownSignatureCountsAsEmpty) {
  m_builder.PatchU16(ListAt(), 0x6B73);  // "sk"
  m_builder.PatchU16(ListAt() + 2, 5);
  EXPECT_EQ(Count(), 0);
}

TEST_F(SubkeyLists, NegativeCountIsReturnedAndFetchesNothing) {
  m_builder.PatchU16(ListAt() + 2, 0x8000);
  EXPECT_EQ(Count(), -32768);
  OpenedHive opened(m_builder);
  EXPECT_TRUE(ChildNames(*opened.hive, ReadKey(*opened.hive, m_builder.KeyOffset(m_parent))).empty());
}

TEST_F(SubkeyLists, NoListOffsetMeansNoChildren) {
  m_builder.PatchU32(m_builder.KeyOffset(m_parent) + nk::kSubkeyList, hive::kNoCell);
  EXPECT_EQ(Count(), 0);
}

TEST_F(SubkeyLists, CountComesFromTheListNotTheKey) {
  m_builder.PatchU32(m_builder.KeyOffset(m_parent) + nk::kSubkeyCount, 5);
  EXPECT_EQ(Count(), 3);
  OpenedHive opened(m_builder);
  EXPECT_EQ(hive::GetSubkeyCount(ReadKey(*opened.hive, m_builder.KeyOffset(m_parent))), 5);
}

TEST_F(SubkeyLists, OutOfRangeIndexLeavesTheKeyAlone) {
  OpenedHive opened(m_builder);
  SubkeyList list;
  hive::ReadSubkeyList(*opened.hive, ReadKey(*opened.hive, m_builder.KeyOffset(m_parent)), list);
  KeyNode key;
  key.recordOffset = 99;
  hive::GetSubkey(*opened.hive, list, -1, key);
  hive::GetSubkey(*opened.hive, list, 3, key);
  EXPECT_EQ(key.recordOffset, 99u);
  hive::GetSubkey(*opened.hive, list, 2, key);
  EXPECT_EQ(hive::GetKeyName(*opened.hive, key), "C");
}

TEST_F(SubkeyLists, ElementPointingPastTheEndLeavesTheKeyAlone) {
  m_builder.PatchU32(ListAt() + 4, 0x7FFF0000);
  OpenedHive opened(m_builder);
  SubkeyList list;
  hive::ReadSubkeyList(*opened.hive, ReadKey(*opened.hive, m_builder.KeyOffset(m_parent)), list);
  KeyNode key;
  key.recordOffset = 99;
  hive::GetSubkey(*opened.hive, list, 0, key);
  EXPECT_EQ(key.recordOffset, 99u);
}

}  // namespace
