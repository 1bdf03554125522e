#include "values/value_row.h"

#include <array>
#include <charconv>
#include <cstring>

#include "hive/little_endian.h"

namespace values {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(uint32_t number, int digits, std::string& out) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    out += kHexDigits[(number >> shift) & 0xF];
  }
}

template <typename Number>
void AppendDecimal(Number number, std::string& out) {
  std::array<char, 16> digits;
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), number);
  out.append(digits.data(), result.ptr);
}

// "0x0000002A (42\t)": the number in hexadecimal, then as a signed decimal.
void AppendDword(uint32_t number, std::string& out) {
  out += "0x";
  AppendHex(number, 8, out);
  out += " (";
  AppendDecimal(static_cast<int32_t>(number), out);
  out += "\t)";
}

}  // namespace

void AppendTypeLabel(uint32_t type, std::string& out) {
  switch (static_cast<ValueType>(type)) {
    case ValueType::kString:
      out += "String";
      return;
    case ValueType::kExpandString:
      out += "ExpandString";
      return;
    case ValueType::kBinary:
      out += "Binary";
      return;
    case ValueType::kDword:
      out += "DWord";
      return;
    case ValueType::kMultiString:
      out += "MultiString";
      return;
  }
  out += "Unknown(0x";
  AppendHex(type, 4, out);
  out += ')';
}

// The two hexadecimal digits of every byte value, side by side.
constexpr std::array<char, 512> kHexPairs = [] {
  std::array<char, 512> pairs{};
  for (size_t byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = kHexDigits[byte >> 4];
    pairs[2 * byte + 1] = kHexDigits[byte & 0xF];
  }
  return pairs;
}();

void AppendHexDump(const uint8_t* data, size_t count, std::string& out) {
  if (count == 0) return;
  const size_t start = out.size();
  out.resize(start + 1 + 2 * count);
  char* p = out.data() + start;
  *p++ = '$';
  for (size_t i = 0; i < count; ++i, p += 2) std::memcpy(p, &kHexPairs[2 * size_t{data[i]}], 2);
}

void FormatValueRowInto(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type,
                        std::string& row, std::vector<uint8_t>& scratch) {
  row.clear();
  hive::AppendValueName(hive, value, row);
  row += '\n';
  AppendTypeLabel(type, row);
  row += '\n';
  AppendDecimal(hive::GetValueDataLength(hive, value), row);
  row += '\n';
  switch (static_cast<ValueType>(type)) {
    case ValueType::kString:
    case ValueType::kExpandString:
      hive::AppendValueText(hive, value, row, scratch);
      return;
    case ValueType::kDword:
      AppendDword(hive::GetValueDword(hive, value), row);
      return;
    case ValueType::kMultiString:
      return;
    case ValueType::kBinary:
      break;
  }
  const auto data = hive::TakeValueData(hive, value, scratch);
  AppendHexDump(data.data(), data.size(), row);
}

uint64_t LeastRowBytes(const hive::ValueRecord& value, uint32_t type) {
  switch (static_cast<ValueType>(type)) {
    case ValueType::kString:
    case ValueType::kExpandString:
    case ValueType::kDword:
    case ValueType::kMultiString:
      return 0;
    case ValueType::kBinary:
      break;
  }
  const uint32_t length = hive::LoadU32(&value.bytes[hive::value_record::kDataLength]) &
                          ~hive::value_record::kInlineData;
  if (length == 0 || length > hive::kMaxValueDataBytes) return 0;
  return 1 + 2 * uint64_t{length};
}

std::string FormatValueRow(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type) {
  std::string row;
  std::vector<uint8_t> scratch;
  FormatValueRowInto(hive, value, type, row, scratch);
  return row;
}

}  // namespace values
