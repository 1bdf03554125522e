#pragma once
// Find among the deleted items shown: the places it visits and whether one
// matches. The live tree comes first (search::FindNextMatch); the deleted
// items follow it, so that F3 reaches them once the live matches are passed.

#include <cstdint>
#include <optional>
#include <vector>

#include "hive/hive_file.h"
#include "models/deleted_key_items.h"
#include "search/find.h"

namespace ui {

// One place Find visits: a deleted key's own name (value < 0), or a deleted
// value (an index into the records' values) listed with item's rows.
struct DeletedStop {
  int32_t item = 0;
  int32_t value = -1;
  friend bool operator==(const DeletedStop&, const DeletedStop&) = default;
};

// The places in the order Find visits them: each deleted key (in file-offset
// order) and then its values, then the deleted values of live keys, then the
// values without a known key.
std::vector<DeletedStop> DeletedFindOrder(const DeletedKeyItems& items);

// The first place that matches options in direction, from the one at `start`
// on (start included; an index into stops, or one step outside them), up to
// the end (or start) of stops; none when none matches. Reads in place.
std::optional<size_t> FindDeletedStop(const hive::HiveFile& hive, const DeletedKeyItems& items,
                                      const std::vector<DeletedStop>& stops, const search::FindOptions& options,
                                      search::Direction direction, int64_t start);

}  // namespace ui
