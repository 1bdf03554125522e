#include "deleted/free_space_scan.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "hive/format.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"

namespace deleted {
namespace {

constexpr uint32_t kSizeField = 4;
constexpr uint32_t kSmallestCell = 8;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

uint32_t RoundUpToEven(uint32_t offset) { return offset + (offset & 1); }

// Decodes a candidate's name into out when it passes the name rules.
bool TakePlausibleName(const uint8_t* bytes, uint32_t count, bool utf16, std::string& out) {
  const uint32_t unit = utf16 ? 2 : 1;
  const uint32_t characters = count / unit;
  if (characters > kMaxNameCharacters) return false;
  uint32_t nuls = 0;
  for (uint32_t i = 0; i + unit <= count; i += unit) {
    nuls += bytes[i] == 0 && (unit == 1 || bytes[i + 1] == 0);
  }
  if (nuls * 8 > characters) return false;
  hive::StoredName name;
  name.count = count;
  name.utf16 = utf16;
  hive::AppendStoredName(name, {bytes, count}, out);
  return out.find(kReplacementCharacter) == std::string::npos;
}

class FreeSpaceScanner {
 public:
  FreeSpaceScanner(const uint8_t* image, const ReferenceMap& map, DeletedRecords& records)
      : m_image(image), m_size(map.ImageSize()), m_map(map), m_records(records) {}

  // The hive bins from the first on, as far as their headers chain, then the
  // rest of the image.
  void ScanImage(uint32_t binsEnd, const std::atomic<bool>* stop) {
    uint32_t bin = hive::kHeaderAreaSize;
    while (bin + hive::hive_bin::kHeaderSize <= binsEnd) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
      const uint32_t size = hive::LoadU32(m_image + bin + hive::hive_bin::kSize);
      if (!IsBinHeader(bin, size, binsEnd)) break;  // what follows is read as bytes past the last bin
      ScanBin(bin, bin + size);
      bin += size;
    }
    ScanPlace(bin, m_size, FoundIn::kPastLastBin);
  }

 private:
  // A bin's size is a multiple of 4096 that fits. Its header is taken when
  // it has the signature or, the signature damaged, names its own offset: a
  // damaged signature alone does not end the bins.
  bool IsBinHeader(uint32_t bin, uint32_t size, uint32_t binsEnd) const {
    if (size == 0 || size % hive::kHeaderAreaSize != 0 || size > binsEnd - bin) return false;
    return hive::LoadU32(m_image + bin) == hive::hive_bin::kHbinSignature ||
           hive::LoadU32(m_image + bin + hive::hive_bin::kOffset) == bin - hive::kHeaderAreaSize;
  }

  void ScanBin(uint32_t bin, uint32_t binEnd) {
    for (uint32_t cell = bin + hive::hive_bin::kHeaderSize; cell + kSizeField <= binEnd;) {
      const int64_t size = hive::LoadI32(m_image + cell);
      const auto magnitude = static_cast<uint64_t>(size < 0 ? -size : size);
      if (magnitude < kSmallestCell) {
        // A size field no cell can have: the rest of the bin is one place.
        ScanPlace(cell + kSizeField, binEnd, size < 0 ? FoundIn::kUnreferencedCell : FoundIn::kFreeCell);
        return;
      }
      const auto cellEnd = static_cast<uint32_t>(std::min<uint64_t>(cell + magnitude, binEnd));
      const FoundIn place = size > 0            ? FoundIn::kFreeCell
                            : m_map.IsMarked(cell) ? FoundIn::kSlack
                                                   : FoundIn::kUnreferencedCell;
      ScanPlace(cell + kSizeField, cellEnd, place);
      cell = cellEnd;
    }
  }

  // Scans each run of unmarked bytes of [begin, end).
  void ScanPlace(uint32_t begin, uint32_t end, FoundIn place) {
    for (uint32_t run = m_map.NextUnmarked(begin, end); run < end;) {
      const uint32_t runEnd = m_map.NextMarked(run, end);
      ScanRun(run, runEnd, place);
      run = m_map.NextUnmarked(runEnd, end);
    }
  }

