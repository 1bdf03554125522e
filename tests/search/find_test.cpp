// Find over built hives: where it looks, case folding, whole names, the order
// of matches in both directions, wrapping, and the stop flag.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "find_fixture.h"
#include "hive/hive_file.h"
#include "search/case_folding.h"

namespace {

using findtests::kData;
using findtests::kKey;
using findtests::kKeys;
using findtests::kNames;
using findtests::Options;
using findtests::Sz;
using findtests::Utf16;
using search::FindMatch;

// ROOT (0) > Alpha (1) > Inner (2); Beta (3). Alpha's values: 0 "alphaName"
// (DWord), 1 "Text" (String "one ALPHA two"), 2 "List" (MultiString whose last
// string holds "alpha"), 3 "Bin" (Binary holding the UTF-16 of "alpha"),
// 4 "Expand" (ExpandString "x\0alpha": text after the NUL is no text).
struct PlacesHive : findtests::SearchedHive {
  PlacesHive() {
    const auto alpha = builder.AddKey(builder.Root(), "Alpha");
    builder.AddValue(alpha, "alphaName", 4, std::vector<uint8_t>{1, 0, 0, 0});
    builder.AddValue(alpha, "Text", 1, Sz(u"one ALPHA two"));
    std::vector<uint8_t> list = Sz(u"first");
    for (const auto& s : {Sz(u"second"), Sz(u"last alpha"), Sz(u"")}) list.insert(list.end(), s.begin(), s.end());
    builder.AddValue(alpha, "List", 7, list);
    builder.AddValue(alpha, "Bin", 3, Utf16(u"alpha"));
    builder.AddValue(alpha, "Expand", 2, Sz(std::u16string_view(u"x\0alpha", 7)));
    builder.AddKey(alpha, "Inner");
    builder.AddKey(builder.Root(), "Beta");
    Open();
  }
};

TEST(Find, LooksOnlyWhereAsked) {
  PlacesHive h;
  struct Case {
    uint8_t where;
    std::vector<FindMatch> matches;
  };
  const std::vector<Case> cases = {
      {kKeys, {{1, kKey}}},
      {kNames, {{1, 0}}},
      {kData, {{1, 1}, {1, 2}}},
      {kKeys | kNames | kData, {{1, kKey}, {1, 0}, {1, 1}, {1, 2}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(h.All(Options("alpha", c.where)), c.matches) << int{c.where};
  }
  EXPECT_TRUE(h.All(Options("alpha", 0)).empty());
  EXPECT_TRUE(h.All(Options("")).empty());
}

TEST(Find, PreviousGivesTheMatchesOfNextInReverseAndBothWrap) {
  PlacesHive h;
  const auto options = Options("a");  // Alpha, its values, Beta
  const std::vector<FindMatch> next = h.All(options);
  ASSERT_GE(next.size(), 4u);
  std::vector<FindMatch> previous = h.All(options, search::Direction::kPrevious);
  std::reverse(previous.begin(), previous.end());
  EXPECT_EQ(previous, next);
  // From the last match on, Next wraps to the first one; Previous from the
  // first one wraps to the last.
  EXPECT_EQ(h.Find(options, next.back()), next.front());
  EXPECT_EQ(h.Find(options, next.front(), search::Direction::kPrevious), next.back());
  // A single match is found again from itself.
  const auto beta = Options("beta", kKeys);
  EXPECT_EQ(h.Find(beta, {3, kKey}), (FindMatch{3, kKey}));
  EXPECT_EQ(h.Find(beta, {3, kKey}, search::Direction::kPrevious), (FindMatch{3, kKey}));
}

TEST(Find, WholeNameOrWholeStringOnly) {
  PlacesHive h;
  EXPECT_EQ(h.All(Options("alpha", kKeys | kNames, false, true)), (std::vector<FindMatch>{{1, kKey}}));
  EXPECT_EQ(h.All(Options("LAST ALPHA", kData, false, true)), (std::vector<FindMatch>{{1, 2}}));
  EXPECT_TRUE(h.All(Options("alph", kKeys, false, true)).empty());
}

TEST(Find, FoldsCaseBeyondAscii) {
  findtests::SearchedHive h;
  const auto latin1 = h.builder.AddKey(h.builder.Root(), "\xC4pfel");  // Äpfel, one byte each
  const auto utf16 = h.builder.AddKeyUtf16(h.builder.Root(), u"\u00E4pfel");  // äpfel
  const auto greek = h.builder.AddKeyUtf16(h.builder.Root(), u"\u0391\u0398\u0397\u039D\u0391");  // ΑΘΗΝΑ
  const auto kelvin = h.builder.AddKeyUtf16(h.builder.Root(), u"\u212A-ring");  // Kelvin sign
  h.builder.AddValueUtf16Name(greek, u"\u039F\u03B4\u03CC\u03C2", 1, Sz(u"\u03A3\u039F\u03A6\u0399\u0391"));
  h.Open();
  const int32_t a = latin1, u = utf16, g = greek, k = kelvin;  // items follow the builder's ids here
  struct Case {
    std::string text;
    bool matchCase;
    std::vector<FindMatch> matches;
  };
  const std::vector<Case> cases = {
      {"\xC3\xA4PFEL", false, {{a, kKey}, {u, kKey}}},       // äPFEL: both encodings of the name
      {"\xC3\x84pfel", true, {{a, kKey}}},                   // Äpfel, case kept
      {"\xCE\xB8\xCE\xB7\xCE\xBD", false, {{g, kKey}}},      // θην
      {"\xCE\xB8\xCE\xB7\xCE\xBD", true, {}},
      {"\xCE\x9F\xCE\x94\xCE\x8C\xCE\xA3", false, {{g, 0}}},  // ΟΔΌΣ matches Οδός (final sigma)
      {"\xCF\x83\xCE\xBF\xCF\x86", false, {{g, 0}}},          // σοφ in the data ΣΟΦΙΑ
      {"k-RING", false, {{k, kKey}}},
  };
  for (const Case& c : cases) EXPECT_EQ(h.All(Options(c.text, 7, c.matchCase)), c.matches) << c.text;
}

TEST(CaseFolding, SimpleFoldingOfOneCodePointEach) {
  const std::vector<std::pair<uint32_t, uint32_t>> cases = {
      {'A', 'a'}, {'z', 'z'}, {0xC4, 0xE4}, {0xDF, 0xDF}, {0x1E9E, 0xDF}, {0x3A3, 0x3C3},
      {0x3C2, 0x3C3}, {0x212A, 'k'}, {0x10400, 0x10428}, {0x4E2D, 0x4E2D}};
  for (const auto& [from, to] : cases) EXPECT_EQ(search::FoldCodePoint(from), to) << from;
  std::string out;
  search::AppendFolded("A\xC3\x84\xFF\xED\xA0\x80z", out);  // a malformed byte and a surrogate
  EXPECT_EQ(out, "a\xC3\xA4\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz");
}

TEST(Find, MatchesAcrossThePiecesOfLongData) {
  // The data is decoded in pieces of 4096 code units: the text searched for
  // straddles the first boundary, and a surrogate pair the second.
  findtests::SearchedHive h;
  std::u16string text(4093, u'x');
  text += u"needle";
  text.append(8192 - text.size() - 1, u'y');
  text += u"\U0001F600";
  const auto key = h.builder.AddKey(h.builder.Root(), "Long");
  h.builder.AddValue(key, "Data", 1, Sz(text));
  h.builder.AddValue(key, "List", 7, Sz(text));
  h.Open();
  EXPECT_EQ(h.All(Options("NEEDLE", kData)), (std::vector<FindMatch>{{1, 0}, {1, 1}}));
  EXPECT_EQ(h.All(Options("y\xF0\x9F\x98\x80", kData)), (std::vector<FindMatch>{{1, 0}, {1, 1}}));
  EXPECT_EQ(h.All(Options("\xEF\xBF\xBD", kData)), std::vector<FindMatch>{});  // no U+FFFD made
}

TEST(Find, StopFlagEndsTheSearchBetweenKeysAndKeysAreCounted) {
  findtests::SearchedHive h;
  for (int i = 0; i < 50; ++i) h.builder.AddKey(h.builder.Root(), "Key" + std::to_string(i));
  h.builder.AddKey(h.builder.Root(), "Target");
  h.Open();
  const auto options = Options("target");
  EXPECT_EQ(h.Find(options, {0, FindMatch::kBeforeKey}), (FindMatch{51, kKey}));
  EXPECT_EQ(h.signals.keysSearched.load(), 52);
  h.signals.stop = true;
  EXPECT_EQ(h.Find(options, {0, FindMatch::kBeforeKey}), std::nullopt);
  EXPECT_EQ(h.signals.keysSearched.load(), 1);  // the first key, then the flag
}

TEST(Find, LeavesTheReadPositionAlone) {
  PlacesHive h;
  hive::SeekHive(*h.hive, 1234);
  EXPECT_FALSE(h.All(Options("a")).empty());
  EXPECT_EQ(hive::HivePosition(*h.hive), 1234);
}

}  // namespace
