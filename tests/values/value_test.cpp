// Value lists, value records, names and data, read from builder hives with
// one field changed per case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "built_hive.h"


namespace {

using testsupport::HiveBuilder;
using valuetests::BuiltHive;
using valuetests::Bytes;
using valuetests::Hex;
using valuetests::Utf16;
using namespace std::literals;
namespace vr = hive::value_record;

// ---- Value lists and fetching ------------------------------------------------

class ValueListTest : public testing::Test {
 protected:
  ValueListTest() {
    const std::vector<uint8_t> data = Bytes({1, 2, 3, 4, 5, 6, 7, 8});
    m_key = h.builder.AddKey(h.builder.Root(), "Key");
    for (const char* name : {"a", "b", "c"}) h.builder.AddValue(m_key, name, 3, data);
    h.builder.Build();
  }
  uint32_t KeyField(int32_t field) const { return h.builder.KeyOffset(m_key) + static_cast<uint32_t>(field); }

  BuiltHive h;
  HiveBuilder::KeyId m_key = 0;
};

TEST_F(ValueListTest, ListComesFromTheKeyNode) {
  hive::ValueList list;
  h.Open();
  EXPECT_EQ(hive::GetValueList(h.Hive(), h.ReadKey(m_key), list), 3);
  EXPECT_EQ(list.recordOffset, h.builder.ValueListOffset(m_key));
  EXPECT_EQ(list.count, 3);
}

TEST_F(ValueListTest, ListOffsetBecomesRecordOffset) {
  h.builder.PatchU32(KeyField(hive::key_node::kValueList), 0x20);
  h.Open();
  hive::ValueList list;
  EXPECT_EQ(hive::GetValueList(h.Hive(), h.ReadKey(m_key), list), 3);
  EXPECT_EQ(list.recordOffset, 4132u);
}

TEST_F(ValueListTest, KeyWithoutValuesLeavesListAlone) {
  struct Case {
    uint32_t count;
    uint32_t listCell;
  };
  for (const Case c : {Case{0, 0x20}, Case{2, hive::kNoCell}, Case{0, hive::kNoCell}}) {
    h.builder.PatchU32(KeyField(hive::key_node::kValueCount), c.count);
    h.builder.PatchU32(KeyField(hive::key_node::kValueList), c.listCell);
    h.Open();
    hive::ValueList list{1234, 56};
    EXPECT_EQ(hive::GetValueList(h.Hive(), h.ReadKey(m_key), list), 0) << c.count;
    EXPECT_EQ(list.recordOffset, 1234u);
    EXPECT_EQ(list.count, 56);
  }
}

TEST_F(ValueListTest, NegativeCountIsReturnedAsIs) {
  h.builder.PatchU32(KeyField(hive::key_node::kValueCount), 0x80000000);
  h.Open();
  hive::ValueList list;
  EXPECT_EQ(hive::GetValueList(h.Hive(), h.ReadKey(m_key), list), INT32_MIN);
}

TEST_F(ValueListTest, IndexOutOfRangeFetchesNothing) {
  h.Open();
  hive::ValueList list;
  hive::GetValueList(h.Hive(), h.ReadKey(m_key), list);
  for (const int32_t index : {-1, 3, INT32_MIN, INT32_MAX}) {
    hive::ValueRecord value;
    value.recordOffset = 77;
    value.bytes.fill(0xAB);
    hive::ValueFetch fetch = hive::ValueFetch::kFetched;
    EXPECT_EQ(hive::GetValue(h.Hive(), list, index, value, &fetch), 0u) << index;
    EXPECT_EQ(fetch, hive::ValueFetch::kOutOfRange);
    EXPECT_EQ(value.recordOffset, 77u);
    EXPECT_EQ(value.bytes[0], 0xAB);
  }
}

TEST_F(ValueListTest, FetchCopiesTheRecordAndReturnsItsType) {
  h.builder.PatchU32(h.builder.ValueOffset(2) + vr::kType, 0x1000B);
  h.Open();
  uint32_t type = 0;
  const hive::ValueRecord value = h.Fetch(m_key, 2, &type);
  EXPECT_EQ(type, 0x1000Bu);
  EXPECT_EQ(value.recordOffset, h.builder.ValueOffset(2));
  EXPECT_EQ(hive::LoadU16(&value.bytes[vr::kSignature]), vr::kVkSignature);
  EXPECT_EQ(hive::LoadU32(&value.bytes[vr::kDataLength]), 8u);
}

TEST_F(ValueListTest, EntryTheFileDoesNotHoldEndsTheListing) {
  // The list's last entry is the file's last four bytes: entry 0 is held, entry 1 is not.
  const auto size = static_cast<uint32_t>(h.builder.Bytes().size());
  h.builder.PatchU32(KeyField(hive::key_node::kValueList), HiveBuilder::CellOf(size - 4));
  h.Open();
  hive::ValueList list;
  hive::GetValueList(h.Hive(), h.ReadKey(m_key), list);
  hive::ValueRecord value;
  hive::ValueFetch fetch = hive::ValueFetch::kOutOfRange;
  hive::GetValue(h.Hive(), list, 0, value, &fetch);
  EXPECT_EQ(fetch, hive::ValueFetch::kFetched);  // free space: cell 0, the record at 4100
  EXPECT_EQ(value.recordOffset, 4100u);
  value.recordOffset = 99;
  EXPECT_EQ(hive::GetValue(h.Hive(), list, 1, value, &fetch), 0u);
  EXPECT_EQ(fetch, hive::ValueFetch::kEntryNotHeld);
  EXPECT_EQ(value.recordOffset, 99u);
}

TEST_F(ValueListTest, RecordTheFileDoesNotHoldIsNotFetched) {
  const auto size = static_cast<uint32_t>(h.builder.Bytes().size());
  const uint32_t entry1 = h.builder.ValueListOffset(m_key) + 4;
  for (const uint32_t record : {size - 17, size, 0x7FFFFFF0u, 0x80000000u, 0xFFFFFFF0u}) {
    h.builder.PatchU32(entry1, HiveBuilder::CellOf(record));
    h.Open();
    hive::ValueList list;
    hive::GetValueList(h.Hive(), h.ReadKey(m_key), list);
    hive::ValueRecord value;
    hive::ValueFetch fetch = hive::ValueFetch::kFetched;
    EXPECT_EQ(hive::GetValue(h.Hive(), list, 1, value, &fetch), 0u) << record;
    EXPECT_EQ(fetch, hive::ValueFetch::kRecordNotHeld) << record;
    hive::GetValue(h.Hive(), list, 2, value, &fetch);
    EXPECT_EQ(fetch, hive::ValueFetch::kFetched);
  }
}

TEST_F(ValueListTest, CellOffsetWrapsInThirtyTwoBits) {
  // Cell 0xFFFFFFFF + 4100 wraps to record offset 4099, which the file holds.
  h.builder.PatchU32(h.builder.ValueListOffset(m_key), 0xFFFFFFFF);
  h.Open();
  EXPECT_EQ(h.Fetch(m_key, 0).recordOffset, 4099u);
}

// ---- Names -------------------------------------------------------------------

struct NameCase {
  const char* what;
  uint16_t flags;
  uint16_t nameLength;
  std::vector<uint8_t> nameBytes;
  std::string expected;
};

class ValueNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(ValueNameTest, DecodesTheStoredName) {
  const NameCase& c = GetParam();
  BuiltHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "K");
  const auto value = h.builder.AddValue(key, "placeholder-name", 1, {});
  h.builder.Build();
  const uint32_t record = h.builder.ValueOffset(value);
  h.builder.PatchU16(record + vr::kFlags, c.flags);
  h.builder.PatchU16(record + vr::kNameLength, c.nameLength);
  if (!c.nameBytes.empty()) h.builder.PatchBytes(record + vr::kName, c.nameBytes);
  h.Open();
  EXPECT_EQ(hive::GetValueName(h.Hive(), h.Fetch(key, 0)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ValueNameTest,
    testing::Values(
        NameCase{"DefaultValue", 0, 0, {}, "{default}"},
        NameCase{"Utf16Name", 0, 8, Utf16(u"Path"), "Path"},
        NameCase{"Utf16OddLengthDropsLastByte", 0, 5, Utf16(u"Pat"), "Pa"},
        NameCase{"Utf16EndsAtNul", 0, 8, Utf16(u"Pa\0h"sv), "Pa"},
        NameCase{"Utf16NonLatin", 0, 4, Utf16(u"\u00e9\u4e2d"), "\u00e9\u4e2d"},
        NameCase{"Utf16UnpairedSurrogate", 0, 6, Utf16(u"A\xD800" u"B"), "A\uFFFDB"},
        NameCase{"Utf16SurrogatePair", 0, 4, Utf16(u"\U0001F600"), "\U0001F600"},
        NameCase{"SingleByteEmpty", 1, 0, {}, ""},
        NameCase{"SingleByteEndsAtZero", 1, 5, Bytes({'P', 'a', 't', 'h', 0}), "Path"},
        NameCase{"SingleByteIsLatin1", 1, 4, Bytes({0xE0, 'x', 0xFF, 'z'}), "\u00e0x\u00ffz"},
        NameCase{"OtherFlagBitsIgnored", 0xFFFF, 3, Bytes({'A', 'b', 'c'}), "Abc"},
        NameCase{"OtherFlagBitsWithoutBit0", 0xFFFE, 0, {}, "{default}"},
        NameCase{"NegativeSingleByteLength", 1, 0xFFFF, Bytes({'A'}), ""},
        NameCase{"NegativeUtf16Length", 0, 0x8000, Utf16(u"A"), ""}),
    [](const testing::TestParamInfo<NameCase>& param) { return std::string(param.param.what); });

TEST(ValueNameEdge, NameBytesPastTheEndOfTheFileAreSpaces) {
  for (const bool utf16 : {false, true}) {
    BuiltHive h;
    h.builder.Build();
    // A value record at the very end of the file whose name runs past it.
    std::vector<uint8_t> record(vr::kName, 0);
    hive::StoreU32(&record[vr::kType], 1);
    record[vr::kFlags] = utf16 ? 0 : 1;
    record[vr::kNameLength] = utf16 ? 8 : 5;
    const std::vector<uint8_t> held = utf16 ? Utf16(u"Pa") : Bytes({'P', 'a'});
    record.insert(record.end(), held.begin(), held.end());
    const uint32_t offset = h.builder.AppendCell(record);
    h.builder.Truncate(offset + static_cast<uint32_t>(record.size()));
    h.Open();
    hive::ValueRecord value;
    value.recordOffset = offset;
    std::copy_n(record.begin(), vr::kFixedSize, value.bytes.begin());
    EXPECT_EQ(hive::GetValueName(h.Hive(), value), utf16 ? "Pa  " : "Pa   ");
  }
}

// ---- Data ----------------------------------------------------------------------

struct DataCase {
  const char* what;
  uint32_t storedLength;
  std::vector<uint8_t> field;  // the data offset field, or the data cell when 'cell' is set
  bool cell;
  uint32_t length;
  std::string text;
  uint32_t dword;
  std::string dataHex;  // what the hex dump shows
  int readsData;        // ReadValueData's result after GetValueDataLength
};

class ValueDataTest : public testing::TestWithParam<DataCase> {};

TEST_P(ValueDataTest, InlineAndCellData) {
  const DataCase& c = GetParam();
  BuiltHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "K");
  const auto id = h.builder.AddValue(key, "v", 3, Bytes({9, 9, 9, 9, 9, 9, 9, 9}));
  h.builder.Build();
  if (c.cell) {
    h.PointAtNewCell(id, c.storedLength, c.field);
  } else {
    h.PatchData(id, c.storedLength, hive::LoadU32(c.field.data()));
  }
  h.Open();
  const hive::ValueRecord fetched = h.Fetch(key, 0);

  hive::ValueRecord value = fetched;
  EXPECT_EQ(hive::GetValueText(h.Hive(), value), c.text);
  EXPECT_EQ(hive::LoadU32(&value.bytes[vr::kDataLength]), c.length) << "bit 31 is cleared";

  value = fetched;
  EXPECT_EQ(hive::GetValueDataLength(h.Hive(), value), c.length);
  EXPECT_EQ(hive::GetValueDataLength(h.Hive(), value), c.length);
  EXPECT_EQ(hive::GetValueDword(h.Hive(), value), c.dword);
  std::vector<uint8_t> buffer(c.length + 4, 0xEE);
  EXPECT_EQ(hive::ReadValueData(h.Hive(), value, buffer), c.readsData);
  if (c.readsData == 0) {
    EXPECT_EQ(buffer, std::vector<uint8_t>(c.length + 4, 0xEE));
  } else {
    EXPECT_EQ(Hex({buffer.data(), c.length}), c.dataHex);
  }
  EXPECT_EQ(buffer[c.length], 0xEE) << "nothing past the data length is written";

  value = fetched;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(Hex(hive::TakeValueData(h.Hive(), value, bytes)), c.dataHex);
}

INSTANTIATE_TEST_SUITE_P(
    Data, ValueDataTest,
    testing::Values(
        DataCase{"InlineDword", 0x80000004, Bytes({0x2A, 0, 0, 0}), false, 4, "*", 42, "2A000000", 0},
        DataCase{"InlineOneByteDwordTakesAllFour", 0x80000001, Bytes({0x2A, 1, 0, 0}), false, 1, "",
                 298, "2A", 0},
        DataCase{"InlineText", 0x80000004, Bytes({0x41, 0, 0, 0}), false, 4, "A", 0x41, "41000000", 0},
        DataCase{"InlineThreeBytes", 0x80000003, Bytes({0x41, 0, 0x42, 0x43}), false, 3, "A",
                 0x43420041, "410042", 0},
        DataCase{"InlineWithoutBit31", 4, Bytes({0x41, 0, 0x42, 0}), false, 4, "AB", 0x00420041,
                 "41004200", 0},
        DataCase{"LengthZero", 0, Bytes({0x78, 0x56, 0x34, 0x12}), false, 0, "", 0x12345678, "", 0},
        DataCase{"LengthZeroBit31", 0x80000000, Bytes({0x78, 0x56, 0x34, 0x12}), false, 0, "",
                 0x12345678, "", 0},
        DataCase{"CellTextEndsAtNul", 12, Bytes({0x48, 0, 0x69, 0, 0x21, 0, 0, 0, 0x58, 0, 0x59, 0}),
                 true, 12, "Hi!", 0x00690048, "480069002100000058005900", 1},
        DataCase{"CellOddLengthDropsLastByte", 7, Bytes({0x41, 0, 0x42, 0, 0x43, 0, 0x44, 0}), true, 7,
                 "ABC", 0x00420041, "41004200430044", 1},
        DataCase{"CellFiveBit31", 0x80000005, Bytes({0x41, 0, 0x42, 0, 0x43, 0}), true, 5, "AB",
                 0x00420041, "4100420043", 1},
        DataCase{"CellSevenBit31", 0x80000007, Bytes({0x41, 0, 0x42, 0, 0x43, 0, 0x44}), true, 7,
                 "ABC", 0x00420041, "41004200430044", 1},
        DataCase{"CellTwelveBit31", 0x8000000C, Utf16(u"Hello!"), true, 12, "Hello!", 0x00650048,
                 "480065006C006C006F002100", 1},
        DataCase{"CellSixteenBit31", 0x80000010, Utf16(u"abcdefgh"), true, 16, "abcdefgh",
                 0x00620061, "61006200630064006500660067006800", 1},
        DataCase{"CellNonLatinText", 8, Utf16(u"\u00e9\u4e2d\U0001F600"), true, 8,
                 "\u00e9\u4e2d\U0001F600", 0x4E2D00E9, "E9002D4E3DD800DE", 1}),
    [](const testing::TestParamInfo<DataCase>& param) { return std::string(param.param.what); });

TEST(ValueDataOrder, ReadValueDataWaitsForBit31ToBeCleared) {
  BuiltHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "K");
  const auto id = h.builder.AddValue(key, "v", 3, Bytes({1, 2}));
  h.builder.Build();
  h.PointAtNewCell(id, 0x80000010, Utf16(u"abcdefgh"));
  h.Open();
  hive::ValueRecord value = h.Fetch(key, 0);
  std::vector<uint8_t> buffer(16, 0xEE);
  EXPECT_EQ(hive::ReadValueData(h.Hive(), value, buffer), 0);
  EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
  // The stored length is negative until cleared, so the data offset field is the number.
  EXPECT_EQ(hive::GetValueDword(h.Hive(), value), hive::LoadU32(&value.bytes[vr::kDataOffset]));
  hive::GetValueDataLength(h.Hive(), value);
  EXPECT_EQ(hive::ReadValueData(h.Hive(), value, buffer), 1);
  EXPECT_EQ(buffer, Utf16(u"abcdefgh"));
}

