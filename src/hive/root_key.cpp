#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"

namespace hive {
namespace {

// True when the record at recordOffset starts with "nk" and its flags are exactly
// those of a hive's root key.
bool IsRootKeyNode(HiveFile& hive, uint32_t recordOffset) {
  SeekHive(hive, static_cast<int32_t>(recordOffset));
  if (static_cast<uint16_t>(ReadHive16(hive)) != key_node::kNkSignature) return false;
  return static_cast<uint16_t>(ReadHive16(hive)) == key_node::kRootFlags;
}

bool IsKeyNode(HiveFile& hive, uint32_t recordOffset) {
  if (!HiveHoldsKeyNode(hive, recordOffset)) return false;
  SeekHive(hive, static_cast<int32_t>(recordOffset));
  return static_cast<uint16_t>(ReadHive16(hive)) == key_node::kNkSignature;
}

// Scans the hive bins from the first one, stepping by each bin's size, for a bin
// whose first cell is the root key node. The scan only moves forward and stops
// at a missing "hbin", a size of 0 or a step past the end of the file, so a
// damaged bin header cannot make it loop.
bool FindRootInBins(HiveFile& hive, uint32_t& recordOffset) {
  int64_t bin = kHeaderAreaSize;
  while (HiveHolds(hive, static_cast<uint32_t>(bin), hive_bin::kHeaderSize)) {
    SeekHive(hive, static_cast<int32_t>(bin));
    if (ReadHive32(hive) != hive_bin::kHbinSignature) return false;
    SeekHive(hive, static_cast<int32_t>(bin + hive_bin::kSize));
    const uint32_t size = ReadHive32(hive);
    const auto first = static_cast<uint32_t>(bin + hive_bin::kFirstRecord);
    if (HiveHolds(hive, first, 4) && IsRootKeyNode(hive, first)) {
      recordOffset = first;
      return true;
    }
    if (size == 0) return false;
    bin += size;
  }
  return false;
}

}  // namespace

int FindRootKey(HiveFile& hive, KeyNode& root) {
  uint32_t recordOffset = 0;
  if (!FindRootInBins(hive, recordOffset)) {
    // Windows records the root cell in the base block; use it when no bin
    // starts with a root key node.
    const uint32_t rootCell = LoadU32(hive.BaseBlock().data() + base_block::kRootCell);
    recordOffset = RecordOffsetOf(rootCell);
    if (!IsKeyNode(hive, recordOffset)) return 0;
  }
  ReadKeyNode(hive, recordOffset, root);
  return 1;
}

}  // namespace hive
