// Big data ("db" records and their segments) in builder hives of version 1.5,
// whole and damaged, and a "db" in a version 1.3 hive, which is data as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "built_hive.h"
#include "hive/value_data.h"
#include "values/value_row.h"

namespace {

using testsupport::HiveBuilder;
using valuetests::BuiltHive;
using valuetests::Hex;
using valuetests::Utf16;
namespace db = hive::big_data;
namespace vr = hive::value_record;

constexpr uint32_t kSegment = db::kSegmentBytes;

// Bytes that differ from segment to segment and never are zero.
std::vector<uint8_t> Pattern(uint32_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(1 + (i + i / kSegment * 7) % 250);
  return bytes;
}

std::vector<uint8_t> WithZerosFrom(std::vector<uint8_t> bytes, uint32_t from, uint32_t to) {
  std::fill(bytes.begin() + from, bytes.begin() + std::min<uint32_t>(to, static_cast<uint32_t>(bytes.size())), 0);
  return bytes;
}

class BigData : public testing::Test {
 protected:
  // A version 1.5 hive with one big data value of length bytes.
  void Build(uint32_t length, uint32_t type = 3, uint32_t minor = 5) {
    m_data = Pattern(length);
    m_key = h.builder.AddKey(h.builder.Root(), "K");
    m_value = h.builder.AddBigDataValue(m_key, "v", type, m_data);
    h.builder.SetMinorVersion(minor);
    h.builder.Build();
  }
  hive::ValueRecord Fetch() { return h.Fetch(m_key, 0); }
  std::vector<uint8_t> Data() {
    hive::ValueRecord value = Fetch();
    std::vector<uint8_t> bytes;
    const auto data = hive::TakeValueData(h.Hive(), value, bytes);
    EXPECT_EQ(hive::GatheredDataLength(hive::ReadPositionBytes(h.Hive()), h.Hive(), value, hive::DataCut::kWhole),
              data.size());
    return {data.begin(), data.end()};
  }
  uint32_t SegmentEntry(uint32_t i) { return h.builder.SegmentListOffset(m_value) + 4 * i; }

  BuiltHive h;
  std::vector<uint8_t> m_data;
  HiveBuilder::KeyId m_key = 0;
  HiveBuilder::ValueId m_value = 0;
};

TEST_F(BigData, SegmentsJoinInListOrderAndCutAtTheLength) {
  for (const uint32_t length : {kSegment + 1, 2 * kSegment, 3 * kSegment + 100}) {
    SCOPED_TRACE(length);
    h = BuiltHive();
    Build(length);
    h.OpenAnyway();
    EXPECT_EQ(Data(), m_data);
    hive::ValueRecord value = Fetch();
    std::vector<uint8_t> buffer(length + 1, 0xEE);
    hive::GetValueDataLength(h.Hive(), value);
    EXPECT_EQ(hive::ReadValueData(h.Hive(), value, buffer), 1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end() - 1), m_data);
    EXPECT_EQ(buffer.back(), 0xEE);
    EXPECT_EQ(hive::GetValueDword(h.Hive(), value), hive::LoadU32(m_data.data()));
    value = Fetch();
    const std::string row = values::FormatValueRow(h.Hive(), value, 3);
    EXPECT_EQ(row, "v\nBinary\n" + std::to_string(length) + "\n$" + Hex(m_data));
  }
}

TEST_F(BigData, TextRunsAcrossSegmentsAndDwordIsTheFirstFourBytes) {
  std::u16string text;
  while (text.size() * 2 < kSegment + 40) text += u"Segment \u00e9\u4e2d ";
  const std::vector<uint8_t> utf16 = Utf16(text);
  m_key = h.builder.AddKey(h.builder.Root(), "K");
  h.builder.AddBigDataValue(m_key, "s", 1, utf16);
  h.builder.AddBigDataValue(m_key, "d", 4, utf16);
  h.builder.SetMinorVersion(5);
  h.OpenAnyway();
  hive::ValueRecord value = h.Fetch(m_key, 0);
  std::string expected;
  for (const char16_t c : text) {
    if (c == u'\u00e9') expected += "\u00e9";
    else if (c == u'\u4e2d') expected += "\u4e2d";
    else expected += static_cast<char>(c);
  }
  EXPECT_EQ(hive::GetValueText(h.Hive(), value), expected);
  value = h.Fetch(m_key, 1);
  EXPECT_EQ(values::FormatValueRow(h.Hive(), value, 4),
            "d\nDWord\n" + std::to_string(utf16.size()) + "\n0x00650053 (6619219\t)");
}

// Not above one segment's size, or not a hive of version 1.4 or later: the
// data cell is the data itself, "db" record and all.
TEST_F(BigData, DataCellIsTheDataUnlessBigDataApplies) {
  struct Case {
    const char* what;
    uint32_t length;
    uint32_t minor;
  };
  for (const Case c : {Case{"one segment's size", kSegment, 5}, Case{"version 1.3", kSegment + 1, 3},
                       Case{"version 1.4", kSegment + 1, 4}}) {
    SCOPED_TRACE(c.what);
    h = BuiltHive();
    Build(c.length, 3, c.minor);
    if (c.minor == 3) {
      h.Open();  // the strict open
    } else {
      h.OpenAnyway();
    }
    const uint32_t cell = h.builder.DataOffset(m_value);
    const auto& image = h.builder.Bytes();
    const std::vector<uint8_t> raw(image.begin() + cell, image.begin() + cell + c.length);
    EXPECT_EQ(Data() == raw, c.minor == 3 || c.length == kSegment);
    EXPECT_EQ(Data() == m_data, c.minor == 4 && c.length > kSegment);
  }
}

