#include "hive/text.h"

#include <cstring>

#include "hive/little_endian.h"

namespace hive {

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// True when every byte is 1 to 0x7F. Tests 8 bytes at a time: a zero byte or
// one with its top bit set sets a top bit in the mask.
bool IsAsciiWithoutZero(const uint8_t* bytes, size_t count) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if ((((word - kOnes) & ~word) | word) & kHighs) return false;
  }
  for (; i < count; ++i) {
    if (static_cast<uint8_t>(bytes[i] - 1) >= 0x7F) return false;
  }
  return true;
}

// True when the four UTF-16LE units at bytes are all 1 to 0x7F: every high
// byte is zero and no low byte is zero or has its top bit set.
bool IsAsciiUnits4(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  constexpr uint64_t kOnes = 0x0001000100010001u;
  constexpr uint64_t kTop = 0x8000800080008000u;
  constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80u;
  return (word & kNotAscii) == 0 && ((word - kOnes) & ~word & kTop) == 0;
}

}  // namespace

void AppendDecimal(std::string& out, uint64_t value, size_t width) {
  char digits[20];  // UINT64_MAX has 20
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (width > count) out.append(width - count, '0');
  while (count > 0) out += digits[--count];
}

void AppendLatin1(std::string& out, const uint8_t* bytes, size_t count) {
  // Most names are plain ASCII without a zero byte: one test over all of
  // them, then one append.
  if (IsAsciiWithoutZero(bytes, count)) {
    out.append(reinterpret_cast<const char*>(bytes), count);
    return;
  }
  size_t i = 0;
  while (i < count) {
    // Runs of ASCII (1 to 0x7F) are UTF-8 as they stand.
    size_t end = i;
    while (end < count && static_cast<uint8_t>(bytes[end] - 1) < 0x7F) ++end;
    out.append(reinterpret_cast<const char*>(bytes + i), end - i);
    if (end == count || bytes[end] == 0) return;
    AppendCodePoint(out, bytes[end]);
    i = end + 1;
  }
}

size_t AppendUtf16Le(std::string& out, const uint8_t* bytes, size_t byteCount) {
  const size_t units = byteCount / 2;
  size_t i = 0;
  while (i < units) {
    // A run of ASCII units (1 to 0x7F) becomes one byte each, a chunk at a time.
    char chunk[256];
    size_t n = 0;
    while (i + 4 <= units && n + 4 <= sizeof chunk && IsAsciiUnits4(bytes + 2 * i)) {
      for (size_t k = 0; k < 4; ++k) chunk[n + k] = static_cast<char>(bytes[2 * (i + k)]);
      n += 4;
      i += 4;
    }
    uint32_t unit = 0;
    while (i < units && n < sizeof chunk && (unit = LoadU16(bytes + 2 * i)) - 1 < 0x7F) {
      chunk[n++] = static_cast<char>(unit);
      ++i;
    }
    out.append(chunk, n);
    if (i == units) return i;
    if (n == sizeof chunk) continue;  // the chunk is full; unit i is not loaded yet
    if (unit == 0) return i;
    if (IsHighSurrogate(unit) && i + 1 < units) {
      const uint32_t next = LoadU16(bytes + 2 * (i + 1));
      if (IsLowSurrogate(next)) {
        AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendCodePoint(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
    ++i;
  }
  return i;
}

}  // namespace hive
