// The scan for deleted records on hives built byte by byte: where records are
// found, how they are tied, which candidates are refused, and the data of a
// recovered value.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "deleted/deleted_value_data.h"
#include "deleted/free_space_scan.h"
#include "deleted/scan_deleted.h"
#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace {

using deleted::FoundIn;
using testsupport::HiveBuilder;

// A built hive opened, its tree built and its deleted records scanned.
struct Scanned {
  explicit Scanned(HiveBuilder& builder) : file(builder.Bytes()), hive(file.Open()) {
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *hive, signals);
    records = deleted::ScanDeletedRecords(*hive, keys, index);
  }
  // The place of the record found at offset, or -1.
  template <typename Record>
  static int32_t At(const std::vector<Record>& found, uint32_t offset) {
    const auto it = std::find_if(found.begin(), found.end(), [&](const Record& r) { return r.recordOffset == offset; });
    return it == found.end() ? -1 : static_cast<int32_t>(it - found.begin());
  }
  int32_t KeyAt(uint32_t offset) const { return At(records.keys, offset); }
  int32_t ValueAt(uint32_t offset) const { return At(records.values, offset); }

  testsupport::TempHive file;
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
  deleted::DeletedRecords records;
};

std::vector<uint8_t> Text(std::string_view text) {
  std::vector<uint8_t> bytes;
  for (const char c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// Takes the last subkey out of the key's count and list: its list entry stays
// in the list's slack, as when Windows deletes a key.
void DropLastSubkey(HiveBuilder& b, HiveBuilder::KeyId key) {
  const uint32_t node = b.KeyOffset(key);
  const uint32_t count = hive::LoadU32(b.Bytes().data() + node + hive::key_node::kSubkeyCount) - 1;
  b.PatchU32(node + hive::key_node::kSubkeyCount, count);
  b.PatchU16(b.SubkeyListOffset(key) + hive::subkey_list::kCount, static_cast<uint16_t>(count));
}

// Root
//   Live: Keep (inline), Gone (deleted: past the value count), Big
//     Doomed: V1           (deleted with its value and subkey: one merged free cell)
//       Child
//   Other                  (taken out of the root's list, its cell left allocated)
//     Lost                 (its parent offset names no key)
class TiedRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    live = b.AddKey(b.Root(), "Live");
    keep = b.AddValue(live, "Keep", 4, std::vector<uint8_t>{1, 0, 0, 0});
    gone = b.AddValue(live, "Gone", 1, Text("gone value"));
    big = b.AddValue(live, "Big", 3, std::vector<uint8_t>(40, 0xAB));
    doomed = b.AddKey(live, "Doomed");
    v1 = b.AddValue(doomed, "V1", 1, Text("doomed data"));
    child = b.AddKey(doomed, "Child");
    other = b.AddKey(b.Root(), "Other");
    lost = b.AddKey(other, "Lost");
    b.Build();
    DropLastSubkey(b, live);
    DropLastSubkey(b, b.Root());
    b.FreeCells(b.KeyOffset(doomed), b.KeyOffset(child));
    // Gone moves to the end of the list, past the count, and its cells are freed.
    const uint32_t list = b.ValueListOffset(live);
    b.PatchU32(list + 4, HiveBuilder::CellOf(b.ValueOffset(big)));
    b.PatchU32(list + 8, HiveBuilder::CellOf(b.ValueOffset(gone)));
    b.PatchU32(b.KeyOffset(live) + hive::key_node::kValueCount, 2);
    b.FreeCells(b.ValueOffset(gone), b.DataOffset(gone));
    b.PatchU32(b.KeyOffset(lost) + hive::key_node::kParent, HiveBuilder::CellOf(b.DataOffset(gone)));
  }

  HiveBuilder b;
  HiveBuilder::KeyId live = 0, doomed = 0, child = 0, other = 0, lost = 0;
  HiveBuilder::ValueId keep = 0, gone = 0, big = 0, v1 = 0;
};

