#pragma once
// The scan of the places the live hive leaves unused for "nk" and "vk"
// records: the hive bins are walked cell by cell by their size fields, and
// within each cell the bytes the ReferenceMap leaves unmarked are searched
// (all of a free or unreferenced cell, the slack behind a live record), then
// the bytes from the end of the last hive bin to the end of the image.
//
// A candidate at an even offset is kept only when it is plausible:
//  - a key node's 76 fixed bytes and its name lie inside the unmarked run it
//    starts in; its subkey counts (stable and volatile) are at most 10,000, its
//    value count at most 1,000, its last-written time in [1970, 2100);
//  - a value record's 20 fixed bytes and its name lie inside the run; data
//    marked inline is at most 4 bytes long; data of more than 4 bytes names a
//    cell offset that is 8-aligned and at least 8;
//  - a name (either record) has at most 1,024 characters, decodes without a
//    replacement character and holds at most one NUL per 8 characters.
// After a kept record the search goes on right behind it (one free cell can
// hold several records), after a rejected one two bytes on.

#include <atomic>
#include <cstdint>

#include "deleted/deleted_records.h"
#include "deleted/reference_map.h"
#include "hive/hive_file.h"

namespace deleted {

inline constexpr uint32_t kMaxNameCharacters = 1024;
inline constexpr uint32_t kMaxSubkeyCount = 10000;
inline constexpr uint32_t kMaxValueCount = 1000;
inline constexpr uint64_t kEarliestFileTime = 116444736000000000u;  // 1970-01-01 00:00 UTC
inline constexpr uint64_t kLatestFileTime = 526689216000000000u;    // 2100-01-01 00:00 UTC

// Appends the plausible records of the image's unmarked places to records, in
// file-offset order; their ties are left unknown. image holds the hive's
// imageSize bytes (its map). Stops early, keeping what it found, when *stop
// becomes true.
void ScanFreeSpace(const hive::HiveFile& hive, const uint8_t* image, const ReferenceMap& map,
                   DeletedRecords& records, const std::atomic<bool>* stop);

}  // namespace deleted
