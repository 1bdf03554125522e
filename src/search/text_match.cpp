#include "search/text_match.h"

#include <algorithm>
#include <cstring>

#include "hive/little_endian.h"
#include "hive/text.h"
#include "search/case_folding.h"

namespace search {

TextMatcher::TextMatcher(std::string_view text, bool matchCase, bool whole)
    : m_matchCase(matchCase), m_whole(whole) {
  if (matchCase) {
    AppendWellFormed(text, m_needle);
  } else {
    AppendFolded(text, m_needle);
  }
  m_folded.reserve(m_needle.size() + kMaxFoldGrowth * kMaxNameBytes);
}

void TextMatcher::Fold(std::string_view text) {
  if (m_matchCase) {
    m_folded.append(text);
  } else {
    AppendFolded(text, m_folded);
  }
}

bool TextMatcher::Matches(std::string_view text) {
  if (m_needle.empty()) return false;
  if (m_matchCase) {
    // The text needs no copy: compared as it stands.
    return m_whole ? text == m_needle : text.find(m_needle) != std::string_view::npos;
  }
  m_folded.clear();
  Fold(text);
  return m_whole ? m_folded == m_needle : m_folded.find(m_needle) != std::string::npos;
}

void TextMatcher::BeginText() {
  m_folded.clear();
  m_searchFrom = 0;
  m_wholeSoFar = 0;
  m_failed = false;
  m_matched = false;
}

bool TextMatcher::Feed(std::string_view piece) {
  if (m_needle.empty() || m_failed || m_matched) return m_matched;
  if (m_whole) {
    m_folded.clear();
    Fold(piece);
    const std::string_view rest = std::string_view(m_needle).substr(m_wholeSoFar);
    if (m_folded.size() > rest.size() || rest.compare(0, m_folded.size(), m_folded) != 0) {
      m_failed = true;
    } else {
      m_wholeSoFar += m_folded.size();
    }
    return false;
  }
  // Earlier pieces stay in front, so a match may begin in one piece and end
  // in a later one; they are dropped, all but a needle's length, once they
  // take more room than a piece.
  if (m_folded.size() > Utf16Strings::kStageBytes) {
    const size_t keep = std::min(m_folded.size(), m_needle.size() - 1);
    m_folded.erase(0, m_folded.size() - keep);
    m_searchFrom = 0;
  }
  Fold(piece);
  if (m_folded.find(m_needle, m_searchFrom) != std::string::npos) {
    m_matched = true;
    return true;
  }
  m_searchFrom = m_folded.size() - std::min(m_folded.size(), m_needle.size() - 1);
  return false;
}

bool TextMatcher::EndText() {
  if (m_whole) return !m_needle.empty() && !m_failed && m_wholeSoFar == m_needle.size();
  return m_matched;
}

Utf16Strings::Utf16Strings(TextMatcher& matcher) : m_matcher(matcher) {
  m_text.reserve(kStageBytes * 3 / 2);
}

void Utf16Strings::Begin(bool list) {
  m_list = list;
  m_staged = 0;
  m_settled = false;
  m_matched = false;
  m_stringUnits = 0;
  m_matcher.BeginText();
}

bool Utf16Strings::Feed(std::span<const uint8_t> bytes) {
  while (!bytes.empty() && !m_settled) {
    if (m_staged != 0) {
      // The bytes left over from the last piece go first, with as many more
      // as the stage holds.
      const size_t take = std::min(bytes.size(), kStageBytes - m_staged);
      std::memcpy(m_stage + m_staged, bytes.data(), take);
      m_staged += take;
      bytes = bytes.subspan(take);
      const size_t used = Process(m_stage, m_staged, false);
      m_staged -= used;
      std::memmove(m_stage, m_stage + used, m_staged);
      continue;
    }
    const size_t size = std::min(bytes.size(), kStageBytes);
    const size_t used = Process(bytes.data(), size, false);
    if (m_settled) break;
    std::memcpy(m_stage, bytes.data() + used, size - used);
    m_staged = size - used;
    bytes = bytes.subspan(size);
  }
  return m_settled;
}

bool Utf16Strings::End() {
  if (!m_settled) {
    Process(m_stage, m_staged, true);
    m_staged = 0;
    if (!m_settled) EndString();
  }
  return m_matched;
}

void Utf16Strings::EndString() {
  if (m_matcher.EndText()) {
    m_matched = true;
    m_settled = true;
  } else if (!m_list || m_stringUnits == 0) {
    m_settled = true;  // a String's first string, or the empty string that ends a list
  }
  m_stringUnits = 0;
  m_matcher.BeginText();
}

size_t Utf16Strings::Process(const uint8_t* bytes, size_t size, bool final) {
  size_t units = size / 2;
  // A pair of surrogates may be split between two pieces: the high one waits.
  if (!final && units != 0 && (hive::LoadU16(bytes + 2 * (units - 1)) & 0xFC00) == 0xD800) --units;
  size_t at = 0;
  while (!m_settled) {
    m_text.clear();
    const size_t decoded = hive::AppendUtf16Le(m_text, bytes + 2 * at, 2 * (units - at));
    m_stringUnits += decoded;
    if (!m_text.empty() && m_matcher.Feed(m_text)) {
      m_matched = true;
      m_settled = true;
      break;
    }
    at += decoded;
    if (at == units) break;  // the string goes on in the next bytes
    EndString();             // at a NUL
    ++at;
  }
  return final ? size : 2 * units;
}

}  // namespace search
