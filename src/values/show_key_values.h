#pragma once
// ShowKeyValues: fills the ValueTable with the values of the key selected in
// the KeyTree. The two controls are reached through the small interfaces
// below, which the application implements over its widgets (and tests over
// plain containers).

#include <cstdint>
#include <string_view>

#include "hive/hive_file.h"
#include "tree/key_index.h"

namespace values {

// The KeyTree as ShowKeyValues sees it.
class KeySelection {
 public:
  virtual ~KeySelection() = default;
  // The item position of the selected item, or -1 when no item is selected.
  virtual int32_t SelectedItemPosition() const = 0;
};

// The ValueTable as ShowKeyValues sees it.
class ValueTable {
 public:
  virtual ~ValueTable() = default;
  virtual void RemoveAllRows() = 0;
  // Adds a row at the end. rowText is cut at every line feed: the pieces fill
  // the columns "Value", "Type", "Length" and "Content" in order; a piece
  // beyond the fourth is not shown. The text is only valid during the call.
  virtual void AddRow(std::string_view rowText) = 0;
};

// Bytes of row text a listing may take beyond 4 x the file's size.
inline constexpr uint64_t kListingSlack = 64 * 1024;

// Lists the values of the selected key: reads its key node again from the
// hive, empties the table and adds one row per value in value list order
// (see FormatValueRow).
//  - No selection (a negative position), or a position without a KeyIndex
//    element: nothing happens, and the table keeps its rows.
//  - A key without values: the table is emptied and stays empty.
//  - A value list entry the file does not hold ends the listing; a value whose
//    record the file does not hold gets no row. Nothing else is skipped.
//  - The rows of one listing take at most 4 x the file's size + kListingSlack
//    bytes of text: a row that would go past that ends the listing (only a
//    crafted or broken file gets there; a sound key's rows take at most about
//    twice the file's size).
// Nothing is cached: calling it again for the same key lists the same rows again.
void ShowKeyValues(hive::HiveFile& hive, const tree::KeyIndex& index,
                   const KeySelection& selection, ValueTable& table);

}  // namespace values
