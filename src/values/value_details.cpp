#include "values/value_details.h"

#include <cinttypes>
#include <cstdio>

#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive/text.h"
#include "values/listed_values.h"
#include "values/value_types.h"

namespace values {
namespace {

constexpr const char* kTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

// The listed values of the key at keyRecordOffset, as VisitListedValues.
template <typename Visit>
void VisitRows(hive::HiveFile& hive, uint32_t keyRecordOffset, Visit visit) {
  hive::KeyNode key;
  hive::ReadKeyNode(hive, keyRecordOffset, key);
  VisitListedValues(hive, key, visit);
}

}  // namespace

std::string RegistryTypeName(uint32_t type) {
  if (type < std::size(kTypeNames)) return kTypeNames[type];
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIu32 " (0x%" PRIX32 ")", type, type);
  return text;
}

DataForm DataFormOf(uint32_t type) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegLink:
      return DataForm::kText;
    case kRegMultiSz:
      return DataForm::kStrings;
    case kRegDword:
    case kRegDwordBigEndian:
    case kRegQword:
      return DataForm::kNumber;
    default:
      return DataForm::kBytes;
  }
}

std::vector<std::string> SplitMultiString(std::span<const uint8_t> data) {
  std::vector<std::string> strings;
  const size_t units = data.size() / 2;
  size_t start = 0;
  while (start < units) {
    size_t end = start;
    while (end < units && (data[2 * end] | data[2 * end + 1]) != 0) ++end;
    if (end == start) break;  // the empty string ends the list
    std::string& text = strings.emplace_back();
    hive::AppendUtf16Le(text, data.data() + 2 * start, 2 * (end - start));
    start = end + 1;
  }
  return strings;
}

std::optional<std::string> NumberText(uint32_t type, std::span<const uint8_t> data) {
  uint64_t number = 0;
  int digits = 8;
  if (type == kRegDword && data.size() >= 4) {
    number = hive::LoadU32(data.data());
  } else if (type == kRegDwordBigEndian && data.size() >= 4) {
    number = (uint64_t{data[0]} << 24) | (uint64_t{data[1]} << 16) | (uint64_t{data[2]} << 8) | data[3];
  } else if (type == kRegQword && data.size() >= 8) {
    number = uint64_t{hive::LoadU32(data.data())} | (uint64_t{hive::LoadU32(data.data() + 4)} << 32);
    digits = 16;
  } else {
    return std::nullopt;
  }
  char text[48];
  std::snprintf(text, sizeof text, "0x%0*" PRIX64 " (%" PRIu64 ")", digits, number, number);
  return text;
}

std::string HexPairs(std::span<const uint8_t> data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 3);
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) text += ' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return text;
}

std::string DataAsText(uint32_t type, std::span<const uint8_t> data) {
  switch (DataFormOf(type)) {
    case DataForm::kText: {
      std::string text;
      hive::AppendUtf16Le(text, data.data(), data.size());
      return text;
    }
    case DataForm::kStrings: {
      std::string text;
      for (const std::string& item : SplitMultiString(data)) {
        if (!text.empty()) text += '\n';
        text += item;
      }
      return text;
    }
    case DataForm::kNumber:
      if (auto number = NumberText(type, data)) return *number;
      break;
    case DataForm::kBytes:
      break;
  }
  return HexPairs(data);
}

std::optional<RowValue> ValueOfRow(hive::HiveFile& hive, uint32_t keyRecordOffset, int32_t row) {
  std::optional<RowValue> found;
  if (row < 0) return found;
  VisitRows(hive, keyRecordOffset, [&](int32_t at, int32_t index, uint32_t type, hive::ValueRecord& value) {
    if (at != row) return false;
    found = RowValue{index, type, value};
    return true;
  });
  return found;
}

int32_t RowOfValue(hive::HiveFile& hive, uint32_t keyRecordOffset, int32_t valueIndex) {
  int32_t found = -1;
  VisitRows(hive, keyRecordOffset, [&](int32_t at, int32_t index, uint32_t, hive::ValueRecord&) {
    if (index < valueIndex) return false;
    if (index == valueIndex) found = at;
    return true;
  });
  return found;
}

}  // namespace values
