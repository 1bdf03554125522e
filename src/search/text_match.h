#pragma once
// TextMatcher: tells whether a text contains (or equals) the searched text,
// case folded or not; and Utf16Strings, which feeds the strings of UTF-16LE
// value data to a TextMatcher in pieces of bounded size.
//
// Both keep their buffers from one text to the next: after construction,
// matching allocates nothing. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace search {

class TextMatcher {
 public:
  // Names are at most this many bytes of UTF-8 (INT16_MAX stored bytes, at
  // most 2 UTF-8 bytes for each); a longer text is matched all the same,
  // with one allocation.
  static constexpr size_t kMaxNameBytes = 2 * 32768;

  // text is UTF-8; bytes that are not well-formed UTF-8 stand for U+FFFD.
  TextMatcher(std::string_view text, bool matchCase, bool whole);

  // True when the searched text is empty: it matches nothing.
  bool Empty() const { return m_needle.empty(); }

  // True when text (UTF-8) contains the searched text, or, whole, equals it.
  bool Matches(std::string_view text);

  // One text given in consecutive pieces: BeginText, Feed for each piece (which
  // returns true as soon as the text is known to match), EndText (true when it matched).
  void BeginText();
  bool Feed(std::string_view piece);
  bool EndText();

 private:
  void Fold(std::string_view text);  // into m_folded, after what it holds

  std::string m_needle;  // folded unless m_matchCase
  bool m_matchCase;
  bool m_whole;
  std::string m_folded;     // the text being compared: earlier pieces, then the latest
  size_t m_searchFrom = 0;  // where a match not yet ruled out may begin in m_folded
  size_t m_wholeSoFar = 0;  // whole: bytes of the needle matched by the pieces so far
  bool m_failed = false;    // whole: a piece did not match
  bool m_matched = false;
};

class Utf16Strings {
 public:
  // Data is decoded this many bytes at a time at most, so that the decoded
  // pieces stay small (at most half again as long). Data is read in place;
  // only the few bytes that straddle two pieces are copied.
  static constexpr size_t kStageBytes = 8192;

  explicit Utf16Strings(TextMatcher& matcher);

  // Begins the data of one value. list: the data is a list of strings, each
  // ended by a NUL code unit, and ends at the first empty one (MultiString);
  // otherwise it holds one string, ended by the first NUL (String).
  void Begin(bool list);
  // The next bytes of the data. Returns true when the value is settled (a
  // string matched, or its strings ended): the rest need not be fed.
  bool Feed(std::span<const uint8_t> bytes);
  // The end of the data; true when a string matched. Then Begin again.
  bool End();

 private:
  // Decodes the strings of size bytes at bytes and returns how many bytes it
  // took: when final, all of them, else all but a trailing high surrogate and
  // odd byte, which wait for the next bytes.
  size_t Process(const uint8_t* bytes, size_t size, bool final);
  void EndString();

  TextMatcher& m_matcher;
  uint8_t m_stage[kStageBytes];
  size_t m_staged = 0;
  std::string m_text;  // one decoded piece
  bool m_list = false;
  bool m_settled = false;
  bool m_matched = false;
  size_t m_stringUnits = 0;  // units of the current string so far
};

}  // namespace search
