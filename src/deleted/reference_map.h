#pragma once
// ReferenceMap: a bit per 8 bytes of the hive image, set where a record the
// live tree references lies. Cells start 8-aligned, so a cell's first 8 bytes
// (its size field and the start of its record) belong to it alone, and the
// bit there says whether anything live references the cell.
//
// MarkLiveCells fills it from the live keys. What stays unmarked is where
// deleted records may lie.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hive/hive_file.h"
#include "tree/key_index.h"

namespace deleted {

class ReferenceMap {
 public:
  // A map of an image of imageSize bytes, nothing marked.
  explicit ReferenceMap(uint32_t imageSize);

  // Marks the 8-byte units that [begin, end) touches, up to the first unit
  // already marked (or the image's end), and returns the end of what it newly
  // marked: begin when begin's unit was marked before. Marking stops at what is
  // marked so that a record named many times over, or records that overlap in
  // a crafted hive, cost their bytes once: the whole marking is bounded by the
  // image's size.
  uint32_t MarkNew(uint32_t begin, uint32_t end);

  bool IsMarked(uint32_t offset) const {
    const uint32_t unit = offset >> 3;
    return offset < m_imageSize && ((m_bits[unit >> 6] >> (unit & 63)) & 1) != 0;
  }

  // The first offset at or after from, before end, whose unit is unmarked
  // (from itself, or the start of a later unit); end when there is none.
  uint32_t NextUnmarked(uint32_t from, uint32_t end) const { return NextUnit(from, end, false); }
  // The same for a marked unit.
  uint32_t NextMarked(uint32_t from, uint32_t end) const { return NextUnit(from, end, true); }

  uint32_t ImageSize() const { return m_imageSize; }
  size_t MemoryBytes() const { return m_bits.capacity() * sizeof(uint64_t); }

 private:
  uint32_t NextUnit(uint32_t from, uint32_t end, bool marked) const;

  uint32_t m_imageSize;
  std::vector<uint64_t> m_bits;
};

// A value list entry past its key's value count (in the slack of the list's
// cell) that names a "vk" record: perhaps a deleted value of that live key.
struct SlackEntry {
  uint32_t valueRecord = 0;  // file offset the entry names
  int32_t keyItem = 0;       // KeyTree position of the live key
};

// Marks every cell the live keys of index reference: key nodes, subkey lists
// (an index root and its leaf lists), value lists, value records, data cells,
// big data records with their segment lists and segments, security and class
// name cells. Each record is marked from its cell's size field for its own
// length, as far as the live reads take it (a count or length the cell cannot
// hold runs on, as the rows read on), so the slack behind it stays unmarked.
// Data is marked up to hive::kMaxValueDataBytes, the most a row reads. Collects the slack entries of value
// lists into slack. Reads in place only; ends early when *stop becomes true.
// The hive must be mapped (hive::IsMappedInPlace).
void MarkLiveCells(const hive::HiveFile& hive, const tree::KeyIndex& index, ReferenceMap& map,
                   std::vector<SlackEntry>& slack, const std::atomic<bool>* stop);

}  // namespace deleted
