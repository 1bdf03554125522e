#pragma once
// The values of a key in the order the ValueTable lists them: every value
// list entry in turn, a value whose record the file does not hold skipped
// (it gets no row), and the walk ended by the first entry the file does not
// hold. ShowKeyValues lists them; Value Details and Find map a value's index
// to its row with the same walk.

#include <cstdint>

#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "hive/value.h"

namespace values {

// Calls visit(row, valueIndex, type, record) for each value that has a row,
// until visit returns true. Reads through the hive's read position.
template <typename Visit>
void VisitListedValues(hive::HiveFile& hive, const hive::KeyNode& key, Visit visit) {
  hive::ValueList list;
  if (hive::GetValueList(hive, key, list) == 0) return;
  hive::ValueRecord value;
  int32_t row = 0;
  const int32_t count = hive::GetValueCount(key);
  for (int32_t i = 0; i < count; ++i) {
    hive::ValueFetch fetch = hive::ValueFetch::kFetched;
    const uint32_t type = hive::GetValue(hive, list, i, value, &fetch);
    if (fetch == hive::ValueFetch::kEntryNotHeld) return;
    if (fetch != hive::ValueFetch::kFetched) continue;
    if (visit(row++, i, type, value)) return;
  }
}

}  // namespace values
