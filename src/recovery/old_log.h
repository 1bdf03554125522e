#pragma once
// The old log format (Windows XP to 8): a "DIRT" dirty vector after the base
// block copy, then the dirty 512-byte pages of the hive bins data.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hive/hive_file.h"

namespace recovery {

struct OldLogPages {
  // One run per stretch of contiguous dirty pages, in page order, pointing
  // into the log.
  std::vector<hive::ReplacedBytes> runs;
  int64_t pages = 0;          // 512-byte pages in runs
  uint32_t hiveBinsSize = 0;  // from the log's base block copy
  // Why the pages stop short of the dirty vector's end ("the dirty bin at
  // offset 8192 is not sound"); empty when every dirty page is in runs.
  std::string stop;
};

// Reads the dirty vector and pages of an old-format log (the whole file, base
// block copy included; its checks are the caller's). Returns empty when the
// log can be applied (pages holds what), else why not, e.g. "is cut short:
// its dirty vector names 64 pages, the file holds 10". Never reads outside log.
std::string ReadOldLogPages(std::span<const uint8_t> log, OldLogPages& pages);

}  // namespace recovery