TEST_F(TiedRecords, KeysAreFoundWhereTheyLieAndTiedToTheirParents) {
  const Scanned scan(b);
  struct Expected {
    HiveBuilder::KeyId key;
    const char* path;
    FoundIn foundIn;
  };
  const Expected cases[] = {
      {doomed, "Live\\Doomed", FoundIn::kFreeCell},       // under a live key
      {child, "Live\\Doomed\\Child", FoundIn::kFreeCell},  // under a deleted key, in the same free cell
      {other, "Other", FoundIn::kUnreferencedCell},       // directly under the root
      {lost, "?\\Lost", FoundIn::kUnreferencedCell},      // its parent gone
  };
  ASSERT_EQ(scan.records.keys.size(), std::size(cases));
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.path);
    const int32_t k = scan.KeyAt(b.KeyOffset(c.key));
    ASSERT_GE(k, 0);
    EXPECT_EQ(deleted::DeletedKeyPath(scan.keys, scan.records, static_cast<size_t>(k)), c.path);
    EXPECT_EQ(scan.records.keys[static_cast<size_t>(k)].foundIn, c.foundIn);
  }
  const deleted::DeletedKey& doomedKey = scan.records.keys[static_cast<size_t>(scan.KeyAt(b.KeyOffset(doomed)))];
  EXPECT_EQ(doomedKey.name, "Doomed");
  EXPECT_EQ(doomedKey.subkeyCount, 1u);
  EXPECT_EQ(doomedKey.valueCount, 1u);
  EXPECT_EQ(scan.keys.Label(doomedKey.liveParentItem), "Live (0/2)");
}

TEST_F(TiedRecords, ValuesBelongToTheKeyWhoseListNamesThem) {
  const Scanned scan(b);
  ASSERT_EQ(scan.records.values.size(), 2u);
  const int32_t ofDeletedKey = scan.ValueAt(b.ValueOffset(v1));
  const int32_t pastCount = scan.ValueAt(b.ValueOffset(gone));
  ASSERT_GE(ofDeletedKey, 0);
  ASSERT_GE(pastCount, 0);
  EXPECT_EQ(deleted::DeletedValueKeyPath(scan.keys, scan.records, static_cast<size_t>(ofDeletedKey)), "Live\\Doomed");
  EXPECT_EQ(deleted::DeletedValueKeyPath(scan.keys, scan.records, static_cast<size_t>(pastCount)), "Live");
  EXPECT_EQ(scan.records.values[static_cast<size_t>(pastCount)].name, "Gone");
}

TEST_F(TiedRecords, ValueDataIsDecodedAsARowsAndFlaggedWhenItsCellIsLive) {
  // Gone's data now lies in Big's live data cell.
  b.PatchU32(b.ValueOffset(gone) + hive::value_record::kDataOffset, HiveBuilder::CellOf(b.DataOffset(big)));
  Scanned scan(b);
  const deleted::DeletedValue& intact = scan.records.values[static_cast<size_t>(scan.ValueAt(b.ValueOffset(v1)))];
  const deleted::DeletedValue& reused = scan.records.values[static_cast<size_t>(scan.ValueAt(b.ValueOffset(gone)))];
  EXPECT_FALSE(intact.dataMayBeOverwritten);
  EXPECT_TRUE(reused.dataMayBeOverwritten);
  EXPECT_EQ(deleted::FormatDeletedValueRow(*scan.hive, intact), "V1\nString\n24\ndoomed data");
  std::vector<uint8_t> bytes;
  EXPECT_EQ(deleted::DeletedValueData(*scan.hive, intact, bytes).size(), 24u);
  EXPECT_EQ(bytes, Text("doomed data"));
}

