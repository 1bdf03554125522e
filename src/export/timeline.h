#pragma once
// The timeline: every key of the hive by its last-written time, newest first,
// and, when asked for, the deleted keys the scan recovered. Ties keep
// pre-order (live keys in tree order, then deleted keys in file-offset order).

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "deleted/deleted_records.h"
#include "export/artifact_rows.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace exporting {

struct TimelineEntry {
  uint64_t lastWritten = 0;  // FILETIME, 100 ns units since 1601-01-01 UTC
  int32_t item = -1;         // KeyTree position of a live key, or -1
  int32_t deletedKey = -1;   // index into DeletedRecords::keys, or -1
  uint32_t subkeys = 0;      // the stable subkey count the key node stores
  uint32_t values = 0;       // the value count the key node stores
  int32_t event = -1;        // index into the artifact events (export/artifact_rows.h), or -1 for a key
  bool Deleted() const { return deletedKey >= 0; }
  bool IsEvent() const { return event >= 0; }
};

// Every key of the tree (and every key of deletedRecords when it is not null),
// newest first. Stops early, with an empty result, when *stop becomes true.
std::vector<TimelineEntry> CollectTimeline(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                           const tree::KeyIndex& index,
                                           const deleted::DeletedRecords* deletedRecords,
                                           const std::atomic<bool>* stop = nullptr);

// Adds one entry per artifact event (export/artifact_rows.h) at the event's
// time, for the event's key (its counts as the key's own entry has them),
// and sorts again, newest first; at equal times the keys come before the
// events, and events keep their order.
void AddArtifactEvents(std::vector<TimelineEntry>& entries, std::span<const ArtifactEvent> events);

// The entry's path: tree::KeyPathOf for a live key, deleted::DeletedKeyPath
// for a deleted one.
std::string TimelinePath(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                         const TimelineEntry& entry);
// The same, appended to out.
void AppendTimelinePath(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                        const TimelineEntry& entry, std::string& out);

// ISO 8601 UTC to 100 ns: "2019-03-18T14:02:11.1234567Z".
std::string FormatIsoTime(uint64_t fileTime);

}  // namespace exporting
