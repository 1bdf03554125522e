#include "recovery/log_replay.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "recovery/log_files.h"
#include "recovery/log_format.h"
#include "recovery/new_log.h"
#include "recovery/old_log.h"

namespace recovery {
namespace {

using hive::LoadU32;
using hive::StoreU32;
using BaseBlock = std::array<uint8_t, hive::kBaseBlockSize>;

// One log found beside the hive, with what was learnt of it.
struct FoundLog {
  LogPath path;
  std::unique_ptr<LogFile> file;
  uint32_t fileType = 0;
  std::string notApplied;  // why it is not applied, once known
  std::string applied;     // the note of a log that was applied
  NewLogEntries entries;   // new format only
};

// What the replay puts over the hive.
struct Replay {
  std::vector<hive::ReplacedBytes> runs;
  int64_t imageSize = 0;
  BaseBlock baseBlock{};
  int32_t entries = 0;
  int32_t oldFormatPages = 0;
  std::string missingEntries;  // what the primary file holds in place of the logs
};

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

BaseBlock LogBaseBlock(const LogFile& log) {
  BaseBlock block{};
  std::memcpy(block.data(), log.Bytes().data(), block.size());
  return block;
}

void SealBaseBlock(BaseBlock& block) {
  StoreU32(block.data() + hive::base_block::kFileType, kPrimaryFileType);
  StoreU32(block.data() + hive::base_block::kChecksum, StoredChecksum(BaseBlockChecksum(block.data())));
}

// Opens the log and tests its base block copy; sets notApplied when it fails.
void OpenLog(FoundLog& log) {
  std::string reason;
  log.file = LogFile::Open(log.path.path, &reason);
  if (!log.file) {
    log.notApplied = reason;
    return;
  }
  const std::span<const uint8_t> bytes = log.file->Bytes();
  if (bytes.size() < static_cast<size_t>(kLogHeaderSize)) {
    log.notApplied = "is shorter than the 512-byte header of a transaction log";
  } else if (LoadU32(bytes.data() + hive::base_block::kSignature) != hive::base_block::kRegfSignature) {
    log.notApplied = "has no \"regf\" signature: it is not a transaction log";
  } else if (!HasSoundChecksum(bytes.data())) {
    log.notApplied = "its base block checksum is wrong";
  } else {
    log.fileType = LoadU32(bytes.data() + hive::base_block::kFileType);
    if (log.fileType != kOldLogType && log.fileType != kOldLogVariantType && log.fileType != kNewLogType) {
      log.notApplied =
          "has file type " + std::to_string(log.fileType) + "; a transaction log has type 1, 2 or 6";
    }
  }
  if (!log.notApplied.empty()) log.file.reset();
}

bool IsNewFormat(const FoundLog& log) { return log.file && log.fileType == kNewLogType; }
bool IsOldFormat(const FoundLog& log) {
  return log.file && (log.fileType == kOldLogType || log.fileType == kOldLogVariantType);
}

// Sequence numbers count on past 0xFFFFFFFF to 0: a comes before b when b
// lies less than 2^31 steps after it.
bool Precedes(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

// The place of the first entry that does not come before next.
size_t FirstEntryFrom(const NewLogEntries& log, uint32_t next) {
  size_t at = 0;
  while (at < log.entries.size() && Precedes(log.entries[at].sequence, next)) ++at;
  return at;
}

std::string WhyNotContinued(const NewLogEntries& log, uint32_t next) {
  if (log.entries.empty()) return log.stop.empty() ? "holds no log entries" : log.stop;
  const size_t at = FirstEntryFrom(log, next);
  if (at == log.entries.size()) {
    if (!log.stop.empty()) return log.stop;
    return "its log entries are older than the hive (sequence numbers below " + std::to_string(next) + ")";
  }
  return "its log entries do not continue the hive: entry " + std::to_string(at + 1) +
         " has sequence number " + std::to_string(log.entries[at].sequence) + " where " +
         std::to_string(next) + " is needed";
}

// Where the replay may begin in a log, given the hive's secondary sequence
// number: at the entry that carries it, or at the log's first entry when
// that comes after it. The second is what a partial reconcile leaves (Windows
// 8.1 and later): the kernel rotated the logs twice and wrote what the older
// entries held into the primary file without updating its base block, so the
// log to apply first starts later than the hive's number. None when every
// entry comes before the hive's number, or the log's entries jump past it.
std::optional<uint32_t> ReplayStart(const NewLogEntries& log, uint32_t hiveSequence) {
  const size_t at = FirstEntryFrom(log, hiveSequence);
  if (at == log.entries.size()) return std::nullopt;
  const uint32_t sequence = log.entries[at].sequence;
  if (at != 0 && sequence != hiveSequence) return std::nullopt;
  return sequence;
}

// "entries 1621 to 2106 are missing; the primary file holds them" for the
// numbers from first up to (not including) start; empty when there are none.
std::string MissingEntries(uint32_t first, uint32_t start) {
  if (first == start) return {};
  if (first + 1 == start) {
    return "entry " + std::to_string(first) + " is missing; the primary file holds it";
  }
  return "entries " + std::to_string(first) + " to " + std::to_string(start - 1) +
         " are missing; the primary file holds them";
}

// The sequence number the replay begins with: the earliest start among the
// logs (counted from hiveSequence, past wrap-around). None when no log has one.
std::optional<uint32_t> EarliestStart(const std::vector<FoundLog*>& logs, uint32_t hiveSequence) {
  std::optional<uint32_t> earliest;
  for (const FoundLog* log : logs) {
    const std::optional<uint32_t> start = ReplayStart(log->entries, hiveSequence);
    if (start && (!earliest || *start - hiveSequence < *earliest - hiveSequence)) earliest = start;
  }
  return earliest;
}

// New format: from the earliest start among the logs, applies the entries of
// whichever log continues the sequence, then of the other, while they do.
// Fills replay when any entry applies.
void ReplayNewLogs(const hive::HiveFile& hive, bool checksumSound, std::vector<FoundLog>& logs,
                   Replay& replay) {
  std::vector<FoundLog*> candidates;
  for (FoundLog& log : logs) {
    if (!IsNewFormat(log)) continue;
    log.entries = ReadNewLogEntries(log.file->Bytes());
    candidates.push_back(&log);
  }
  if (candidates.empty()) return;
  uint32_t hiveSequence = LoadU32(hive.BaseBlock().data() + hive::base_block::kSecondarySequence);
  replay.baseBlock = hive.BaseBlock();
  if (!checksumSound) {
    // The hive's base block is damaged: it is taken from the log whose entries
    // begin earliest, and the replay starts at that log's first entry.
    const FoundLog* earliest = nullptr;
    for (const FoundLog* log : candidates) {
      if (log->entries.entries.empty()) continue;
      if (earliest == nullptr ||
          Precedes(log->entries.entries.front().sequence, earliest->entries.entries.front().sequence)) {
        earliest = log;
      }
    }
    if (earliest != nullptr) {
      replay.baseBlock = LogBaseBlock(*earliest->file);
      hiveSequence = earliest->entries.entries.front().sequence;
    }
  }
  const std::optional<uint32_t> start = EarliestStart(candidates, hiveSequence);
  uint32_t next = start.value_or(hiveSequence);
  std::vector<bool> used(candidates.size(), false);
  const LogEntry* last = nullptr;
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < candidates.size() && !progress; ++i) {
      if (used[i]) continue;
      FoundLog& log = *candidates[i];
      const std::vector<LogEntry>& entries = log.entries.entries;
      size_t at = FirstEntryFrom(log.entries, next);
      if (at == entries.size() || entries[at].sequence != next) continue;
      const size_t first = at;
      for (; at < entries.size() && entries[at].sequence == next; ++at, ++next) {
        AppendEntryPages(log.file->Bytes(), entries[at], replay.runs);
        replay.imageSize =
            std::max(replay.imageSize, hive::kHeaderAreaSize + int64_t{entries[at].hiveBinsSize});
        last = &entries[at];
      }
      const auto count = static_cast<int32_t>(at - first);
      replay.entries += count;
      log.applied = "applied " + Plural(count, "log entry", "log entries") + " from " + log.path.name;
      if (at == entries.size() && !log.entries.stop.empty()) log.applied += "; " + log.entries.stop;
      used[i] = true;
      progress = true;
    }
  }
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (!used[i]) candidates[i]->notApplied = WhyNotContinued(candidates[i]->entries, next);
  }
  if (last == nullptr) return;
  replay.missingEntries = MissingEntries(hiveSequence, *start);
  uint8_t* block = replay.baseBlock.data();
  StoreU32(block + hive::base_block::kPrimarySequence, last->sequence + 1);
  StoreU32(block + hive::base_block::kSecondarySequence, last->sequence + 1);
  StoreU32(block + hive::base_block::kHiveBinsSize, last->hiveBinsSize);
  StoreU32(block + log_base_block::kFlags, last->flags);
  SealBaseBlock(replay.baseBlock);
}