TEST_F(BigData, BytesTheSegmentsCannotSupplyReadAsZeros) {
  struct Case {
    const char* what;
    std::function<void()> damage;
    uint32_t zerosFrom;
    uint32_t zerosTo;
  };
  const uint32_t length = 2 * kSegment + 500;
  const std::vector<Case> cases = {
      {"second segment past the end of the file",
       [this] { h.builder.PatchU32(SegmentEntry(1), 0x7FFFFF00); }, kSegment, 2 * kSegment},
      {"segment beyond reach",
       [this] { h.builder.PatchU32(SegmentEntry(0), 0x7FFFFFF0); }, 0, kSegment},
      {"segment list past the end of the file",
       [this] {
         h.builder.PatchU32(h.builder.DataOffset(m_value) + db::kSegmentList, 0x7FFFFF00);
       },
       0, length},
      {"segment list at the top of the 32 bits",
       [this] {
         h.builder.PatchU32(h.builder.DataOffset(m_value) + db::kSegmentList, 0xFFFFEFF8);
       },
       0, length},
      {"too few segments for the length",
       [this] { h.builder.PatchU16(h.builder.DataOffset(m_value) + db::kSegmentCount, 2); },
       2 * kSegment, length},
      {"no segments",
       [this] { h.builder.PatchU16(h.builder.DataOffset(m_value) + db::kSegmentCount, 0); },
       0, length},
      {"file ends inside the last segment",
       [this] { h.builder.Truncate(h.builder.SegmentOffsets(m_value)[2] + 100); },
       2 * kSegment + 100, length},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h = BuiltHive();
    Build(length);
    c.damage();
    h.OpenAnyway();
    EXPECT_EQ(Data(), WithZerosFrom(m_data, c.zerosFrom, c.zerosTo));
  }
}

TEST_F(BigData, SegmentCountPastTheListCutByTheEndOfTheFile) {
  Build(2 * kSegment);
  // A "db" at the end of the file whose list holds one entry of the three it claims.
  std::vector<uint8_t> record(db::kRecordSize + 4, 0);
  const uint32_t at = h.builder.AppendCell(record);
  hive::StoreU32(&record[0], db::kDbSignature | (3u << 16));
  hive::StoreU32(&record[db::kSegmentList], HiveBuilder::CellOf(at + db::kRecordSize));
  hive::StoreU32(&record[db::kRecordSize], HiveBuilder::CellOf(h.builder.SegmentOffsets(m_value)[0]));
  h.builder.PatchBytes(at, record);
  h.builder.Truncate(at + db::kRecordSize + 4);
  h.PatchData(m_value, 3 * kSegment, HiveBuilder::CellOf(at));
  h.OpenAnyway();
  std::vector<uint8_t> expected(3 * kSegment, 0);
  std::copy_n(m_data.begin(), kSegment, expected.begin());
  EXPECT_EQ(Data(), expected);
}

TEST_F(BigData, TextEndsWhereTheSegmentsStopSupplying) {
  Build(2 * kSegment, 1);
  h.builder.PatchU32(SegmentEntry(0), 0x7FFFFF00);
  h.OpenAnyway();
  hive::ValueRecord value = Fetch();
  EXPECT_EQ(hive::GetValueText(h.Hive(), value), "");
  std::vector<uint8_t> bytes;
  EXPECT_EQ(hive::GatherValueData(hive::ReadPositionBytes(h.Hive()), h.Hive(), value,
                                  hive::DataCut::kText, bytes).size(), 1u);
}

// A list naming one segment 65,535 times: the segments supply no more bytes
// than the file holds, the rest reads as zeros.
TEST_F(BigData, OneSegmentNamedOverAndOverSuppliesAtMostTheFileSize) {
  Build(kSegment + 1);
  std::vector<uint8_t> list(4 * 0xFFFF);
  for (size_t i = 0; i < 0xFFFF; ++i) {
    hive::StoreU32(&list[4 * i], HiveBuilder::CellOf(h.builder.SegmentOffsets(m_value)[0]));
  }
  const uint32_t listAt = h.builder.AppendCell(list);
  const uint32_t dbAt = h.builder.DataOffset(m_value);
  h.builder.PatchU16(dbAt + db::kSegmentCount, 0xFFFF);
  h.builder.PatchU32(dbAt + db::kSegmentList, HiveBuilder::CellOf(listAt));
  for (const uint32_t length : {hive::kMaxValueDataBytes, 0x7FFFFFFFu}) {
    SCOPED_TRACE(length);
    h.PatchData(m_value, length, HiveBuilder::CellOf(dbAt));
    h.OpenAnyway();
    const std::vector<uint8_t> data = Data();
    const auto fileSize = static_cast<size_t>(h.Hive().Size());
    const auto supplied = static_cast<size_t>(std::count_if(data.begin(), data.end(), [](uint8_t b) { return b != 0; }));
    EXPECT_LE(supplied, fileSize);
    EXPECT_GT(supplied, fileSize - kSegment);
    // Above the cap only the bytes supplied without a gap are taken.
    EXPECT_EQ(data.size(), length == hive::kMaxValueDataBytes ? length : supplied);
  }
}

TEST_F(BigData, LengthAboveTheCapTakesWhatTheSegmentsSupply) {
  Build(2 * kSegment);
  h.PatchData(m_value, hive::kMaxValueDataBytes + 1, HiveBuilder::CellOf(h.builder.DataOffset(m_value)));
  h.builder.PatchU16(h.builder.DataOffset(m_value) + db::kSegmentCount, 2);
  h.OpenAnyway();
  EXPECT_EQ(Data(), m_data);
}

}  // namespace
