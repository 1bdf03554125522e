#pragma once
// The layout of a hive's transaction logs (NAME.LOG, NAME.LOG1, NAME.LOG2), as
// far as Keyloom reads them. All integers are little-endian. A log starts with
// a partial copy of the hive's base block (its first 512 bytes) whose file
// type says which of the two formats follows.
//
//  - Old format (Windows XP to 8, file type 1 or 2): at offset 512 a "DIRT"
//    dirty vector, a bitmap with one bit per 512-byte page of the hive bins
//    data; from the next 512-byte boundary on, one 512-byte page for each set
//    bit, in bit order.
//  - New format (Windows 8.1 and later, file type 6): from offset 512, "HvLE"
//    log entries, each at a 512-aligned offset, each checked by two Marvin32
//    hashes.

#include <cstdint>

#include "hive/format.h"
#include "hive/little_endian.h"

namespace recovery {

inline constexpr int64_t kLogHeaderSize = 512;  // the base block copy
inline constexpr int64_t kLogAlignment = 512;   // entries and dirty pages start on these

// The largest hive a log may describe, base block included: 2 GiB, as far as
// the read primitives reach (their read position is a signed 32-bit offset).
// Offsets in a log are 32 bits from the first hive bin, so a log could claim
// up to 4 GiB plus 4096 bytes.
inline constexpr int64_t kMaxImageSize = int64_t{1} << 31;

// Hive bins come in multiples of this; an image grows by whole pages of it.
inline constexpr int64_t kHivePageSize = 4096;

// File types of the base block copy at the start of a log.
inline constexpr uint32_t kPrimaryFileType = 0;
inline constexpr uint32_t kOldLogType = 1;
inline constexpr uint32_t kOldLogVariantType = 2;
inline constexpr uint32_t kNewLogType = 6;

// Base block fields read only here.
namespace log_base_block {
inline constexpr int32_t kLastWritten = 12;  // FILETIME, 8 bytes
inline constexpr int32_t kFlags = 144;
}  // namespace log_base_block

// The first hive bin keeps a copy of the last written time.
inline constexpr int32_t kFirstBinTimestamp = hive::kHeaderAreaSize + 20;

// Old format: the dirty vector at offset 512, one bit per 512-byte page.
namespace dirty_vector {
inline constexpr int64_t kOffset = 512;
inline constexpr int64_t kBitmap = kOffset + 4;
inline constexpr int64_t kPageSize = 512;
inline constexpr uint32_t kDirtSignature = 0x54524944;  // "DIRT"
}  // namespace dirty_vector

// New format: a log entry.
namespace log_entry {
inline constexpr int32_t kSignature = 0;
inline constexpr int32_t kSize = 4;
inline constexpr int32_t kFlags = 8;
inline constexpr int32_t kSequence = 12;
inline constexpr int32_t kHiveBinsSize = 16;
inline constexpr int32_t kDirtyPageCount = 20;
inline constexpr int32_t kHash1 = 24;  // Marvin32 of bytes [kPageReferences, size)
inline constexpr int32_t kHash2 = 32;  // Marvin32 of bytes [0, kHash2Covers)
inline constexpr int32_t kHash2Covers = 32;
inline constexpr int32_t kPageReferences = 40;
inline constexpr int32_t kHeaderSize = 40;
inline constexpr int32_t kReferenceSize = 8;  // u32 offset from the first bin, u32 size
inline constexpr int32_t kReferenceOffset = 0;
inline constexpr int32_t kReferenceLength = 4;
inline constexpr uint32_t kHvleSignature = 0x454C7648;  // "HvLE"
inline constexpr uint32_t kBinsSizeUnit = 4096;
}  // namespace log_entry

// The Marvin32 seed of log entry hashes. The format documentation prints it as
// the number 0xC5554E7A884DEF82 "little-endian"; the hashes Windows writes
// verify with the state words p0 = 0x7A4E55C5 and p1 = 0x82EF4D88.
inline constexpr uint64_t kLogHashSeed = 0x82EF4D887A4E55C5ull;

// XOR of the first 127 32-bit words of a base block.
inline uint32_t BaseBlockChecksum(const uint8_t* block) {
  uint32_t sum = 0;
  for (int32_t at = 0; at < hive::base_block::kChecksummedBytes; at += 4) sum ^= hive::LoadU32(block + at);
  return sum;
}

// Windows never stores 0 or 0xFFFFFFFF as a checksum: it writes 1 and
// 0xFFFFFFFE instead.
inline uint32_t StoredChecksum(uint32_t sum) {
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  return sum;
}

inline bool HasSoundChecksum(const uint8_t* block) {
  const uint32_t stored = hive::LoadU32(block + hive::base_block::kChecksum);
  const uint32_t sum = BaseBlockChecksum(block);
  return stored == sum || stored == StoredChecksum(sum);
}

}  // namespace recovery