// The last written time an old log must match: the base block's, or when
// that is damaged, the copy in the first hive bin's header.
std::array<uint8_t, 8> HiveTimestamp(hive::HiveFile& hive, bool checksumSound) {
  std::array<uint8_t, 8> stamp{};
  if (checksumSound) {
    std::memcpy(stamp.data(), hive.BaseBlock().data() + log_base_block::kLastWritten, stamp.size());
  } else {
    hive::SeekHive(hive, kFirstBinTimestamp);
    hive::ReadHiveBytes(hive, stamp.data(), static_cast<int32_t>(stamp.size()));
    hive::SeekHive(hive, 0);
  }
  return stamp;
}

// Old format: applies the first log whose last written time matches the hive's.
void ReplayOldLogs(hive::HiveFile& hive, bool checksumSound, std::vector<FoundLog>& logs, Replay& replay) {
  const std::array<uint8_t, 8> stamp = HiveTimestamp(hive, checksumSound);
  const FoundLog* chosen = nullptr;
  for (FoundLog& log : logs) {
    if (!IsOldFormat(log)) continue;
    if (chosen != nullptr) {
      log.notApplied = chosen->path.name + " was applied instead";
      continue;
    }
    const uint8_t* bytes = log.file->Bytes().data();
    if (LoadU32(bytes + hive::base_block::kPrimarySequence) !=
        LoadU32(bytes + hive::base_block::kSecondarySequence)) {
      log.notApplied = "its sequence numbers differ: the log itself was not written completely";
      continue;
    }
    if (std::memcmp(bytes + log_base_block::kLastWritten, stamp.data(), stamp.size()) != 0) {
      log.notApplied = "its last written time differs from the hive's";
      continue;
    }
    OldLogPages pages;
    log.notApplied = ReadOldLogPages(log.file->Bytes(), pages);
    if (log.notApplied.empty() && pages.pages == 0) {
      log.notApplied = pages.stop.empty() ? "its dirty vector names no pages" : pages.stop;
    }
    if (!log.notApplied.empty()) continue;
    chosen = &log;
    replay.runs = std::move(pages.runs);
    replay.imageSize = hive::kHeaderAreaSize + int64_t{pages.hiveBinsSize};
    replay.entries = 1;
    replay.oldFormatPages = static_cast<int32_t>(pages.pages);
    replay.baseBlock = LogBaseBlock(*log.file);
    SealBaseBlock(replay.baseBlock);
    log.applied = "applied " + Plural(pages.pages, "dirty page", "dirty pages") + " from " + log.path.name +
                  " (old format)";
    if (!pages.stop.empty()) log.applied += "; " + pages.stop;
  }
}

}  // namespace

