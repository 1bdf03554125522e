#pragma once
// Transaction logs: a hive that was not saved cleanly is shown as Windows would
// load it, with what its logs (NAME.LOG, NAME.LOG1, NAME.LOG2 beside it) hold
// applied to an in-memory image of the hive. Neither the hive nor a log is
// ever written; every log is opened read-only.

#include <cstdint>
#include <string>
#include <vector>

#include "hive/hive_file.h"

namespace recovery {

// What applying the logs did.
struct LogReplay {
  // Log entries applied, over all logs; an old-format log counts as one entry.
  int32_t entriesApplied = 0;
  // Dirty pages applied from an old-format log (0 for the new format).
  int32_t oldFormatPagesApplied = 0;
  // When the first entry applied comes after the hive's secondary sequence
  // number (a partial reconcile wrote the entries between into the primary
  // file): "entries 1621 to 2106 are missing; the primary file holds them".
  // Empty otherwise; also the last line of notes but for "not saved cleanly".
  std::string missingEntries;
  // One line for each log applied or passed over, and why, in the order the
  // logs were considered: "applied 12 log entries from SYSTEM.LOG2",
  // "SYSTEM.LOG1 not applied: entry 3 fails its hash",
  // "not saved cleanly; no transaction logs found", then missingEntries.
  std::vector<std::string> notes;
};

// Looks for the logs of the hive at hivePath and applies what they hold to
// hive's image. For a hive whose sequence numbers differ or whose base block
// checksum is wrong; the hive must not have been read yet by anyone else.
LogReplay ApplyTransactionLogs(hive::HiveFile& hive, const std::string& hivePath);

}  // namespace recovery
