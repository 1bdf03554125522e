#pragma once
// The new log format (Windows 8.1 and later): "HvLE" log entries after the
// base block copy, each carrying dirty pages of the hive bins data.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hive/hive_file.h"

namespace recovery {

// A log entry whose hashes verify and whose page references all lie inside
// both the entry and the hive it describes.
struct LogEntry {
  int64_t offset = 0;  // in the log
  uint32_t size = 0;
  uint32_t flags = 0;
  uint32_t sequence = 0;
  uint32_t hiveBinsSize = 0;
  uint32_t pageCount = 0;
};

struct NewLogEntries {
  std::vector<LogEntry> entries;  // the sound entries from the first on, in file order
  // Why reading stopped before the log's end, e.g. "entry 3 fails its hash";
  // empty when the entries simply end (no further "HvLE").
  std::string stop;
};

// Reads the entries of a new-format log (the whole file, base block copy
// included) up to the first entry that is not sound. Never reads outside log;
// time is linear in the log's size.
NewLogEntries ReadNewLogEntries(std::span<const uint8_t> log);

// Appends the dirty pages of entry (from ReadNewLogEntries over the same log)
// as runs of replaced bytes, pointing into log.
void AppendEntryPages(std::span<const uint8_t> log, const LogEntry& entry,
                      std::vector<hive::ReplacedBytes>& runs);

}  // namespace recovery
