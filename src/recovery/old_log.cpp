#include "recovery/old_log.h"

#include "hive/little_endian.h"
#include "recovery/log_format.h"

namespace recovery {
namespace {

using hive::LoadU32;

bool IsDirty(const uint8_t* bitmap, int64_t page) {
  return ((bitmap[page / 8] >> (page % 8)) & 1) != 0;
}

// Empty when a stretch of dirty pages that begins a hive bin holds a sound
// bin header: at its own offset, a size of whole 4096-byte blocks. A stretch
// that does not start with "hbin" lies inside a bin and is taken as it is.
std::string CheckDirtyBin(const uint8_t* first, int64_t binOffset) {
  using namespace hive::hive_bin;
  if (LoadU32(first + kSignature) != kHbinSignature) return {};
  const uint32_t size = LoadU32(first + kSize);
  if (LoadU32(first + kOffset) != binOffset || size == 0 || size % 4096 != 0) {
    return "the dirty bin at offset " + std::to_string(binOffset) + " is not sound";
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
  if (int64_t{hive::kHeaderAreaSize} + binsSize > kMaxImageSize) return "claims a hive larger than 4 GiB";
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
    int64_t end = page + 1;
    while (end < bits && IsDirty(bitmap, end)) ++end;
    const uint8_t* bytes = log.data() + first + stored * kPageSize;
    pages.stop = CheckDirtyBin(bytes, page * kPageSize);
    if (!pages.stop.empty()) break;
    pages.runs.push_back({hive::kHeaderAreaSize + page * kPageSize, bytes,
                          static_cast<uint32_t>((end - page) * kPageSize)});
    pages.pages += end - page;
    stored += end - page;
    page = end;
  }
  return {};
}

}  // namespace recovery
