#include "deleted/scan_deleted.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "deleted/free_space_scan.h"
#include "deleted/reference_map.h"
#include "hive/format.h"
#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive/value.h"
#include "tree/key_path.h"

namespace deleted {
namespace {

constexpr std::string_view kBrokenChain = "?";

// The place of the record at recordOffset among records sorted by offset, or
// kUnknown.
template <typename Record>
int32_t FindRecord(const std::vector<Record>& records, uint32_t recordOffset) {
  const auto found = std::lower_bound(records.begin(), records.end(), recordOffset,
                                      [](const Record& r, uint32_t offset) { return r.recordOffset < offset; });
  if (found == records.end() || found->recordOffset != recordOffset) return kUnknown;
  return static_cast<int32_t>(found - records.begin());
}

// A value's data may have been overwritten when its cell is live again.
void NoteOverwrittenData(const ReferenceMap& map, DeletedRecords& records) {
  for (DeletedValue& value : records.values) {
    const uint32_t length = value.storedLength & ~hive::value_record::kInlineData;
    if (length <= hive::value_record::kInlineCapacity) continue;
    const uint64_t cell = uint64_t{value.dataOffset} + hive::kHeaderAreaSize;
    value.dataMayBeOverwritten = cell <= std::numeric_limits<uint32_t>::max() && map.IsMarked(static_cast<uint32_t>(cell));
  }
}

// Ties each key whose parent offset names a live key node to that key's
// first item: one pass over the index, sifted through a bit filter of 16 bits
// per key sought.
void TieToLiveParents(const tree::KeyIndex& index, const ReferenceMap& map, DeletedRecords& records) {
  std::vector<std::pair<uint32_t, int32_t>> wanted;  // parent record offset, key
  for (size_t k = 0; k < records.keys.size(); ++k) {
    const uint32_t parent = hive::RecordOffsetOf(records.keys[k].parentOffset);
    if (map.IsMarked(parent)) wanted.emplace_back(parent, static_cast<int32_t>(k));
  }
  if (wanted.empty()) return;
  std::sort(wanted.begin(), wanted.end());
  const uint32_t filterBits = std::bit_ceil(std::max<uint32_t>(1u << 16, 16 * static_cast<uint32_t>(wanted.size())));
  const auto filterBit = [&](uint32_t offset) { return (offset >> 3) & (filterBits - 1); };
  std::vector<bool> filter(filterBits, false);
  for (const auto& [parent, key] : wanted) filter[filterBit(parent)] = true;
  for (int32_t place = 0; place < index.Size(); ++place) {
    const tree::KeyIndexElement& element = index.At(place);
    if (!filter[filterBit(element.recordOffset)]) continue;
    auto it = std::lower_bound(wanted.begin(), wanted.end(), std::make_pair(element.recordOffset, int32_t{0}));
    for (; it != wanted.end() && it->first == element.recordOffset; ++it) {
      DeletedKey& key = records.keys[static_cast<size_t>(it->second)];
      if (key.liveParentItem == kUnknown) key.liveParentItem = element.itemPosition;
    }
  }
}

void TieToDeletedParents(DeletedRecords& records) {
  for (size_t k = 0; k < records.keys.size(); ++k) {
    DeletedKey& key = records.keys[k];
    if (key.liveParentItem != kUnknown) continue;
    const int32_t parent = FindRecord(records.keys, hive::RecordOffsetOf(key.parentOffset));
    if (parent != static_cast<int32_t>(k)) key.deletedParent = parent;
  }
}

// Cuts the tie that closes each cycle among deleted parents, so that every
// chain of parents ends.
void BreakParentCycles(DeletedRecords& records) {
  std::vector<int32_t> walkOf(records.keys.size(), kUnknown);
  for (size_t start = 0; start < records.keys.size(); ++start) {
    int32_t at = static_cast<int32_t>(start);
    int32_t last = kUnknown;
    while (at != kUnknown && walkOf[static_cast<size_t>(at)] == kUnknown) {
      walkOf[static_cast<size_t>(at)] = static_cast<int32_t>(start);
      last = at;
      at = records.keys[static_cast<size_t>(at)].deletedParent;
    }
    if (at != kUnknown && walkOf[static_cast<size_t>(at)] == static_cast<int32_t>(start)) {
      records.keys[static_cast<size_t>(last)].deletedParent = kUnknown;
    }
  }
}

// A deleted key's values are those its own value list names, read where it
// lies; then a live key's list entries past its count claim what is left.
void TieValues(const hive::HiveFile& hive, const std::vector<SlackEntry>& slack, DeletedRecords& records) {
  for (size_t k = 0; k < records.keys.size(); ++k) {
    hive::KeyNode node;
    hive::ValueList list;
    if (!hive::ReadKeyNodeInPlace(hive, records.keys[k].recordOffset, node)) continue;
    const int32_t count = hive::ValueListOf(node, list);
    for (int32_t i = 0; i < count; ++i) {
      const uint8_t* entry = hive.BytesAt(hive::ValueEntryOffset(list, i), 4);
      if (entry == nullptr) break;
      const int32_t value = FindRecord(records.values, hive::RecordOffsetOf(hive::LoadU32(entry)));
      if (value == kUnknown) continue;
      DeletedValue& claimed = records.values[static_cast<size_t>(value)];
      if (claimed.deletedKey == kUnknown) claimed.deletedKey = static_cast<int32_t>(k);
    }
  }
  for (const SlackEntry& entry : slack) {
    const int32_t value = FindRecord(records.values, entry.valueRecord);
    if (value == kUnknown) continue;
    DeletedValue& claimed = records.values[static_cast<size_t>(value)];
    if (claimed.deletedKey == kUnknown && claimed.liveKeyItem == kUnknown) claimed.liveKeyItem = entry.keyItem;
  }
}

// The names below the root down to a live item; the root alone is its own name.
void AppendLivePathNames(const tree::KeyTree& keys, int32_t item, bool rootNamed,
                         std::vector<std::string_view>& names) {
  const size_t first = names.size();
  for (int32_t at = item; at != tree::KeyTree::kNone; at = keys.Parent(at)) {
    if (keys.Parent(at) == tree::KeyTree::kNone && (!rootNamed || at != item)) break;
    names.push_back(tree::KeyNameOf(keys, at));
  }
  std::reverse(names.begin() + static_cast<std::ptrdiff_t>(first), names.end());
}

std::string JoinPath(const std::vector<std::string_view>& names) {
  std::string path;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i != 0) path += '\\';
    path += names[i];
  }
  return path;
}

}  // namespace

