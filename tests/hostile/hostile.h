#pragma once
// What the hostile-hive tests share: a builder image opened from a temporary
// file, walked into a key tree, and every key's values listed into a table
// that counts what it was given.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hive/hive_file.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"

namespace hostile {

// Keeps the rows of the current listing and counts everything it was given.
struct RowTable final : values::KeySelection, values::ValueTable {
  int32_t selected = -1;
  std::vector<std::string> rows;
  uint64_t rowCount = 0;
  uint64_t rowBytes = 0;        // over every listing
  uint64_t listingBytes = 0;    // the current listing's rows

  int32_t SelectedItemPosition() const override { return selected; }
  void RemoveAllRows() override {
    rows.clear();
    listingBytes = 0;
  }
  void AddRow(std::string_view text) override {
    rows.emplace_back(text);
    ++rowCount;
    rowBytes += text.size();
    listingBytes += text.size();
  }
};

// A hive read the way the program reads one: open, walk, list a key's values.
struct ReadHive {
  std::unique_ptr<testsupport::TempHive> file;
  std::string reason;  // before hive, which the constructor opens with it
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  tree::BuildOutcome outcome = tree::BuildOutcome::kNoRoot;
  RowTable table;

  explicit ReadHive(const std::vector<uint8_t>& bytes)
      : file(std::make_unique<testsupport::TempHive>(bytes)), hive(file->Open(&reason)) {
    if (hive) outcome = tree::BuildKeyTree(keys, index, *hive, signals);
  }

  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (int32_t i = 0; i < keys.Size(); ++i) labels.emplace_back(keys.Label(i));
    return labels;
  }

  // Lists the values of the key at item position; returns the rows.
  const std::vector<std::string>& List(int32_t position) {
    table.selected = position;
    values::ShowKeyValues(*hive, index, table, table);
    return table.rows;
  }

  // Lists every key's values, as a user clicking through the whole tree would.
  void ListEveryKey() {
    for (int32_t place = 0; place < index.Size(); ++place) List(index.At(place).itemPosition);
  }

  uint64_t FileSize() const { return static_cast<uint64_t>(hive->Size()); }
};

}  // namespace hostile
