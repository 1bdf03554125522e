#pragma once
// Opening a hive anyway: the wider open, beside the strict OpenHive, taken
// only on the user's word (the viewer's "Open anyway", keyloom-dump
// --open-anyway).
//
// It accepts a base block that the strict open refuses only for these: the
// sequence numbers differ (the hive was not saved cleanly), the minor version
// is 4, 5 or 6 (major version 1), or the clustering factor is not 1. It still
// refuses, each with its own reason: a file shorter than 4096 bytes, no
// "regf" signature, a transaction log or any file type but 0, a major version
// but 1 or a minor version outside 3 to 6 (the layouts of Windows NT 3.x
// differ), a file format but 1. A hive whose sequence numbers differ or whose
// base block checksum is wrong has its transaction logs applied in memory
// (recovery::ApplyTransactionLogs). Nothing is ever written.
//
// Any thread, one hive at a time; the hive returned is used as OpenHive's is.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hive/hive_file.h"
#include "recovery/log_files.h"
#include "recovery/log_replay.h"

namespace recovery {

// What the wider open did beyond the strict open.
struct OpenReport {
  // One line per thing done, in order: "version 1.5", "clustering factor 8",
  // then the notes of the log replay ("applied 12 log entries from
  // SYSTEM.LOG2", "not saved cleanly; no transaction logs found", ...).
  // Empty when the file passes the strict open's tests and its checksum holds.
  std::vector<std::string> lines;
  // The same, short, for the window title: "version 1.5; 12 log entries
  // applied", "not saved cleanly; no transaction logs found", "6 log entries
  // applied; entries 1621 to 2106 are missing; the primary file holds them".
  // Empty when lines is.
  std::string summary;
};

// Opens the file at path read-only and tests its base block as above; applies
// the transaction logs beside it when the hive is dirty. Returns none when the
// file is refused; then reason (when given) receives a sentence saying why,
// to follow "The file ", such as "is a transaction log (file type 6) of the
// hive SYSTEM beside it; open SYSTEM instead". report (when given) receives
// what was done.
std::unique_ptr<hive::HiveFile> OpenHiveAnyway(const std::string& path,
                                               std::string* reason = nullptr,
                                               OpenReport* report = nullptr);

// True when OpenHiveAnyway would accept the file at path. Reads its base
// block only; applies no logs. Lets the viewer offer "Open anyway" for a file
// the strict open refused.
bool OpensAnyway(const std::string& path);

// 1 when the wider open accepts the base block of hive (opened from path),
// else 0 with the reason. Reads nothing but the hive's base block copy and,
// for a transaction log, the names in path's folder.
int CheckBaseBlockAnyway(const hive::HiveFile& hive, const std::string& path,
                         std::string* reason = nullptr);

// True when the checksum at offset 508 is the XOR of the 127 little-endian
// 32-bit words before it. Windows stores 1 for a sum of 0 and 0xFFFFFFFE for
// 0xFFFFFFFF; both forms are taken as right.
bool ChecksumHolds(const std::array<uint8_t, hive::kBaseBlockSize>& baseBlock);

// The window title's summary of a wider open: baseBlockLines (the version
// and clustering factor lines), then, when the logs were replayed (replay
// given), "12 log entries applied" ("1 log entry applied"), or with no entry
// applied the replay's one note, or "not saved cleanly; no log entries
// applied" when it has several or none; then the replay's missingEntries
// when entries were applied; joined by "; ".
std::string SummarizeOpen(const std::vector<std::string>& baseBlockLines, const LogReplay* replay);

}  // namespace recovery
