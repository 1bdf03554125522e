#pragma once
// Where a value's data lies, and its bytes gathered in order. Every content of
// a value (its text, hex dump and DWord) is made from the bytes given here.
//
// Data of 4 bytes or fewer is held inline, in the value record's data offset
// field. Longer data lies in a data cell at the data offset, except big data:
// in a hive of version 1.4 or later, data longer than 16,344 bytes whose data
// cell holds a "db" record lies in segments. The "db" record gives the number
// of segments (u16 at 2) and the cell offset of the segment list (u32 at 4),
// which holds one cell offset per segment. The data is the segments' bytes in
// list order, 16,344 from each but the last, cut at the data length. Version
// 1.3 hives have no big data: a "db" there is read as the data itself.
//
// The hive is read through a HiveBytes, so the same rules serve reads through
// the hive's read position (ReadPositionBytes) and reads in place from its map.
// Nothing here reads outside what the HiveBytes says the hive holds.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "hive/hive_file.h"
#include "hive/value.h"

namespace hive {

// The hive's bytes as GatherValueData reads them.
class HiveBytes {
 public:
  virtual ~HiveBytes() = default;
  // The bytes the hive holds from file offset on, never reaching past 2^31 - 1;
  // 0 at or past the end.
  virtual uint32_t HeldFrom(uint32_t offset) const = 0;
  // Copies count bytes from file offset into destination; HeldFrom(offset) is
  // at least count.
  virtual void Copy(uint32_t offset, uint8_t* destination, uint32_t count) const = 0;
};

// Reads through the hive's read position, which each copy moves. Same thread
// as every other user of that position.
class ReadPositionBytes final : public HiveBytes {
 public:
  explicit ReadPositionBytes(HiveFile& hive) : m_hive(hive) {}
  uint32_t HeldFrom(uint32_t offset) const override;
  void Copy(uint32_t offset, uint8_t* destination, uint32_t count) const override;

 private:
  HiveFile& m_hive;
};

// How much of a value's data to take, for a data length n (bit 31 cleared)
// and h, the leading bytes the hive supplies without a gap.
enum class DataCut {
  // As the hex dump shows it: n bytes for n up to kMaxValueDataBytes, zeros
  // where nothing is supplied; above, min(h, kMaxValueDataBytes) bytes.
  kWhole,
  // As text is decoded from it: the text ends at its first zero code unit and
  // every byte past h is zero, so min(n, h + 1) bytes for n up to
  // kMaxValueDataBytes; above, min(h, kMaxValueDataBytes) bytes.
  kText,
};

// The value's data bytes, cut as cut says, gathered into bytes (replaced; the
// caller's, so one buffer serves a whole listing) and returned. Data of 1 to 4
// bytes is the first n bytes of the data offset field. Reads the stored data
// length with bit 31 cleared; value is not changed.
//
// Big data: bytes the segments cannot supply read as zeros: a segment whose
// list entry or cell lies past the end of the file, a segment count too small
// for the length, or a cell shorter than its part. A sound hive's segments
// are cells of their own, so together they hold no more bytes than the file;
// the segments of one value supply at most the file's size in all, and bytes
// past that read as zeros too (a crafted list naming one cell many times
// cannot make a small file stand for gigabytes).
std::span<const uint8_t> GatherValueData(const HiveBytes& source, const HiveFile& hive,
                                         const ValueRecord& value, DataCut cut,
                                         std::vector<uint8_t>& bytes);

// How many bytes GatherValueData gives for the value and cut, without
// gathering them: a caller can refuse a long value before it takes the memory.
uint32_t GatheredDataLength(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value, DataCut cut);

// For a value whose data is big data: calls take(recordOffset, count) for
// each file range that holds the data's leading bytes, in order, up to the
// first byte the segments do not supply or kMaxValueDataBytes, and returns
// true. Returns false, calling nothing, for data of any other kind.
bool BigDataLeadingPieces(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value,
                          const std::function<void(uint32_t, uint32_t)>& take);

// Copies the first count bytes of the data of a value stored outside its
// record (a data length above 4, bit 31 cleared) into destination, only where
// the hive supplies them: the other bytes keep what they held. From the data
// cell, or the segments of big data as GatherValueData reads them.
void CopyValueData(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value,
                   uint32_t count, uint8_t* destination);

}  // namespace hive
