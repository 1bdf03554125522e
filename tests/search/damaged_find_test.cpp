// Find on damaged hives: lengths, counts and offsets that reach past the end of
// the file. Find reads in place; the reference below reads the same records
// through the read position, whose reads never pass the end of the file. Both
// must find the same matches (under the sanitizers too, which catch a read
// outside what was read).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "find_fixture.h"
#include "hive/format.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "search/case_folding.h"

namespace {

using findtests::Options;
using findtests::Sz;
using search::FindMatch;
using testsupport::HiveBuilder;

bool Contains(const std::string& text, const std::string& needle) {
  std::string folded;
  std::string foldedNeedle;
  search::AppendFolded(text, folded);
  search::AppendFolded(needle, foldedNeedle);
  return folded.find(foldedNeedle) != std::string::npos;
}

// Every match of needle in key names, value names and String data, found
// through the read position as the tree and the value table read them.
std::vector<FindMatch> ReferenceMatches(findtests::SearchedHive& h, const std::string& needle) {
  std::vector<FindMatch> matches;
  hive::HiveFile& file = *h.hive;
  for (int32_t item = 0; item < h.keys.Size(); ++item) {
    hive::KeyNode key;
    hive::ReadKeyNode(file, *h.index.Find(item), key);
    if (Contains(hive::GetKeyName(file, key), needle)) matches.push_back({item, FindMatch::kKeyItself});
    hive::ValueList list;
    if (hive::GetValueList(file, key, list) <= 0) continue;
    for (int32_t i = 0; i < list.count; ++i) {
      hive::ValueRecord value;
      hive::ValueFetch fetch = hive::ValueFetch::kFetched;
      const uint32_t type = hive::GetValue(file, list, i, value, &fetch);
      if (fetch == hive::ValueFetch::kEntryNotHeld) break;
      if (fetch != hive::ValueFetch::kFetched) continue;
      const bool name = !hive::IsDefaultValue(value) && Contains(hive::GetValueName(file, value), needle);
      const bool data = (type == 1 || type == 2) && Contains(hive::GetValueText(file, value), needle);
      if (name || data) matches.push_back({item, i});
    }
  }
  return matches;
}

struct Damage {
  const char* what;
  std::function<void(HiveBuilder&, HiveBuilder::KeyId, HiveBuilder::ValueId, HiveBuilder::ValueId)> apply;
};

void PatchLength(HiveBuilder& b, HiveBuilder::ValueId v, uint32_t length) {
  b.PatchU32(b.ValueOffset(v) + hive::value_record::kDataLength, length);
}
void PatchDataCell(HiveBuilder& b, HiveBuilder::ValueId v, uint32_t recordOffset) {
  b.PatchU32(b.ValueOffset(v) + hive::value_record::kDataOffset, HiveBuilder::CellOf(recordOffset));
}

// A data cell at the end of the file whose text the end of the file cuts short,
// at an even or an odd byte: just before, or in the middle of, the unit "Q".
void TextCutByTheEnd(HiveBuilder& b, HiveBuilder::ValueId v, uint32_t cut) {
  const std::vector<uint8_t> text = Sz(std::u16string(1000, u'o') + u"Q" + std::u16string(1999, u'o'));
  const uint32_t record = b.AppendCell(text);
  PatchDataCell(b, v, record);
  PatchLength(b, v, static_cast<uint32_t>(text.size()));
  b.Truncate(record + cut);
}

class DamagedFind : public testing::TestWithParam<Damage> {};

TEST_P(DamagedFind, FindsWhatTheReadPositionReadsAndNoMore) {
  findtests::SearchedHive h;
  const auto key = h.builder.AddKey(h.builder.Root(), "Key");
  const auto first = h.builder.AddValue(key, "Greeting", 1, Sz(u"hello world"));
  const auto second = h.builder.AddValue(key, "Second", 2, Sz(u"another text"));
  h.builder.AddKey(key, "Child");
  h.builder.Build();
  GetParam().apply(h.builder, key, first, second);
  h.Open();
  ASSERT_GE(h.keys.Size(), 2);
  for (const std::string needle : {"o", "hello", " ", "oq", "\xEF\xBF\xBD", "\x01"}) {
    EXPECT_EQ(h.All(Options(needle)), ReferenceMatches(h, needle)) << GetParam().what << " / " << needle;
  }
}

const Damage kDamages[] = {
    {"a stored data length of 2^31 - 16", [](auto& b, auto, auto v, auto) { PatchLength(b, v, 0x7FFFFFF0); }},
    {"a data length past the end", [](auto& b, auto, auto v, auto) {
       PatchLength(b, v, static_cast<uint32_t>(b.Bytes().size()));
     }},
    {"a data offset past the end", [](auto& b, auto, auto v, auto) { PatchDataCell(b, v, 0x7FFFFF00); }},
    {"a data offset at 2^31", [](auto& b, auto, auto v, auto) { PatchDataCell(b, v, 0x80000010); }},
    {"text cut at an even byte", [](auto& b, auto, auto v, auto) { TextCutByTheEnd(b, v, 2000); }},
    {"text cut at an odd byte", [](auto& b, auto, auto v, auto) { TextCutByTheEnd(b, v, 2001); }},
    {"a value count of 2^31 - 1", [](auto& b, auto k, auto, auto) {
       b.PatchU32(b.KeyOffset(k) + hive::key_node::kValueCount, 0x7FFFFFFF);
     }},
    {"a list entry past the end", [](auto& b, auto k, auto, auto) {
       b.PatchU32(b.ValueListOffset(k) + 4, 0x7FFFFF00);
     }},
    {"a key name of 32767 bytes", [](auto& b, auto k, auto, auto) {
       b.PatchU16(b.KeyOffset(k) + hive::key_node::kNameLength, 0x7FFF);
     }},
    {"a UTF-16 key name of 32767 bytes", [](auto& b, auto k, auto, auto) {
       b.PatchU16(b.KeyOffset(k) + hive::key_node::kNameLength, 0x7FFF);
       b.PatchU16(b.KeyOffset(k) + hive::key_node::kFlags, 0);
     }},
    {"a value name of 32767 bytes", [](auto& b, auto, auto, auto v) {
       b.PatchU16(b.ValueOffset(v) + hive::value_record::kNameLength, 0x7FFF);
     }},
    {"a negative value name length", [](auto& b, auto, auto v, auto) {
       b.PatchU16(b.ValueOffset(v) + hive::value_record::kNameLength, 0x8001);
     }},
    {"a file cut inside the value list", [](auto& b, auto k, auto, auto) {
       b.Truncate(b.ValueListOffset(k) + 6);
     }},
};

INSTANTIATE_TEST_SUITE_P(Damages, DamagedFind, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& param) {
                           return "Damage" + std::to_string(param.index);
                         });

}  // namespace
