#include "recovery/new_log.h"

#include "hive/little_endian.h"
#include "recovery/log_format.h"
#include "recovery/marvin32.h"

namespace recovery {
namespace {

using hive::LoadU32;
using hive::LoadU64;

std::string EntryName(size_t index) { return "entry " + std::to_string(index + 1); }

// Empty when the entry at offset is sound, else why not. The entry's fixed
// header lies inside the log.
std::string CheckEntry(std::span<const uint8_t> log, int64_t offset, LogEntry& entry) {
  using namespace log_entry;
  const uint8_t* e = log.data() + offset;
  const auto available = static_cast<int64_t>(log.size()) - offset;
  entry.offset = offset;
  entry.size = LoadU32(e + kSize);
  entry.flags = LoadU32(e + kFlags);
  entry.sequence = LoadU32(e + kSequence);
  entry.hiveBinsSize = LoadU32(e + kHiveBinsSize);
  entry.pageCount = LoadU32(e + kDirtyPageCount);
  if (entry.size < kHeaderSize) {
    return "has a size of " + std::to_string(entry.size) + " bytes, less than its header";
  }
  if (int64_t{entry.size} > available) {
    return "has a size of " + std::to_string(entry.size) + " bytes, past the end of the log";
  }
  const uint64_t hash1 = Marvin32(e + kPageReferences, entry.size - kPageReferences, kLogHashSeed);
  if (hash1 != LoadU64(e + kHash1) || Marvin32(e, kHash2Covers, kLogHashSeed) != LoadU64(e + kHash2)) {
    return "fails its hash";
  }
  if (entry.hiveBinsSize == 0 || entry.hiveBinsSize % kBinsSizeUnit != 0) {
    return "has a hive bins size of " + std::to_string(entry.hiveBinsSize) + ", not a multiple of 4096";
  }
  if (const int64_t claimed = int64_t{hive::kHeaderAreaSize} + entry.hiveBinsSize; claimed > kMaxImageSize) {
    return "claims a hive of " + std::to_string(claimed) + " bytes, more than the 2 GiB Keyloom reads";
  }
  const int64_t references = int64_t{entry.pageCount} * kReferenceSize;
  if (references > int64_t{entry.size} - kHeaderSize) {
    return "counts " + std::to_string(entry.pageCount) + " dirty pages, more than it holds";
  }
  int64_t pageBytes = kHeaderSize + references;
  for (uint32_t i = 0; i < entry.pageCount; ++i) {
    const uint8_t* reference = e + kPageReferences + int64_t{i} * kReferenceSize;
    const uint32_t pageOffset = LoadU32(reference + kReferenceOffset);
    const uint32_t pageLength = LoadU32(reference + kReferenceLength);
    if (int64_t{pageOffset} + pageLength > entry.hiveBinsSize) {
      return "names a dirty page past the end of the hive";
    }
    pageBytes += pageLength;
    if (pageBytes > entry.size) return "has dirty pages that run past its end";
  }
  return {};
}

}  // namespace

NewLogEntries ReadNewLogEntries(std::span<const uint8_t> log) {
  NewLogEntries result;
  const auto logSize = static_cast<int64_t>(log.size());
  for (int64_t offset = kLogHeaderSize; offset + 4 <= logSize;) {
    if (LoadU32(log.data() + offset) != log_entry::kHvleSignature) break;
    const size_t index = result.entries.size();
    if (offset + log_entry::kHeaderSize > logSize) {
      result.stop = EntryName(index) + " is cut short by the end of the log";
      break;
    }
    LogEntry entry;
    const std::string fault = CheckEntry(log, offset, entry);
    if (!fault.empty()) {
      result.stop = EntryName(index) + " " + fault;
      break;
    }
    result.entries.push_back(entry);
    offset += (int64_t{entry.size} + kLogAlignment - 1) / kLogAlignment * kLogAlignment;
  }
  return result;
}

void AppendEntryPages(std::span<const uint8_t> log, const LogEntry& entry,
                      std::vector<hive::ReplacedBytes>& runs) {
  using namespace log_entry;
  const uint8_t* e = log.data() + entry.offset;
  const uint8_t* page = e + kPageReferences + int64_t{entry.pageCount} * kReferenceSize;
  for (uint32_t i = 0; i < entry.pageCount; ++i) {
    const uint8_t* reference = e + kPageReferences + int64_t{i} * kReferenceSize;
    const uint32_t length = LoadU32(reference + kReferenceLength);
    runs.push_back({hive::kHeaderAreaSize + int64_t{LoadU32(reference + kReferenceOffset)}, page, length});
    page += length;
  }
}

}  // namespace recovery