// ---- Data the file does not hold, and huge lengths ---------------------------

class ValueDataEdgeTest : public testing::Test {
 protected:
  ValueDataEdgeTest() {
    m_key = h.builder.AddKey(h.builder.Root(), "K");
    m_value = h.builder.AddValue(m_key, "v", 3, Bytes({9, 9, 9, 9, 9, 9, 9, 9}));
    h.builder.Build();
  }
  // A data cell whose held bytes end the file.
  void DataAtEndOfFile(uint32_t storedLength, const std::vector<uint8_t>& held) {
    const uint32_t record = h.PointAtNewCell(m_value, storedLength, held);
    h.builder.Truncate(record + static_cast<uint32_t>(held.size()));
    h.Open();
  }
  hive::ValueRecord Fetch() { return h.Fetch(m_key, 0); }

  BuiltHive h;
  HiveBuilder::KeyId m_key = 0;
  HiveBuilder::ValueId m_value = 0;
};

TEST_F(ValueDataEdgeTest, BytesPastTheEndReadAsZeros) {
  DataAtEndOfFile(10, Bytes({0x41, 0, 0x42, 0, 0x43}));
  hive::ValueRecord value = Fetch();
  EXPECT_EQ(hive::GetValueText(h.Hive(), value), "ABC");  // 43 pairs with a zero fill byte
  std::vector<uint8_t> bytes;
  EXPECT_EQ(Hex(hive::TakeValueData(h.Hive(), value, bytes)), "41004200430000000000");
  std::vector<uint8_t> buffer(10, 0xEE);
  EXPECT_EQ(hive::ReadValueData(h.Hive(), value, buffer), 1);
  EXPECT_EQ(Hex(buffer), "4100420043EEEEEEEEEE");
}