// A key node or value record with valid fields, for the cases below to break.
std::vector<uint8_t> KeyRecord(std::string_view name) {
  std::vector<uint8_t> r(hive::key_node::kFixedSize + name.size(), 0);
  hive::StoreU32(r.data(), hive::key_node::kNkSignature | uint32_t{hive::key_node::kCompressedName} << 16);
  hive::StoreU32(r.data() + hive::key_node::kLastWritten + 4, 0x01D5'0000);  // 2019
  hive::StoreU32(r.data() + hive::key_node::kParent, hive::kNoCell);
  hive::StoreU32(r.data() + hive::key_node::kSubkeyList, hive::kNoCell);
  hive::StoreU32(r.data() + hive::key_node::kValueList, hive::kNoCell);
  hive::StoreU32(r.data() + hive::key_node::kNameLength, static_cast<uint32_t>(name.size()));
  std::memcpy(r.data() + hive::key_node::kName, name.data(), name.size());
  return r;
}

std::vector<uint8_t> ValueRecord(uint32_t length, uint32_t dataOffset) {
  std::vector<uint8_t> r(hive::value_record::kName + 4, 0);
  hive::StoreU32(r.data(), hive::value_record::kVkSignature | 4u << 16);
  hive::StoreU32(r.data() + hive::value_record::kDataLength, length);
  hive::StoreU32(r.data() + hive::value_record::kDataOffset, dataOffset);
  hive::StoreU32(r.data() + hive::value_record::kType, 3);
  hive::StoreU32(r.data() + hive::value_record::kFlags, hive::value_record::kNameIsSingleByte);
  std::memcpy(r.data() + hive::value_record::kName, "Name", 4);
  return r;
}

void PutU32(std::vector<uint8_t>& r, int32_t at, uint32_t value) { hive::StoreU32(r.data() + at, value); }

struct Candidate {
  const char* what;
  std::vector<uint8_t> record;
  bool kept;
};

std::vector<Candidate> Candidates() {
  namespace nk = hive::key_node;
  std::vector<Candidate> cases;
  const auto key = [&](const char* what, bool kept, auto change) {
    std::vector<uint8_t> r = KeyRecord("Name");
    change(r);
    cases.push_back({what, r, kept});
  };
  const auto none = [](std::vector<uint8_t>&) {};
  key("a sound key", true, none);
  cases.push_back({"a name of 1,024 characters", KeyRecord(std::string(1024, 'x')), true});
  cases.push_back({"a name of 1,025 characters", KeyRecord(std::string(1025, 'x')), false});
  cases.push_back({"a name of NULs", KeyRecord(std::string("ab\0\0\0\0\0\0", 8)), false});
  key("a name with an unpaired surrogate", false, [](std::vector<uint8_t>& r) {
    r[nk::kFlags] = 0;  // UTF-16: "N" then 0xD800
    r[nk::kName + 1] = 0;
    r[nk::kName + 2] = 0;
    r[nk::kName + 3] = 0xD8;
  });
  key("10,000 subkeys", true, [](auto& r) { PutU32(r, nk::kSubkeyCount, 10000); });
  key("10,001 subkeys", false, [](auto& r) { PutU32(r, nk::kSubkeyCount, 10001); });
  key("10,001 volatile subkeys", false, [](auto& r) { PutU32(r, nk::kVolatileSubkeyCount, 10001); });
  key("1,001 values", false, [](auto& r) { PutU32(r, nk::kValueCount, 1001); });
  key("written before 1970", false, [](auto& r) {
    PutU32(r, nk::kLastWritten, static_cast<uint32_t>(deleted::kEarliestFileTime - 1));
    PutU32(r, nk::kLastWritten + 4, static_cast<uint32_t>((deleted::kEarliestFileTime - 1) >> 32));
  });
  key("written in 2100", false, [](auto& r) {
    PutU32(r, nk::kLastWritten, static_cast<uint32_t>(deleted::kLatestFileTime));
    PutU32(r, nk::kLastWritten + 4, static_cast<uint32_t>(deleted::kLatestFileTime >> 32));
  });
  cases.push_back({"a sound value", ValueRecord(40, 0x1000), true});
  cases.push_back({"a value with 4 bytes inline", ValueRecord(0x80000004, 0x41424344), true});
  cases.push_back({"a value with 5 bytes inline", ValueRecord(0x80000005, 0x41424344), false});
  cases.push_back({"a value whose data offset is unaligned", ValueRecord(40, 0x1004), false});
  cases.push_back({"a value whose data offset is 0", ValueRecord(40, 0), false});
  std::vector<uint8_t> cut = KeyRecord("Name");
  cut.resize(cut.size() - 1);
  PutU32(cut, nk::kNameLength, 4 + 8);  // the name runs past its cell
  cases.push_back({"a key cut by the end of its cell", cut, false});
  return cases;
}

TEST(DeletedCandidates, OnlyPlausibleRecordsAreKept) {
  HiveBuilder b;
  b.Build();
  const std::vector<Candidate> cases = Candidates();
  std::vector<uint32_t> offsets;
  for (const Candidate& c : cases) {
    offsets.push_back(b.AppendCell(c.record));
    b.FreeCells(offsets.back(), offsets.back());
  }
  const Scanned scan(b);
  for (size_t i = 0; i < cases.size(); ++i) {
    const bool kept = scan.KeyAt(offsets[i]) >= 0 || scan.ValueAt(offsets[i]) >= 0;
    EXPECT_EQ(kept, cases[i].kept) << cases[i].what;
  }
}

// Records in a live list cell's slack and past the last hive bin are found; a
// record the end of the file cuts is not.
TEST(DeletedPlaces, SlackAndBytesPastTheLastBin) {
  HiveBuilder b;
  const auto key = b.AddKey(b.Root(), "A");
  b.AddValue(key, "x", 4, std::vector<uint8_t>{1, 2, 3, 4});
  b.Build();
  // A's value list moves to a cell of its own whose slack holds an old key node.
  std::vector<uint8_t> list(4);
  std::memcpy(list.data(), b.Bytes().data() + b.ValueListOffset(key), 4);
  const std::vector<uint8_t> slackKey = KeyRecord("InSlack");
  list.insert(list.end(), slackKey.begin(), slackKey.end());
  const uint32_t listOffset = b.AppendCell(list);
  b.PatchU32(b.KeyOffset(key) + hive::key_node::kValueList, HiveBuilder::CellOf(listOffset));
  const auto pastBins = static_cast<uint32_t>(b.Bytes().size());
  b.AppendBytes(KeyRecord("PastBins"));
  const std::vector<uint8_t> cutKey = KeyRecord("CutByTheEnd");
  b.AppendBytes(std::span(cutKey).first(cutKey.size() - 2));

  const Scanned scan(b);
  ASSERT_EQ(scan.records.keys.size(), 2u);
  EXPECT_EQ(scan.records.keys[0].recordOffset, listOffset + 4);
  EXPECT_EQ(scan.records.keys[0].foundIn, FoundIn::kSlack);
  EXPECT_EQ(scan.records.keys[1].recordOffset, pastBins);
  EXPECT_EQ(scan.records.keys[1].foundIn, FoundIn::kPastLastBin);
  EXPECT_EQ(deleted::DeletedKeyPath(scan.keys, scan.records, 1), "?\\PastBins");
}

// A bin whose signature is damaged but whose offset and size are sound does
// not end the bins: a free cell behind it is still a free cell.
TEST(DeletedPlaces, DamagedBinSignatureDoesNotEndTheBins) {
  HiveBuilder b;
  b.Build();
  const uint32_t freed = b.AppendCell(KeyRecord("Freed"));
  b.FreeCells(freed, freed);
  b.PatchU32(hive::kHeaderAreaSize, 0x6E696267);  // "gbin"
  const Scanned scan(b);
  ASSERT_EQ(scan.records.keys.size(), 1u);
  EXPECT_EQ(scan.records.keys[0].foundIn, FoundIn::kFreeCell);
}

TEST_F(TiedRecords, StopFlagEndsTheScanWithNothing) {
  const Scanned scan(b);
  const std::atomic<bool> stop{true};
  EXPECT_TRUE(deleted::ScanDeletedRecords(*scan.hive, scan.keys, scan.index, &stop).keys.empty());
}

// Deleted keys that name each other as parents: the chain ends.
TEST(DeletedPlaces, ParentCyclesAreCut) {
  HiveBuilder b;
  b.Build();
  const uint32_t first = b.AppendCell(KeyRecord("First"));
  const uint32_t second = b.AppendCell(KeyRecord("Second"));
  b.PatchU32(first + hive::key_node::kParent, HiveBuilder::CellOf(second));
  b.PatchU32(second + hive::key_node::kParent, HiveBuilder::CellOf(first));
  const Scanned scan(b);
  ASSERT_EQ(scan.records.keys.size(), 2u);
  EXPECT_EQ(deleted::DeletedKeyPath(scan.keys, scan.records, 0), "?\\Second\\First");
  EXPECT_EQ(deleted::DeletedKeyPath(scan.keys, scan.records, 1), "?\\Second");
}

}  // namespace
