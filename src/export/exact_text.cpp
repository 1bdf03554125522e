#include "export/exact_text.h"

#include "hive/little_endian.h"
#include "hive/text.h"

namespace exporting {
namespace {

// True when the code units before the last one hold no NUL and no unpaired
// surrogate.
bool TextUnitsSound(std::span<const uint8_t> data) {
  const size_t units = data.size() / 2 - 1;
  for (size_t i = 0; i < units; ++i) {
    const uint16_t unit = hive::LoadU16(data.data() + 2 * i);
    if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= units) return false;
      const uint16_t low = hive::LoadU16(data.data() + 2 * (i + 1));
      if (low < 0xDC00 || low > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> ExactText(std::span<const uint8_t> data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  if (hive::LoadU16(data.data() + data.size() - 2) != 0 || !TextUnitsSound(data)) return std::nullopt;
  std::string text;
  hive::AppendUtf16Le(text, data.data(), data.size() - 2);
  return text;
}

std::optional<std::vector<std::string>> ExactStrings(std::span<const uint8_t> data) {
  if (data.size() < 2 || data.size() % 2 != 0 || hive::LoadU16(data.data() + data.size() - 2) != 0) {
    return std::nullopt;
  }
  std::vector<std::string> strings;
  size_t start = 0;
  const size_t end = data.size() - 2;  // the list's own NUL
  for (size_t at = 0; at < end; at += 2) {
    if (hive::LoadU16(data.data() + at) != 0) continue;
    if (at == start) return std::nullopt;  // an empty string would end the list
    std::optional<std::string> text = ExactText(data.subspan(start, at + 2 - start));
    if (!text) return std::nullopt;
    strings.push_back(std::move(*text));
    start = at + 2;
  }
  if (start != end) return std::nullopt;  // the last string has no NUL of its own
  return strings;
}

}  // namespace exporting
