#pragma once
// The scan for deleted keys and values over an open hive and its finished
// live tree. Reads the image the reads see (a hive opened anyway reads with
// its logs replayed); never writes, never reads outside the image.

#include <atomic>
#include <cstddef>
#include <string>

#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace deleted {

// Marks every cell the live tree references, scans everything else for
// plausible records and ties them to their live or deleted parents. Stops
// early, with what it found so far, when *stop becomes true.
DeletedRecords ScanDeletedRecords(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                  const tree::KeyIndex& index, const std::atomic<bool>* stop = nullptr);

// The path of a recovered key: the path of its live ancestor (tree::KeyPathOf)
// followed by the deleted names down to it, joined by "\". Where the chain of
// parents breaks, the path starts with "?".
std::string DeletedKeyPath(const tree::KeyTree& keys, const DeletedRecords& records, size_t key);

}  // namespace deleted
