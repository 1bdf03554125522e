#include "export/timeline.h"

#include <algorithm>
#include <cstdint>

#include "deleted/scan_deleted.h"
#include "hive/format.h"
#include "hive/in_place.h"
#include "hive/key_details.h"
#include "hive/little_endian.h"
#include "hive/text.h"
#include "tree/key_path.h"

namespace exporting {
namespace {

constexpr int32_t kStopCheckInterval = 4096;

bool StopAsked(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// A live key's entry; a key node the map does not hold reads as all zeros.
TimelineEntry LiveEntry(const hive::HiveFile& hive, const tree::KeyIndex& index, int32_t item) {
  TimelineEntry entry;
  entry.item = item;
  const std::optional<uint32_t> offset = index.Find(item);
  hive::KeyNode key;
  if (offset && hive::ReadKeyNodeInPlace(hive, *offset, key)) {
    entry.lastWritten = hive::LoadU64(key.bytes.data() + hive::key_node::kLastWritten);
    entry.subkeys = static_cast<uint32_t>(hive::GetSubkeyCount(key));
    entry.values = static_cast<uint32_t>(hive::GetValueCount(key));
  }
  return entry;
}

TimelineEntry DeletedEntry(const deleted::DeletedKey& key, int32_t keyIndex) {
  TimelineEntry entry;
  entry.lastWritten = key.lastWritten;
  entry.deletedKey = keyIndex;
  entry.subkeys = key.subkeyCount;
  entry.values = key.valueCount;
  return entry;
}

}  // namespace

std::vector<TimelineEntry> CollectTimeline(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                           const tree::KeyIndex& index,
                                           const deleted::DeletedRecords* deletedRecords,
                                           const std::atomic<bool>* stop) {
  std::vector<TimelineEntry> entries;
  const size_t deletedCount = deletedRecords != nullptr ? deletedRecords->keys.size() : 0;
  entries.reserve(static_cast<size_t>(keys.Size()) + deletedCount);
  constexpr int32_t kPrefetchAhead = 16;  // key nodes lie apart in the file: fetch them early
  for (int32_t item = 0; item < keys.Size(); ++item) {
    if (item % kStopCheckInterval == 0 && StopAsked(stop)) return {};
    if (item + kPrefetchAhead < keys.Size() && index.Size() == keys.Size()) {
      hive.Prefetch(index.At(item + kPrefetchAhead).recordOffset);
    }
    entries.push_back(LiveEntry(hive, index, item));
  }
  for (size_t key = 0; key < deletedCount; ++key) {
    entries.push_back(DeletedEntry(deletedRecords->keys[key], static_cast<int32_t>(key)));
  }
  if (StopAsked(stop)) return {};
  // Equal times keep the order of collection (live keys in pre-order, then
  // the deleted keys), compared outright: a sort in place needs no buffer.
  const auto rank = [](const TimelineEntry& e) { return e.Deleted() ? int64_t{INT32_MAX} + e.deletedKey : e.item; };
  std::sort(entries.begin(), entries.end(), [&rank](const TimelineEntry& a, const TimelineEntry& b) {
    return a.lastWritten != b.lastWritten ? a.lastWritten > b.lastWritten : rank(a) < rank(b);
  });
  if (StopAsked(stop)) return {};
  return entries;
}

void AddArtifactEvents(std::vector<TimelineEntry>& entries, std::span<const ArtifactEvent> events) {
  std::vector<const TimelineEntry*> keyEntry;  // by item: the live key's entry
  for (const TimelineEntry& entry : entries) {
    if (entry.item < 0 || entry.IsEvent()) continue;
    if (static_cast<size_t>(entry.item) >= keyEntry.size()) keyEntry.resize(static_cast<size_t>(entry.item) + 1);
    keyEntry[static_cast<size_t>(entry.item)] = &entry;
  }
  std::vector<TimelineEntry> added;
  added.reserve(events.size());
  for (size_t i = 0; i < events.size(); ++i) {
    TimelineEntry entry;
    entry.lastWritten = events[i].time;
    entry.item = events[i].item;
    entry.event = static_cast<int32_t>(i);
    const size_t item = static_cast<size_t>(entry.item);
    if (entry.item >= 0 && item < keyEntry.size() && keyEntry[item] != nullptr) {
      entry.subkeys = keyEntry[item]->subkeys;
      entry.values = keyEntry[item]->values;
    }
    added.push_back(entry);
  }
  std::sort(added.begin(), added.end(),
            [](const TimelineEntry& a, const TimelineEntry& b) {
              return a.lastWritten != b.lastWritten ? a.lastWritten > b.lastWritten : a.event < b.event;
            });
  const size_t keys = entries.size();
  entries.insert(entries.end(), added.begin(), added.end());
  // Both runs are newest first: merging keeps each run's order at equal times, keys first.
  std::inplace_merge(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(keys), entries.end(),
                     [](const TimelineEntry& a, const TimelineEntry& b) { return a.lastWritten > b.lastWritten; });
}

std::string TimelinePath(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                         const TimelineEntry& entry) {
  std::string path;
  AppendTimelinePath(keys, deletedRecords, entry, path);
  return path;
}

void AppendTimelinePath(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                        const TimelineEntry& entry, std::string& out) {
  if (!entry.Deleted()) {
    tree::AppendKeyPath(keys, entry.item, out);
  } else if (deletedRecords != nullptr && static_cast<size_t>(entry.deletedKey) < deletedRecords->keys.size()) {
    out += deleted::DeletedKeyPath(keys, *deletedRecords, static_cast<size_t>(entry.deletedKey));
  }
}

std::string FormatIsoTime(uint64_t fileTime) {
  // "2019-03-18 14:02:11 UTC" becomes "2019-03-18T14:02:11", then the
  // fraction of the second and the zone.
  std::string text = hive::FormatFileTime(fileTime);
  text.resize(text.size() - 4);
  text[text.find(' ')] = 'T';
  text += '.';
  hive::AppendDecimal(text, fileTime % 10'000'000, 7);
  text += 'Z';
  return text;
}

}  // namespace exporting
