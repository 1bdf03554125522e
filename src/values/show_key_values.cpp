#include "values/show_key_values.h"

#include <string>
#include <vector>

#include "hive/key_node.h"
#include "hive/value.h"
#include "values/listed_values.h"
#include "values/value_row.h"

namespace values {
namespace {

// In a sound hive every value of a key has a list entry, a record and a data
// cell of its own, so one key's rows take at most about twice the file's size
// (two hex digits per data byte). A crafted list that names one large record
// thousands of times would make them take gigabytes; past this the listing ends.
uint64_t ListingBudget(const hive::HiveFile& hive) {
  return 4 * static_cast<uint64_t>(hive.Size()) + kListingSlack;
}

}  // namespace

void ShowKeyValues(hive::HiveFile& hive, const tree::KeyIndex& index,
                   const KeySelection& selection, ValueTable& table) {
  const int32_t position = selection.SelectedItemPosition();
  if (position < 0) return;
  const auto recordOffset = index.Find(position);
  if (!recordOffset) return;

  hive::KeyNode key;
  hive::ReadKeyNode(hive, *recordOffset, key);
  table.RemoveAllRows();

  std::string row;
  std::vector<uint8_t> scratch;
  const uint64_t budget = ListingBudget(hive);
  uint64_t listed = 0;
  VisitListedValues(hive, key, [&](int32_t, int32_t, uint32_t type, hive::ValueRecord& value) {
    if (listed + LeastRowBytes(value, type) > budget) return true;  // not even made
    FormatValueRowInto(hive, value, type, row, scratch);
    listed += row.size();
    if (listed > budget) return true;
    table.AddRow(row);
    return false;
  });
}

}  // namespace values