  // Candidates start at even offsets: a "k" at an odd offset after an "n" or
  // a "v".
  void ScanRun(uint32_t begin, uint32_t end, FoundIn place) {
    uint32_t from = RoundUpToEven(begin);
    while (from + 2 <= end) {
      const void* hit = std::memchr(m_image + from + 1, 'k', end - from - 1);
      if (hit == nullptr) return;
      const auto at = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - m_image);
      if ((at & 1) == 0) {
        from = at;
        continue;
      }
      const uint32_t start = at - 1;
      uint32_t taken = 0;
      if (m_image[start] == 'n') taken = TakeKey(start, end, place);
      if (m_image[start] == 'v') taken = TakeValue(start, end, place);
      from = taken != 0 ? RoundUpToEven(start + taken) : start + 2;
    }
  }

  // Appends the key node at start when it is plausible; returns its length
  // (fixed part and name), or 0.
  uint32_t TakeKey(uint32_t start, uint32_t end, FoundIn place) {
    namespace nk = hive::key_node;
    const uint8_t* record = m_image + start;
    if (end - start < nk::kFixedSize) return 0;
    const uint32_t nameBytes = hive::LoadU16(record + nk::kNameLength);
    if (nameBytes > end - start - nk::kFixedSize) return 0;
    DeletedKey key;
    key.lastWritten = hive::LoadU64(record + nk::kLastWritten);
    key.subkeyCount = hive::LoadU32(record + nk::kSubkeyCount);
    key.volatileSubkeyCount = hive::LoadU32(record + nk::kVolatileSubkeyCount);
    key.valueCount = hive::LoadU32(record + nk::kValueCount);
    if (key.lastWritten < kEarliestFileTime || key.lastWritten >= kLatestFileTime ||
        key.subkeyCount > kMaxSubkeyCount || key.volatileSubkeyCount > kMaxSubkeyCount ||
        key.valueCount > kMaxValueCount) {
      return 0;
    }
    const bool utf16 = (hive::LoadU16(record + nk::kFlags) & nk::kCompressedName) == 0;
    if (!TakePlausibleName(record + nk::kName, nameBytes, utf16, key.name)) return 0;
    key.recordOffset = start;
    key.foundIn = place;
    key.parentOffset = hive::LoadU32(record + nk::kParent);
    m_records.keys.push_back(std::move(key));
    return nk::kFixedSize + nameBytes;
  }

  uint32_t TakeValue(uint32_t start, uint32_t end, FoundIn place) {
    namespace vk = hive::value_record;
    const uint8_t* record = m_image + start;
    if (end - start < vk::kName) return 0;
    const uint32_t nameBytes = hive::LoadU16(record + vk::kNameLength);
    if (nameBytes > end - start - vk::kName) return 0;
    DeletedValue value;
    value.storedLength = hive::LoadU32(record + vk::kDataLength);
    value.dataOffset = hive::LoadU32(record + vk::kDataOffset);
    const uint32_t length = value.storedLength & ~vk::kInlineData;
    const bool markedInline = (value.storedLength & vk::kInlineData) != 0;
    if (markedInline ? length > vk::kInlineCapacity
                     : length > vk::kInlineCapacity && (value.dataOffset % 8 != 0 || value.dataOffset < 8)) {
      return 0;
    }
    const bool singleByte = (hive::LoadU16(record + vk::kFlags) & vk::kNameIsSingleByte) != 0;
    if (!TakePlausibleName(record + vk::kName, nameBytes, !singleByte, value.name)) return 0;
    value.recordOffset = start;
    value.foundIn = place;
    value.isDefault = !singleByte && nameBytes == 0;
    value.type = hive::LoadU32(record + vk::kType);
    m_records.values.push_back(std::move(value));
    return vk::kName + nameBytes;
  }

  const uint8_t* m_image;
  uint32_t m_size;
  const ReferenceMap& m_map;
  DeletedRecords& m_records;
};

// Where the hive bins end: as the base block states it, when that lies
// inside the image; else the image's end.
uint32_t BinsEnd(const hive::HiveFile& hive, uint32_t imageSize) {
  const uint32_t stated = hive::LoadU32(hive.BaseBlock().data() + hive::base_block::kHiveBinsSize);
  const uint64_t end = uint64_t{hive::kHeaderAreaSize} + stated;
  return end <= imageSize ? static_cast<uint32_t>(end) : imageSize;
}

}  // namespace

void ScanFreeSpace(const hive::HiveFile& hive, const uint8_t* image, const ReferenceMap& map,
                   DeletedRecords& records, const std::atomic<bool>* stop) {
  FreeSpaceScanner(image, map, records).ScanImage(BinsEnd(hive, map.ImageSize()), stop);
}

}  // namespace deleted
