#include "recovery/open_anyway.h"

#include <filesystem>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "recovery/log_format.h"
#include "recovery/log_replay.h"

namespace recovery {
namespace {

namespace bb = hive::base_block;

void SetReason(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
}

uint32_t Field(const hive::HiveFile& hive, int32_t offset) {
  return hive::LoadU32(hive.BaseBlock().data() + offset);
}

std::string Version(uint32_t major, uint32_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

bool IsLogFileType(uint32_t type) {
  return type == bb::kOldLogFile || type == bb::kOldLogVariantFile || type == bb::kNewLogFile;
}

std::string LogReason(uint32_t type, const std::string& path) {
  std::string text = "is a transaction log (file type " + std::to_string(type) + ")";
  const std::optional<std::string> hive = HiveBesideLog(path);
  if (!hive) return text + ", not a hive";
  const std::string name = std::filesystem::path(*hive).filename().string();
  return text + " of the hive " + name + " beside it; open " + name + " instead";
}

// The lines for what the base block needed beyond the strict open's tests,
// the logs aside.
std::vector<std::string> WiderLines(const hive::HiveFile& hive) {
  std::vector<std::string> lines;
  const uint32_t minor = Field(hive, bb::kMinorVersion);
  if (minor != bb::kFirstMinor) lines.push_back("version " + Version(bb::kMajor, minor));
  const uint32_t clustering = Field(hive, bb::kClusteringFactor);
  if (clustering != 1) lines.push_back("clustering factor " + std::to_string(clustering));
  return lines;
}

bool IsDirty(const hive::HiveFile& hive) {
  return Field(hive, bb::kPrimarySequence) != Field(hive, bb::kSecondarySequence) ||
         !ChecksumHolds(hive.BaseBlock());
}

}  // namespace

std::string SummarizeOpen(const std::vector<std::string>& baseBlockLines, const LogReplay* replay) {
  std::string summary;
  const auto add = [&summary](const std::string& part) {
    if (!summary.empty()) summary += "; ";
    summary += part;
  };
  for (const std::string& line : baseBlockLines) add(line);
  if (replay == nullptr) return summary;
  if (replay->oldFormatPagesApplied == 1) {
    add("1 dirty page applied from an old-format log");
  } else if (replay->oldFormatPagesApplied > 1) {
    add(std::to_string(replay->oldFormatPagesApplied) + " dirty pages applied from an old-format log");
  } else if (replay->entriesApplied == 1) {
    add("1 log entry applied");
  } else if (replay->entriesApplied > 0) {
    add(std::to_string(replay->entriesApplied) + " log entries applied");
  } else if (replay->notes.size() == 1) {
    add(replay->notes.front());
  } else {
    add("not saved cleanly; no log entries applied");
  }
  if (replay->entriesApplied > 0 && !replay->missingEntries.empty()) add(replay->missingEntries);
  return summary;
}

bool ChecksumHolds(const std::array<uint8_t, hive::kBaseBlockSize>& baseBlock) {
  return HasSoundChecksum(baseBlock.data());
}


int CheckBaseBlockAnyway(const hive::HiveFile& hive, const std::string& path, std::string* reason) {
  if (Field(hive, bb::kSignature) != bb::kRegfSignature) {
    SetReason(reason, "has no \"regf\" signature: it is not a registry hive file");
    return 0;
  }
  const uint32_t type = Field(hive, bb::kFileType);
  if (IsLogFileType(type)) {
    SetReason(reason, LogReason(type, path));
    return 0;
  }
  if (type != bb::kPrimaryFile) {
    SetReason(reason, "has file type " + std::to_string(type) +
                          "; Keyloom reads primary hive files (type 0)");
    return 0;
  }
  const uint32_t major = Field(hive, bb::kMajorVersion);
  const uint32_t minor = Field(hive, bb::kMinorVersion);
  if (major != bb::kMajor || minor < bb::kFirstMinor || minor > bb::kLastMinor) {
    std::string text = "is format version " + Version(major, minor) + "; Keyloom reads versions 1.3 to 1.6";
    if (major == bb::kMajor && minor < bb::kFirstMinor) text += " (the layouts of Windows NT 3.x differ)";
    SetReason(reason, text);
    return 0;
  }
  const uint32_t format = Field(hive, bb::kFileFormat);
  if (format != bb::kDirectMemoryLoad) {
    SetReason(reason, "has file format " + std::to_string(format) +
                          "; Keyloom reads the direct memory load format (1)");
    return 0;
  }
  return 1;
}

bool OpensAnyway(const std::string& path) {
  const std::unique_ptr<hive::HiveFile> hive = hive::OpenHiveFile(path);
  return hive && CheckBaseBlockAnyway(*hive, path) == 1;
}

std::unique_ptr<hive::HiveFile> OpenHiveAnyway(const std::string& path, std::string* reason,
                                               OpenReport* report) {
  std::unique_ptr<hive::HiveFile> hive = hive::OpenHiveFile(path, reason);
  if (!hive || CheckBaseBlockAnyway(*hive, path, reason) == 0) return nullptr;
  OpenReport done;
  const std::vector<std::string> baseBlockLines = WiderLines(*hive);
  done.lines = baseBlockLines;
  done.summary = SummarizeOpen(baseBlockLines, nullptr);
  if (IsDirty(*hive)) {
    LogReplay replay = ApplyTransactionLogs(*hive, path);
    // The replay says what it did; should it say nothing, its summary stands for it.
    if (replay.notes.empty()) replay.notes.push_back(SummarizeOpen({}, &replay));
    done.lines.insert(done.lines.end(), replay.notes.begin(), replay.notes.end());
    done.summary = SummarizeOpen(baseBlockLines, &replay);
  }
  if (report != nullptr) *report = std::move(done);
  return hive;
}

}  // namespace recovery