LogReplay ApplyTransactionLogs(hive::HiveFile& hive, const std::string& hivePath) {
  LogReplay result;
  const uint8_t* base = hive.BaseBlock().data();
  const bool checksumSound = HasSoundChecksum(base);
  if (checksumSound && LoadU32(base + hive::base_block::kPrimarySequence) ==
                           LoadU32(base + hive::base_block::kSecondarySequence)) {
    return result;  // saved cleanly: whatever the logs hold is already in the file
  }
  std::vector<FoundLog> logs;
  for (LogPath& path : FindTransactionLogs(hivePath)) {
    logs.push_back(FoundLog{});
    logs.back().path = std::move(path);
  }
  if (logs.empty()) {
    result.notes.push_back("not saved cleanly; no transaction logs found");
    return result;
  }
  for (FoundLog& log : logs) OpenLog(log);

  Replay replay;
  ReplayNewLogs(hive, checksumSound, logs, replay);
  if (replay.entries == 0) {
    ReplayOldLogs(hive, checksumSound, logs, replay);
  } else {
    for (FoundLog& log : logs) {
      if (IsOldFormat(log)) log.notApplied = "is an old-format log; the new-format logs were applied";
    }
  }
  // The image grows as the replayed base block says, but no further than the
  // last page the logs write: past it the image would hold zeros and no bin,
  // and a log of a few bytes could otherwise make a hive of gigabytes (the
  // value rows' length caps grow with the hive's size).
  int64_t written = hive.Size();
  for (const hive::ReplacedBytes& run : replay.runs) {
    const int64_t end = run.fileOffset + run.length;
    written = std::max(written, (end + kHivePageSize - 1) / kHivePageSize * kHivePageSize);
  }
  replay.imageSize = std::min(replay.imageSize, written);
  std::string overlayFault;
  if (replay.entries > 0 &&
      !hive::OverlayHive(hive, replay.imageSize, replay.baseBlock, replay.runs, &overlayFault)) {
    replay.entries = 0;
    replay.oldFormatPages = 0;
    for (FoundLog& log : logs) {
      if (!log.applied.empty()) log.notApplied = overlayFault;
      log.applied.clear();
    }
  }
  result.entriesApplied = replay.entries;
  result.oldFormatPagesApplied = replay.oldFormatPages;
  if (replay.entries > 0) result.missingEntries = replay.missingEntries;
  for (const FoundLog& log : logs) {
    result.notes.push_back(!log.applied.empty() ? log.applied
                                                : log.path.name + " not applied: " + log.notApplied);
  }
  if (!result.missingEntries.empty()) result.notes.push_back(result.missingEntries);
  if (result.entriesApplied == 0)
    result.notes.push_back("not saved cleanly; no transaction log could be applied");
  return result;
}

}  // namespace recovery
