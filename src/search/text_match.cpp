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
  Fold(piece);
  if (m_folded.find(m_needle) != std::string::npos) {
    m_matched = true;
    return true;
  }
  // A match may begin in this piece and end in the next one: keep the tail
  // that could be its beginning.
  const size_t keep = std::min(m_folded.size(), m_needle.size() - 1);
  m_folded.erase(0, m_folded.size() - keep);
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
    const size_t take = std::min(bytes.size(), kStageBytes - m_staged);
    std::memcpy(m_stage + m_staged, bytes.data(), take);
    m_staged += take;
    bytes = bytes.subspan(take);
    if (m_staged == kStageBytes) Process(false);
  }
  return m_settled;
}

bool Utf16Strings::End() {
  if (!m_settled) {
    Process(true);
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

void Utf16Strings::Process(bool final) {
  const size_t units = m_staged / 2;
  size_t at = 0;
  while (!m_settled) {
    size_t end = at;
    while (end < units && hive::LoadU16(m_stage + 2 * end) != 0) ++end;
    size_t decodeEnd = end;
    // A pair of surrogates may be split between two pieces: the high one waits.
    if (end == units && !final && end > at &&
        (hive::LoadU16(m_stage + 2 * (end - 1)) & 0xFC00) == 0xD800) {
      --decodeEnd;
    }
    if (decodeEnd > at) {
      m_text.clear();
      hive::AppendUtf16Le(m_text, m_stage + 2 * at, 2 * (decodeEnd - at));
      m_stringUnits += decodeEnd - at;
      if (m_matcher.Feed(m_text)) {
        m_matched = true;
        m_settled = true;
        return;
      }
    }
    if (end == units) {
      // The string goes on in the next piece: keep what was not decoded.
      const size_t keptFrom = 2 * decodeEnd;
      m_staged -= keptFrom;
      std::memmove(m_stage, m_stage + keptFrom, m_staged);
      if (final) m_staged = 0;  // an odd last byte is no code unit
      return;
    }
    EndString();
    at = end + 1;
  }
}

}  // namespace search
