#pragma once
// The values of a key in the order the ValueTable lists them: every value
// list entry in turn, a value whose record the file does not hold skipped
// (it gets no row), and the walk ended by the first entry the file does not
// hold. ShowKeyValues lists them; Value Details and Find map a value's index
// to its row with the same walk.

#include <cstdint>

#include "hive/hive_file.h"
#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/value.h"

namespace values {

// Calls visit(row, valueIndex, type, record) for each value that has a row,
// until visit returns true. fetch(list, index, record, &fetchResult) reads one
// entry and its record, as hive::GetValue does.
template <typename Fetch, typename Visit>
void WalkListedValues(const hive::KeyNode& key, Fetch fetch, Visit visit) {
  hive::ValueList list;
  if (hive::ValueListOf(key, list) == 0) return;
  hive::ValueRecord value;
  int32_t row = 0;
  const int32_t count = hive::GetValueCount(key);
  for (int32_t i = 0; i < count; ++i) {
    hive::ValueFetch result = hive::ValueFetch::kFetched;
    const uint32_t type = fetch(list, i, value, &result);
    if (result == hive::ValueFetch::kEntryNotHeld) return;
    if (result != hive::ValueFetch::kFetched) continue;
    if (visit(row++, i, type, value)) return;
  }
}

// Through the hive's read position.
template <typename Visit>
void VisitListedValues(hive::HiveFile& hive, const hive::KeyNode& key, Visit visit) {
  WalkListedValues(
      key,
      [&hive](const hive::ValueList& list, int32_t i, hive::ValueRecord& value, hive::ValueFetch* result) {
        return hive::GetValue(hive, list, i, value, result);
      },
      visit);
}

// In place from the map (hive/in_place.h), without the read position: safe on
// a worker thread.
template <typename Visit>
void VisitListedValuesInPlace(const hive::HiveFile& hive, const hive::KeyNode& key, Visit visit) {
  WalkListedValues(
      key,
      [&hive](const hive::ValueList& list, int32_t i, hive::ValueRecord& value, hive::ValueFetch* result) {
        return hive::GetValueInPlace(hive, list, i, value, result);
      },
      visit);
}

}  // namespace values
