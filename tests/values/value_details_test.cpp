// The forms of Value Details (type names, MultiString strings, numbers, the
// copied text) and the mapping between ValueTable rows and value indexes in
// keys whose value lists are damaged.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "built_hive.h"
#include "values/value_details.h"

namespace {

using valuetests::Bytes;
using valuetests::BuiltHive;
using valuetests::Utf16;

std::vector<uint8_t> Joined(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
const std::vector<uint8_t> kNul{0, 0};

TEST(RegistryTypeName, WindowsNamesThenTheNumber) {
  const std::vector<std::string> names{"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  for (uint32_t type = 0; type < names.size(); ++type) EXPECT_EQ(values::RegistryTypeName(type), names[type]);
  EXPECT_EQ(values::RegistryTypeName(12), "12 (0xC)");
  EXPECT_EQ(values::RegistryTypeName(0x10001), "65537 (0x10001)");
}

TEST(SplitMultiString, StringsUpToTheFirstEmptyOne) {
  const struct {
    const char* what;
    std::vector<uint8_t> data;
    std::vector<std::string> strings;
  } cases[] = {
      {"three", Joined({Utf16(u"a"), kNul, Utf16(u"b\u00e9"), kNul, Utf16(u"last"), kNul, kNul}), {"a", "b\u00e9", "last"}},
      {"no final NULs", Joined({Utf16(u"a"), kNul, Utf16(u"tail")}), {"a", "tail"}},
      {"an empty string ends the list", Joined({Utf16(u"a"), kNul, kNul, Utf16(u"hidden"), kNul}), {"a"}},
      {"odd byte", Joined({Utf16(u"ab"), Bytes({0x41})}), {"ab"}},
      {"empty", {}, {}},
      {"only NULs", Joined({kNul, kNul}), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(values::SplitMultiString(c.data), c.strings) << c.what;
}

TEST(NumberText, HexadecimalAndUnsignedDecimal) {
  EXPECT_EQ(values::NumberText(4, Bytes({0x2A, 0, 0, 0})), "0x0000002A (42)");
  EXPECT_EQ(values::NumberText(4, Bytes({0xFF, 0xFF, 0xFF, 0xFF})), "0xFFFFFFFF (4294967295)");
  EXPECT_EQ(values::NumberText(5, Bytes({0, 0, 0x01, 0x02})), "0x00000102 (258)");
  EXPECT_EQ(values::NumberText(11, Bytes({0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01})),
            "0x0123456789ABCDEF (81985529216486895)");
  EXPECT_EQ(values::NumberText(4, Bytes({1, 0, 0, 0, 9})), "0x00000001 (1)");  // from the start
  EXPECT_FALSE(values::NumberText(4, Bytes({1, 2, 3})));
  EXPECT_FALSE(values::NumberText(11, Bytes({1, 2, 3, 4})));
  EXPECT_FALSE(values::NumberText(3, Bytes({1, 2, 3, 4})));
}

TEST(DataAsText, EachTypeInItsForm) {
  EXPECT_EQ(values::DataAsText(1, Joined({Utf16(u"C:\\x"), kNul, Utf16(u"junk")})), "C:\\x");
  EXPECT_EQ(values::DataAsText(6, Utf16(u"\\Registry")), "\\Registry");
  EXPECT_EQ(values::DataAsText(7, Joined({Utf16(u"a"), kNul, Utf16(u"b"), kNul, kNul})), "a\nb");
  EXPECT_EQ(values::DataAsText(4, Bytes({0x60, 0, 0, 0})), "0x00000060 (96)");
  EXPECT_EQ(values::DataAsText(4, Bytes({0x60, 0})), "60 00");  // too short for a number
  EXPECT_EQ(values::DataAsText(3, Bytes({0x00, 0x0A, 0xFF})), "00 0A FF");
  EXPECT_EQ(values::DataAsText(0x1234, {}), "");
}

// Values 0 to 4 of one key, with value 1's record and value 3's entry broken as a test asks.
class RowsTest : public ::testing::Test {
 protected:
  RowsTest() {
    m_key = m_hive.builder.AddKey(m_hive.builder.Root(), "K");
    for (const char* name : {"v0", "v1", "v2", "v3", "v4"}) {
      m_values.push_back(m_hive.builder.AddValue(m_key, name, 1, Utf16(u"x")));
    }
    m_hive.builder.Build();
  }
  void BreakRecord(int value) { m_hive.builder.PatchU32(Entry(value), 0x7FFF0000); }
  void BreakEntry(int value) {
    // The value count reaches past a list that ends at the file's end.
    const uint32_t size = static_cast<uint32_t>(m_hive.builder.Bytes().size());
    m_hive.builder.PatchU32(m_hive.builder.KeyOffset(m_key) + hive::key_node::kValueList,
                            testsupport::HiveBuilder::CellOf(size - 4u * static_cast<uint32_t>(value)));
  }
  uint32_t Entry(int value) const {
    return m_hive.builder.ValueListOffset(m_key) + 4u * static_cast<uint32_t>(value);
  }
  uint32_t KeyOffset() const { return m_hive.builder.KeyOffset(m_key); }

  BuiltHive m_hive;
  testsupport::HiveBuilder::KeyId m_key = 0;
  std::vector<testsupport::HiveBuilder::ValueId> m_values;
};

TEST_F(RowsTest, SoundKeyRowsAreIndexes) {
  hive::HiveFile& hive = m_hive.Open();
  for (int32_t i = 0; i < 5; ++i) {
    const auto value = values::ValueOfRow(hive, KeyOffset(), i);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->valueIndex, i);
    EXPECT_EQ(value->type, 1u);
    EXPECT_EQ(hive::GetValueName(hive, value->record), "v" + std::to_string(i));
    EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), i), i);
  }
  EXPECT_FALSE(values::ValueOfRow(hive, KeyOffset(), 5));
  EXPECT_FALSE(values::ValueOfRow(hive, KeyOffset(), -1));
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 5), -1);
}

TEST_F(RowsTest, ARecordNotHeldHasNoRow) {
  BreakRecord(1);
  hive::HiveFile& hive = m_hive.Open();
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 1), -1);
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 2), 1);
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 4), 3);
  EXPECT_EQ(values::ValueOfRow(hive, KeyOffset(), 1)->valueIndex, 2);
  EXPECT_EQ(values::ValueOfRow(hive, KeyOffset(), 3)->valueIndex, 4);
  EXPECT_FALSE(values::ValueOfRow(hive, KeyOffset(), 4));
}

TEST_F(RowsTest, AnEntryNotHeldEndsTheRows) {
  // The key's list now starts 8 bytes before the end: entries 0 and 1 are held, 2 is not.
  BreakEntry(2);
  hive::HiveFile& hive = m_hive.Open();
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 2), -1);
  EXPECT_EQ(values::RowOfValue(hive, KeyOffset(), 4), -1);
  EXPECT_FALSE(values::ValueOfRow(hive, KeyOffset(), 2));
}

}  // namespace
