#pragma once
// The values of one key as the key writers take them: read in place, in the
// order the ValueTable lists them (values/listed_values.h), each with its
// name and all of its data bytes (hive/value_data.h).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "hive/value_data.h"
#include "tree/key_index.h"
#include "values/listed_values.h"

namespace exporting {

struct ExportedValue {
  bool isDefault = false;
  const std::string* name = nullptr;  // UTF-8; empty for the default value
  uint32_t type = 0;
  std::span<const uint8_t> data;
};

// The key node of tree position item, read in place; none when the index has
// no record for it or the map does not hold the record.
inline std::optional<hive::KeyNode> ExportedKeyNode(const hive::HiveFile& hive, const tree::KeyIndex& index,
                                                    int32_t item) {
  const std::optional<uint32_t> offset = index.Find(item);
  hive::KeyNode key;
  if (!offset || !hive::ReadKeyNodeInPlace(hive, *offset, key)) return std::nullopt;
  return key;
}

// The data bytes one export may take: a sound hive's values hold their data
// in cells of their own, so all of it fits in the file. Lists that name one
// large value many times, or lengths far beyond what the file holds, would
// make an export of a small file grow without end; past twice the file's
// size and 1 MiB the export ends instead (ExportOutcome::kTooLarge).
struct DataBudget {
  explicit DataBudget(const hive::HiveFile& hive) : left(2 * static_cast<uint64_t>(hive.Size()) + (1u << 20)) {}
  uint64_t left;
  bool exceeded = false;
};

// Reuses name and data for every value, so one pair serves a whole export.
// take returns false to end the listing (its output failed). Ends the
// listing, with budget.exceeded set, at a value whose data the budget does
// not cover.
template <typename Take>
void ForEachExportedValue(const hive::HiveFile& hive, const hive::KeyNode& key, std::string& name,
                          std::vector<uint8_t>& data, DataBudget& budget, Take take) {
  const hive::InPlaceBytes bytes(hive);
  values::VisitListedValuesInPlace(hive, key, [&](int32_t, int32_t, uint32_t type, const hive::ValueRecord& record) {
    ExportedValue value;
    value.isDefault = hive::IsDefaultValue(record);
    name.clear();
    if (!value.isDefault) hive::AppendValueNameInPlace(hive, record, name);
    value.name = &name;
    value.type = type;
    const uint32_t length = hive::GatheredDataLength(bytes, hive, record, hive::DataCut::kWhole);
    if (length > budget.left) {
      budget.exceeded = true;
      return true;
    }
    budget.left -= length;
    value.data = hive::GatherValueData(bytes, hive, record, hive::DataCut::kWhole, data);
    return !take(value);
  });
}

}  // namespace exporting
