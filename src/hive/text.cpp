#include "hive/text.h"

#include "hive/little_endian.h"

namespace hive {
namespace {

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

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void AppendLatin1(std::string& out, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count && bytes[i] != 0; ++i) AppendCodePoint(out, bytes[i]);
}

void AppendUtf16Le(std::string& out, const uint8_t* bytes, size_t byteCount) {
  const size_t units = byteCount / 2;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = LoadU16(bytes + 2 * i);
    if (unit == 0) return;
    if (IsHighSurrogate(unit) && i + 1 < units) {
      const uint32_t next = LoadU16(bytes + 2 * (i + 1));
      if (IsLowSurrogate(next)) {
        AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendCodePoint(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
  }
}

}  // namespace hive