TEST_F(ValueDataEdgeTest, DwordPastTheEndReadsZeros) {
  DataAtEndOfFile(8, Bytes({0x41, 0x42}));
  EXPECT_EQ(hive::GetValueDword(h.Hive(), Fetch()), 0x4241u);
}

TEST_F(ValueDataEdgeTest, DataOffsetBeyondReachReadsNothing) {
  for (const uint32_t record : {0x7FFFFFFEu, 0x80000004u, 0xFFFFFFF0u}) {
    h.PatchData(m_value, 8, HiveBuilder::CellOf(record));
    h.Open();
    hive::ValueRecord value = Fetch();
    EXPECT_EQ(hive::GetValueText(h.Hive(), value), "");
    EXPECT_EQ(hive::GetValueDword(h.Hive(), value), 0u);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Hex(hive::TakeValueData(h.Hive(), value, bytes)), "0000000000000000");
  }
}

TEST_F(ValueDataEdgeTest, HugeLengthTakesOnlyTheHeldBytes) {
  DataAtEndOfFile(0x7FFFFFFF, Utf16(u"Hi"));
  hive::ValueRecord value = Fetch();
  EXPECT_EQ(hive::GetValueText(h.Hive(), value), "Hi");
  std::vector<uint8_t> bytes;
  EXPECT_EQ(Hex(hive::TakeValueData(h.Hive(), value, bytes)), "48006900");
  EXPECT_EQ(hive::GetValueDataLength(h.Hive(), value), 0x7FFFFFFFu);
  EXPECT_LT(bytes.capacity(), size_t{1} << 20);
}

TEST_F(ValueDataEdgeTest, HugeLengthMidFileTakesTheRestOfTheFile) {
  const uint32_t record = h.PointAtNewCell(m_value, hive::kMaxValueDataBytes + 1, Utf16(u"Hi"));
  h.Open();
  hive::ValueRecord value = Fetch();
  std::vector<uint8_t> bytes;
  const auto data = hive::TakeValueData(h.Hive(), value, bytes);
  EXPECT_EQ(data.size(), static_cast<size_t>(h.Hive().Size()) - record);
  EXPECT_EQ(Hex(data.first(4)), "48006900");
}

TEST_F(ValueDataEdgeTest, LengthUpToTheCapIsZeroFilled) {
  constexpr uint32_t kLength = 1u << 20;
  DataAtEndOfFile(kLength, Bytes({0xAB, 0xCD, 0xEF}));
  hive::ValueRecord value = Fetch();
  std::vector<uint8_t> bytes;
  const auto data = hive::TakeValueData(h.Hive(), value, bytes);
  ASSERT_EQ(data.size(), kLength);
  EXPECT_EQ(Hex(data.first(4)), "ABCDEF00");
  EXPECT_EQ(std::count(data.begin(), data.end(), 0), kLength - 3);
}

}  // namespace
