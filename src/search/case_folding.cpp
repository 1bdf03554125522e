#include "search/case_folding.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// Code points below U+0800 (one or two UTF-8 bytes) fold through a table of
// their own, filled from the folding table.
constexpr size_t kDirectFolds = 0x800;
constexpr std::array<uint16_t, kDirectFolds> kDirectFolded = [] {
  std::array<uint16_t, kDirectFolds> table{};
  for (size_t c = 0; c < table.size(); ++c) table[c] = static_cast<uint16_t>(c);
  for (const Folding& f : kFoldings) {
    if (f.from < kDirectFolds) table[f.from] = static_cast<uint16_t>(f.to);
  }
  return table;
}();

// Eight ASCII bytes folded at once: 0x20 is added to each byte from 'A' to
// 'Z'. Each byte is below 0x80, so no sum carries into the next byte.
uint64_t FoldAscii8(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  const uint64_t atLeastA = word + kOnes * (0x80 - 'A');
  const uint64_t aboveZ = word + kOnes * (0x80 - 'Z' - 1);
  const uint64_t upper = atLeastA & ~aboveZ & (kOnes * 0x80);
  return word | (upper >> 2);
}

constexpr uint64_t kHighBits = 0x8080808080808080u;

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
    // ASCII, by far the most common, a run at a time, eight bytes at a time.
    const uint8_t* run = p;
    uint64_t word;
    while (end - run >= 8 && (std::memcpy(&word, run, 8), (word & kHighBits) == 0)) run += 8;
    while (run != end && *run < 0x80) ++run;
    if (run != p) {
      const size_t start = out.size();
      const auto count = static_cast<size_t>(run - p);
      out.resize(start + count);
      char* o = out.data() + start;
      if (!kFold) {
        std::memcpy(o, p, count);
        p = run;
      } else {
        for (; run - p >= 8; p += 8, o += 8) {
          std::memcpy(&word, p, 8);
          word = FoldAscii8(word);
          std::memcpy(o, &word, 8);
        }
        for (; p != run; ++p) *o++ = kAsciiFolded[*p];
      }
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
  if (codePoint < kDirectFolds) return kDirectFolded[codePoint];
  const auto* end = std::end(kFoldings);
  const auto* found = std::lower_bound(std::begin(kFoldings), end, codePoint,
                                       [](const Folding& f, uint32_t c) { return f.from < c; });
  return found != end && found->from == codePoint ? found->to : codePoint;
}

void AppendFolded(std::string_view text, std::string& out) { Transform<true>(text, out); }

void AppendWellFormed(std::string_view text, std::string& out) { Transform<false>(text, out); }

}  // namespace search
