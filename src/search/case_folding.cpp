#include "search/case_folding.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "hive/text.h"

namespace search {
namespace {

struct Folding {
  uint32_t from;
  uint32_t to;
};

constexpr Folding kFoldings[] = {
#include "search/case_folding_table.inc"
};

constexpr bool IsSorted() {
  for (size_t i = 1; i < std::size(kFoldings); ++i) {
    if (kFoldings[i - 1].from >= kFoldings[i].from) return false;
  }
  return true;
}
static_assert(IsSorted(), "the folding table is searched by halving");

// Bytes below 0x80 fold through this table alone.
constexpr std::array<char, 128> kAsciiFolded = [] {
  std::array<char, 128> table{};
  for (size_t c = 0; c < table.size(); ++c) {
    table[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
  return table;
}();

// The length of the well-formed UTF-8 sequence at p, or 0.
size_t SequenceLength(const uint8_t* p, const uint8_t* end) {
  const uint8_t lead = *p;
  size_t length = 0;
  uint8_t low = 0x80;  // the range of the second byte
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

constexpr uint32_t kReplacement = 0xFFFD;

template <bool kFold>
void Transform(std::string_view text, std::string& out) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* const end = p + text.size();
  while (p != end) {
    // ASCII, by far the most common, a run at a time.
    const uint8_t* run = p;
    while (run != end && *run < 0x80) ++run;
    if (run != p) {
      const size_t start = out.size();
      out.resize(start + static_cast<size_t>(run - p));
      char* o = out.data() + start;
      for (; p != run; ++p) *o++ = kFold ? kAsciiFolded[*p] : static_cast<char>(*p);
      if (p == end) return;
    }
    const size_t length = SequenceLength(p, end);
    if (length == 0) {
      hive::AppendCodePoint(out, kReplacement);
      ++p;
      continue;
    }
    if (!kFold) {
      out.append(reinterpret_cast<const char*>(p), length);
      p += length;
      continue;
    }
    uint32_t c = *p & (0xFFu >> (length + 1));
    for (size_t i = 1; i < length; ++i) c = (c << 6) | (p[i] & 0x3Fu);
    hive::AppendCodePoint(out, FoldCodePoint(c));
    p += length;
  }
}

}  // namespace

uint32_t FoldCodePoint(uint32_t codePoint) {
  if (codePoint < kAsciiFolded.size()) return static_cast<uint8_t>(kAsciiFolded[codePoint]);
  const auto* end = std::end(kFoldings);
  const auto* found = std::lower_bound(std::begin(kFoldings), end, codePoint,
                                       [](const Folding& f, uint32_t c) { return f.from < c; });
  return found != end && found->from == codePoint ? found->to : codePoint;
}

void AppendFolded(std::string_view text, std::string& out) { Transform<true>(text, out); }

void AppendWellFormed(std::string_view text, std::string& out) { Transform<false>(text, out); }

}  // namespace search
