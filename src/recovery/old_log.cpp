#include "recovery/old_log.h"

#include "hive/little_endian.h"
#include "recovery/log_format.h"

namespace recovery {
namespace {

using hive::LoadU32;

bool IsDirty(const uint8_t* bitmap, int64_t page) { return ((bitmap[page / 8] >> (page % 8)) & 1) != 0; }

// Empty when the dirty page at binsOffset (in the log at bytes) is no bin
// header or a sound one: at its own offset, a size of whole 4096-byte blocks.
std::string CheckDirtyBin(const uint8_t* bytes, int64_t binsOffset) {
  using namespace hive::hive_bin;
  if (binsOffset % 4096 != 0 || LoadU32(bytes + kSignature) != kHbinSignature) return {};
  const uint32_t size = LoadU32(bytes + kSize);
  if (LoadU32(bytes + kOffset) != binsOffset || size == 0 || size % 4096 != 0) {
    return "the dirty bin at offset " + std::to_string(binsOffset) + " is not sound";
  }
  return {};
}

}  // namespace

std::string ReadOldLogPages(std::span<const uint8_t> log, OldLogPages& pages) {
  using namespace dirty_vector;
  const auto logSize = static_cast<int64_t>(log.size());
  const uint32_t binsSize = LoadU32(log.data() + hive::base_block::kHiveBinsSize);
  pages.hiveBinsSize = binsSize;
  if (binsSize % kPageSize != 0) {
    return "has a hive bins size of " + std::to_string(binsSize) + ", not a multiple of 512";
  }
  if (const int64_t claimed = int64_t{hive::kHeaderAreaSize} + binsSize; claimed > kMaxImageSize) {
    return "claims a hive of " + std::to_string(claimed) + " bytes, more than the 2 GiB Keyloom reads";
  }
  if (logSize < kBitmap || LoadU32(log.data() + kOffset) != kDirtSignature) {
    return "has no \"DIRT\" dirty vector";
  }
  const int64_t bits = binsSize / kPageSize;
  const int64_t bitmapBytes = (bits + 7) / 8;
  if (kBitmap + bitmapBytes > logSize) return "is cut short inside its dirty vector";
  const uint8_t* bitmap = log.data() + kBitmap;
  int64_t dirty = 0;
  for (int64_t page = 0; page < bits; ++page) dirty += IsDirty(bitmap, page) ? 1 : 0;
  const int64_t first = (kBitmap + bitmapBytes + kLogAlignment - 1) / kLogAlignment * kLogAlignment;
  const int64_t held = logSize < first ? 0 : (logSize - first) / kPageSize;
  if (dirty > held) {
    return "is cut short: its dirty vector names " + std::to_string(dirty) + " pages, the file holds " +
           std::to_string(held);
  }
  int64_t stored = 0;  // dirty pages passed so far
  for (int64_t page = 0; page < bits;) {
    if (!IsDirty(bitmap, page)) {
      ++page;
      continue;
    }
    // A stretch of contiguous dirty pages, cut short before a bin header
    // that is not sound.
    const uint8_t* bytes = log.data() + first + stored * kPageSize;
    int64_t end = page;
    while (end < bits && IsDirty(bitmap, end)) {
      pages.stop = CheckDirtyBin(bytes + (end - page) * kPageSize, end * kPageSize);
      if (!pages.stop.empty()) break;
      ++end;
    }
    if (end == page) break;
    pages.runs.push_back(
        {hive::kHeaderAreaSize + page * kPageSize, bytes, static_cast<uint32_t>((end - page) * kPageSize)});
    pages.pages += end - page;
    stored += end - page;
    page = end;
    if (!pages.stop.empty()) break;
  }
  return {};
}

}  // namespace recovery