DeletedRecords ScanDeletedRecords(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                  const tree::KeyIndex& index, const std::atomic<bool>* stop) {
  (void)keys;  // the ties name KeyTree positions, which the index gives
  DeletedRecords records;
  const auto imageSize = static_cast<uint32_t>(std::min<int64_t>(hive.Size(), int64_t{INT32_MAX} + 1));
  const uint8_t* image = hive.BytesAt(0, imageSize);
  if (image == nullptr) return records;
  ReferenceMap map(imageSize);
  std::vector<SlackEntry> slack;
  MarkLiveCells(hive, index, map, slack, stop);
  if (stop != nullptr && stop->load()) return records;
  ScanFreeSpace(hive, image, map, records, stop);
  NoteOverwrittenData(map, records);
  TieToLiveParents(index, map, records);
  TieToDeletedParents(records);
  BreakParentCycles(records);
  TieValues(hive, slack, records);
  return records;
}

std::vector<std::string_view> DeletedKeyPathNames(const tree::KeyTree& keys, const DeletedRecords& records,
                                                  size_t key) {
  std::vector<std::string_view> names;
  if (key >= records.keys.size()) return names;
  int32_t at = static_cast<int32_t>(key);
  int32_t top = at;
  for (; at != kUnknown; at = records.keys[static_cast<size_t>(at)].deletedParent) {
    names.push_back(records.keys[static_cast<size_t>(at)].name);
    top = at;
  }
  const int32_t live = records.keys[static_cast<size_t>(top)].liveParentItem;
  if (live == kUnknown || live >= keys.Size()) names.push_back(kBrokenChain);
  std::reverse(names.begin(), names.end());
  if (live == kUnknown || live >= keys.Size()) return names;
  std::vector<std::string_view> path;
  AppendLivePathNames(keys, live, false, path);
  path.insert(path.end(), names.begin(), names.end());
  return path;
}

std::string DeletedKeyPath(const tree::KeyTree& keys, const DeletedRecords& records, size_t key) {
  return JoinPath(DeletedKeyPathNames(keys, records, key));
}

std::vector<std::string_view> DeletedValueKeyPathNames(const tree::KeyTree& keys, const DeletedRecords& records,
                                                       size_t value) {
  std::vector<std::string_view> names;
  if (value >= records.values.size()) return names;
  const DeletedValue& record = records.values[value];
  if (record.deletedKey != kUnknown) return DeletedKeyPathNames(keys, records, static_cast<size_t>(record.deletedKey));
  if (record.liveKeyItem != kUnknown && record.liveKeyItem < keys.Size()) {
    AppendLivePathNames(keys, record.liveKeyItem, true, names);
  } else {
    names.push_back(kBrokenChain);
  }
  return names;
}

std::string DeletedValueKeyPath(const tree::KeyTree& keys, const DeletedRecords& records, size_t value) {
  return JoinPath(DeletedValueKeyPathNames(keys, records, value));
}

}  // namespace deleted
