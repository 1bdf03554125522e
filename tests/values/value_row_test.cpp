// Row texts: the four columns by value type, built from builder hives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "built_hive.h"
#include "values/value_row.h"

namespace {

using valuetests::BuiltHive;
using valuetests::Bytes;
using valuetests::Utf16;
using namespace std::literals;

struct RowCase {
  const char* what;
  std::string name;
  uint32_t type;
  std::vector<uint8_t> data;
  std::string row;
};

class ValueRowTest : public testing::TestWithParam<RowCase> {};

TEST_P(ValueRowTest, FormatsTheFourColumns) {
  const RowCase& c = GetParam();
  BuiltHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "K");
  if (c.name == "{default}") {
    h.builder.AddDefaultValue(key, c.type, c.data);
  } else {
    h.builder.AddValue(key, c.name, c.type, c.data);
  }
  h.Open();
  uint32_t type = 0;
  hive::ValueRecord value = h.Fetch(key, 0, &type);
  EXPECT_EQ(values::FormatValueRow(h.Hive(), value, type), c.row);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ValueRowTest,
    testing::Values(
        RowCase{"String", "Greeting", 1, Bytes({0x48, 0, 0x69, 0, 0, 0}), "Greeting\nString\n6\nHi"},
        RowCase{"StringInline", "s", 1, Utf16(u"Ok"), "s\nString\n4\nOk"},
        RowCase{"StringOddLength", "s", 1, Bytes({0x41, 0, 0x42, 0, 0x43}), "s\nString\n5\nAB"},
        RowCase{"StringNonLatin", "s", 1, Utf16(u"Envoyer \u00e0 \u4e2d"),
                "s\nString\n22\nEnvoyer \u00e0 \u4e2d"},
        RowCase{"ExpandString", "Path", 2, Utf16(u"%SystemRoot%\0"sv),
                "Path\nExpandString\n26\n%SystemRoot%"},
        RowCase{"StringEmpty", "e", 1, {}, "e\nString\n0\n"},
        RowCase{"DWord", "d", 4, Bytes({0x2A, 0, 0, 0}), "d\nDWord\n4\n0x0000002A (42\t)"},
        RowCase{"DWordMinusOne", "d", 4, Bytes({0xFF, 0xFF, 0xFF, 0xFF}),
                "d\nDWord\n4\n0xFFFFFFFF (-1\t)"},
        RowCase{"DWordMinimum", "d", 4, Bytes({0, 0, 0, 0x80}),
                "d\nDWord\n4\n0x80000000 (-2147483648\t)"},
        RowCase{"DWordShortTakesTheWholeField", "d", 4, Bytes({0x2A, 1}),
                "d\nDWord\n2\n0x0000012A (298\t)"},
        RowCase{"DWordFromCellTakesFirstFour", "d", 4, Bytes({1, 2, 3, 4, 5, 6, 7, 8}),
                "d\nDWord\n8\n0x04030201 (67305985\t)"},
        RowCase{"Binary", "b", 3, Bytes({0x00, 0x0A, 0x7F, 0x80, 0xFF}), "b\nBinary\n5\n$000A7F80FF"},
        RowCase{"BinaryEmpty", "b", 3, {}, "b\nBinary\n0\n"},
        RowCase{"BinaryInlineOne", "b", 3, Bytes({0xFF}), "b\nBinary\n1\n$FF"},
        RowCase{"BinaryInlineFour", "b", 3, Bytes({1, 0xAB, 0, 0x10}), "b\nBinary\n4\n$01AB0010"},
        RowCase{"MultiString", "m", 7, Utf16(u"a\0b\0\0"sv), "m\nMultiString\n10\n"},
        RowCase{"UnknownZero", "u", 0, Bytes({1, 2, 3, 4, 5, 6}), "u\nUnknown(0x0000)\n6\n$010203040506"},
        RowCase{"UnknownEleven", "u", 11, Bytes({0x10, 0x20}), "u\nUnknown(0x000B)\n2\n$1020"},
        RowCase{"UnknownKeepsLastFourDigits", "u", 0x10000, {}, "u\nUnknown(0x0000)\n0\n"},
        RowCase{"UnknownElevenAgain", "u", 0x1000B, Bytes({0xFE}), "u\nUnknown(0x000B)\n1\n$FE"},
        RowCase{"UnknownHighType", "u", 0xFFFFABCD, Bytes({0}), "u\nUnknown(0xABCD)\n1\n$00"},
        RowCase{"UnknownFive", "u", 5, Bytes({1, 2, 3, 4}), "u\nUnknown(0x0005)\n4\n$01020304"},
        RowCase{"DefaultName", "{default}", 1, Utf16(u"x"), "{default}\nString\n2\nx"},
        RowCase{"Latin1Name", "\xE9t\xE9", 4, Bytes({0, 0, 0, 0}), "\u00e9t\u00e9\nDWord\n4\n0x00000000 (0\t)"},
        RowCase{"LineFeedInNameMovesColumns", "a\nb", 1, Utf16(u"x"), "a\nb\nString\n2\nx"},
        RowCase{"LineFeedInText", "t", 1, Utf16(u"1\n2"), "t\nString\n6\n1\n2"}),
    [](const testing::TestParamInfo<RowCase>& param) { return std::string(param.param.what); });

TEST(ValueRowHuge, LengthColumnKeepsTheStatedLength) {
  BuiltHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "K");
  const auto text = h.builder.AddValue(key, "t", 1, Bytes({1, 2, 3, 4, 5, 6}));
  const auto binary = h.builder.AddValue(key, "b", 3, Bytes({1, 2, 3, 4, 5, 6}));
  const auto dword = h.builder.AddValue(key, "d", 4, Bytes({1, 2, 3, 4, 5, 6}));
  h.builder.Build();
  const uint32_t record = h.builder.AppendCell(Utf16(u"Hi"));
  h.builder.Truncate(record + 4);
  for (const auto id : {text, binary, dword}) h.PatchData(id, 0xFFFFFFFF, testsupport::HiveBuilder::CellOf(record));
  h.Open();
  const char* rows[] = {"t\nString\n2147483647\nHi", "b\nBinary\n2147483647\n$48006900",
                        "d\nDWord\n2147483647\n0x00690048 (6881352\t)"};
  for (int32_t i = 0; i < 3; ++i) {
    uint32_t type = 0;
    hive::ValueRecord value = h.Fetch(key, i, &type);
    EXPECT_EQ(values::FormatValueRow(h.Hive(), value, type), rows[i]);
  }
}

TEST(ValueRowLabels, EveryTypeNumberGetsALabel) {
  const std::pair<uint32_t, const char*> labels[] = {
      {1, "String"},       {2, "ExpandString"},       {3, "Binary"},
      {4, "DWord"},        {7, "MultiString"},        {6, "Unknown(0x0006)"},
      {8, "Unknown(0x0008)"}, {0xABCDEF, "Unknown(0xCDEF)"}, {0x10001, "Unknown(0x0001)"}};
  for (const auto& [type, label] : labels) {
    std::string out;
    values::AppendTypeLabel(type, out);
    EXPECT_EQ(out, label) << type;
  }
}

}  // namespace
