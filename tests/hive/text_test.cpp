// Text decoding: Latin-1 and UTF-16LE to UTF-8, with the runs of ASCII that
// are copied whole and the characters around and between them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hive/text.h"

namespace {

std::vector<uint8_t> Units(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

struct Latin1Case {
  std::string bytes;
  std::string utf8;
};

TEST(Latin1, RunsZeroBytesAndHighBytes) {
  const Latin1Case cases[] = {
      {"", ""},
      {"Software", "Software"},
      {std::string(300, 'k'), std::string(300, 'k')},
      {std::string("Run\0x", 5), "Run"},
      {std::string("\0abc", 4), ""},
      {"\xE4" "b", "\xC3\xA4" "b"},
      {"ab\x7F" "c", "ab\x7F" "c"},
      {"ab\x80", "ab\xC2\x80"},
      {std::string("x\xFF\0zz", 5), "x\xC3\xBF"},
  };
  for (const Latin1Case& c : cases) {
    std::string out = "<";
    hive::AppendLatin1(out, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(out.substr(1), c.utf8) << "bytes of length " << c.bytes.size();
  }
}

struct Utf16Case {
  const char* what;
  std::u16string text;
  std::string utf8;
};

TEST(Utf16Le, RunsAcrossChunksAndTheCharactersAfterThem) {
  const std::string a256(256, 'a');
  const Utf16Case cases[] = {
      {"empty", u"", ""},
      {"one run", u"Hello", "Hello"},
      {"run of exactly one chunk, then a 2-byte character", std::u16string(256, u'a') + u"\u00E9",
       a256 + "\xC3\xA9"},
      {"run one short of a chunk, then a 2-byte character", std::u16string(255, u'a') + u"\u00E9",
       std::string(255, 'a') + "\xC3\xA9"},
      {"run past a chunk ending at a NUL", std::u16string(257, u'a') + u'\0' + u"zz",
       std::string(257, 'a')},
      {"runs of several chunks to the end", std::u16string(600, u'b'), std::string(600, 'b')},
      {"NUL first", std::u16string(1, u'\0') + u"abc", ""},
      {"DEL is ASCII, U+0080 is not", u"\u007F\u0080", "\x7F\xC2\x80"},
      {"3-byte character between runs", u"ab\u20ACcd", "ab\xE2\x82\xAC" "cd"},
      {"surrogate pair after a run", u"ab\U0001F600", "ab\xF0\x9F\x98\x80"},
      {"lone high surrogate at the end", std::u16string(u"ab") + char16_t{0xD83D},
       "ab\xEF\xBF\xBD"},
      {"lone low surrogate before a run", std::u16string(1, char16_t{0xDE00}) + u"ab",
       "\xEF\xBF\xBD" "ab"},
  };
  for (const Utf16Case& c : cases) {
    const std::vector<uint8_t> bytes = Units(c.text);
    std::string out = "<";
    hive::AppendUtf16Le(out, bytes.data(), bytes.size());
    EXPECT_EQ(out.substr(1), c.utf8) << c.what;
  }
}

TEST(Utf16Le, TrailingOddByteIsIgnored) {
  std::vector<uint8_t> bytes = Units(std::u16string(256, u'a'));
  bytes.push_back('z');
  std::string out;
  hive::AppendUtf16Le(out, bytes.data(), bytes.size());
  EXPECT_EQ(out, std::string(256, 'a'));
}

TEST(Decimal, PaddedToTheWidthNeverCut) {
  const struct {
    uint64_t value;
    size_t width;
    const char* text;
  } cases[] = {{0, 0, "0"},       {0, 4, "0000"},     {7, 2, "07"},       {59, 2, "59"},
               {1601, 4, "1601"}, {60056, 4, "60056"}, {9999999, 7, "9999999"},
               {UINT64_MAX, 4, "18446744073709551615"}};
  for (const auto& c : cases) {
    std::string out = "<";
    hive::AppendDecimal(out, c.value, c.width);
    EXPECT_EQ(out, std::string("<") + c.text) << c.value << " in " << c.width;
  }
}

}  // namespace
