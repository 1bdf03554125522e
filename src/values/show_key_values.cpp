#include "values/show_key_values.h"

#include <string>
#include <vector>

#include "hive/key_node.h"
#include "hive/value.h"
#include "values/value_row.h"

namespace values {

void ShowKeyValues(hive::HiveFile& hive, const tree::KeyIndex& index,
                   const KeySelection& selection, ValueTable& table) {
  const int32_t position = selection.SelectedItemPosition();
  if (position < 0) return;
  const auto recordOffset = index.Find(position);
  if (!recordOffset) return;

  hive::KeyNode key;
  hive::ReadKeyNode(hive, *recordOffset, key);
  table.RemoveAllRows();

  hive::ValueList list;
  if (hive::GetValueList(hive, key, list) == 0) return;

  hive::ValueRecord value;
  std::string row;
  std::vector<uint8_t> scratch;
  const int32_t count = hive::GetValueCount(key);
  for (int32_t i = 0; i < count; ++i) {
    hive::ValueFetch fetch = hive::ValueFetch::kFetched;
    const uint32_t type = hive::GetValue(hive, list, i, value, &fetch);
    if (fetch == hive::ValueFetch::kEntryNotHeld) break;
    if (fetch != hive::ValueFetch::kFetched) continue;
    FormatValueRowInto(hive, value, type, row, scratch);
    table.AddRow(row);
  }
}

}  // namespace values
