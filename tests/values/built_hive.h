#pragma once
// A builder hive written to a temporary file and opened, plus the few steps
// the value tests share: fetching a value and patching its record fields.

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive/value.h"
#include "hive_builder.h"
#include "recovery/open_anyway.h"
#include "temp_hive.h"

namespace valuetests {

inline std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (const int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

inline std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// Upper-case hex digits of bytes, with no separator.
inline std::string Hex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

class BuiltHive {
 public:
  testsupport::HiveBuilder builder;

  // Writes the builder's image (Build() first if nothing was built) and opens it.
  hive::HiveFile& Open() {
    if (builder.Bytes().empty()) builder.Build();
    m_file = std::make_unique<testsupport::TempHive>(builder.Bytes());
    std::string reason;
    m_hive = m_file->Open(&reason);
    EXPECT_TRUE(m_hive) << reason;
    return *m_hive;
  }
  // The same, opened the wider way (newer versions); report receives what it did.
  hive::HiveFile& OpenAnyway(recovery::OpenReport* report = nullptr) {
    if (builder.Bytes().empty()) builder.Build();
    m_file = std::make_unique<testsupport::TempHive>(builder.Bytes());
    std::string reason;
    m_hive = recovery::OpenHiveAnyway(m_file->Path(), &reason, report);
    EXPECT_TRUE(m_hive) << reason;
    return *m_hive;
  }
  hive::HiveFile& Hive() { return *m_hive; }
  const std::string& Path() const { return m_file->Path(); }

  hive::KeyNode ReadKey(testsupport::HiveBuilder::KeyId key) {
    hive::KeyNode node;
    hive::ReadKeyNode(*m_hive, builder.KeyOffset(key), node);
    return node;
  }

  // Fetches value index of key as ShowKeyValues does.
  hive::ValueRecord Fetch(testsupport::HiveBuilder::KeyId key, int32_t index,
                          uint32_t* type = nullptr) {
    hive::ValueList list;
    EXPECT_GT(hive::GetValueList(*m_hive, ReadKey(key), list), index);
    hive::ValueRecord value;
    hive::ValueFetch fetch = hive::ValueFetch::kOutOfRange;
    const uint32_t fetched = hive::GetValue(*m_hive, list, index, value, &fetch);
    EXPECT_EQ(fetch, hive::ValueFetch::kFetched);
    if (type != nullptr) *type = fetched;
    return value;
  }

  // Sets a value's stored data length and data offset field (after Build()).
  void PatchData(testsupport::HiveBuilder::ValueId value, uint32_t storedLength,
                 uint32_t dataOffsetField) {
    builder.PatchU32(builder.ValueOffset(value) + hive::value_record::kDataLength, storedLength);
    builder.PatchU32(builder.ValueOffset(value) + hive::value_record::kDataOffset, dataOffsetField);
  }

  // Appends a data cell holding bytes and points the value at it with storedLength.
  uint32_t PointAtNewCell(testsupport::HiveBuilder::ValueId value, uint32_t storedLength,
                          const std::vector<uint8_t>& bytes) {
    const uint32_t record = builder.AppendCell(bytes);
    PatchData(value, storedLength, testsupport::HiveBuilder::CellOf(record));
    return record;
  }

 private:
  std::unique_ptr<testsupport::TempHive> m_file;
  std::unique_ptr<hive::HiveFile> m_hive;
};

}  // namespace valuetests
