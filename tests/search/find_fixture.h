#pragma once
// A builder hive opened and walked into a key tree, and the search steps the
// Find tests share.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "built_hive.h"
#include "hive/hive_file.h"
#include "hive_builder.h"
#include "search/find.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace findtests {

using valuetests::Utf16;

// Text data as Windows stores it: UTF-16LE with a NUL at the end.
inline std::vector<uint8_t> Sz(std::u16string_view text) {
  std::vector<uint8_t> out = Utf16(text);
  out.insert(out.end(), {0, 0});
  return out;
}

struct SearchedHive {
  testsupport::HiveBuilder builder;
  std::unique_ptr<testsupport::TempHive> file;
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
  search::FindSignals signals;

  // Writes the image (built first when nothing was) and walks it.
  void Open() {
    if (builder.Bytes().empty()) builder.Build();
    file = std::make_unique<testsupport::TempHive>(builder.Bytes());
    std::string reason;
    hive = file->Open(&reason);
    ASSERT_TRUE(hive) << reason;
    tree::BuildSignals build;
    tree::BuildKeyTree(keys, index, *hive, build);
  }

  std::optional<search::FindMatch> Find(const search::FindOptions& options, search::FindMatch from,
                                        search::Direction direction = search::Direction::kNext) {
    return search::FindNextMatch(*hive, keys, index, options, from, direction, signals);
  }

  // Every match, in the order of the given direction, from before the root
  // until the search comes back to the first one.
  std::vector<search::FindMatch> All(const search::FindOptions& options,
                                     search::Direction direction = search::Direction::kNext) {
    std::vector<search::FindMatch> all;
    search::FindMatch from{0, search::FindMatch::kBeforeKey};
    while (const auto match = Find(options, from, direction)) {
      if (!all.empty() && *match == all.front()) break;
      if (all.size() > 1000) break;  // never: the search comes back to the first match
      all.push_back(*match);
      from = *match;
    }
    return all;
  }
};

inline search::FindOptions Options(std::string text, uint8_t where = 7, bool matchCase = false,
                                   bool whole = false) {
  search::FindOptions options;
  options.text = std::move(text);
  options.where = where;
  options.matchCase = matchCase;
  options.wholeName = whole;
  return options;
}

constexpr uint8_t kKeys = static_cast<uint8_t>(search::Where::kKeyNames);
constexpr uint8_t kNames = static_cast<uint8_t>(search::Where::kValueNames);
constexpr uint8_t kData = static_cast<uint8_t>(search::Where::kValueData);
constexpr int32_t kKey = search::FindMatch::kKeyItself;

}  // namespace findtests
