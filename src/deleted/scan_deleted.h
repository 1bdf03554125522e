#pragma once
// The scan for deleted keys and values over an open hive and its finished
// live tree. Reads the image the reads see (a hive opened anyway reads with
// its logs replayed); never writes, never reads outside the image.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace deleted {

// Marks every cell the live tree references, scans everything else for
// plausible records and ties them to their live or deleted parents. Stops
// early, with what it found so far, when *stop becomes true (stopped while
// marking, it has found nothing: an unfinished map would pass live records
// off as deleted).
//
// Reads in place from the hive's map only, so it may run on a worker thread
// while another thread reads through the read position. Finds nothing when
// the hive is not mapped (hive::IsMappedInPlace). Never reads outside the
// image; its work is linear in the image's size plus the index's, and its
// memory beyond the records found is the reference map (a bit per 8 bytes).
// The deleted parents it hands out never form a cycle.
DeletedRecords ScanDeletedRecords(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                  const tree::KeyIndex& index, const std::atomic<bool>* stop = nullptr);

// The path of a recovered key: the path of its live ancestor (tree::KeyPathOf;
// nothing when that is the root, so that paths read as the names below the
// root, as Find writes them) followed by the deleted names down to it, joined
// by "\". Where the chain of parents breaks, the path starts with "?". Empty
// for an index outside records.keys.
std::string DeletedKeyPath(const tree::KeyTree& keys, const DeletedRecords& records, size_t key);

// The names of that path one by one, for callers that escape each: "?" first
// where the chain breaks, then the names below the root down to the live
// ancestor, then the deleted names. The views point into keys and records.
std::vector<std::string_view> DeletedKeyPathNames(const tree::KeyTree& keys, const DeletedRecords& records,
                                                  size_t key);

// The path of the key a recovered value belongs to, name by name: a live
// key's path as tree::KeyPathOf gives it (the root alone as its own name), a
// deleted key's as DeletedKeyPathNames, or "?" alone when no key claims it.
std::vector<std::string_view> DeletedValueKeyPathNames(const tree::KeyTree& keys, const DeletedRecords& records,
                                                       size_t value);
// The same joined by "\".
std::string DeletedValueKeyPath(const tree::KeyTree& keys, const DeletedRecords& records, size_t value);

}  // namespace deleted
