#include "hive/value_data.h"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>

#include "hive/format.h"
#include "hive/little_endian.h"

namespace hive {
namespace {

constexpr uint32_t kHighestPosition = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());

// Where the data of a value lies.
struct DataPlace {
  uint32_t length = 0;  // bit 31 cleared
  bool isInline = false;
  uint32_t cell = 0;  // record offset of the data cell
  bool isBigData = false;
  uint32_t segmentList = 0;  // record offset of the segment list
  uint32_t segmentCount = 0;
};

bool HasBigData(const HiveFile& hive) {
  return LoadU32(hive.BaseBlock().data() + base_block::kMinorVersion) >= big_data::kFirstMinorVersion;
}

DataPlace LocateData(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value) {
  DataPlace place;
  place.length = LoadU32(&value.bytes[value_record::kDataLength]) & ~value_record::kInlineData;
  place.isInline = place.length <= value_record::kInlineCapacity;
  place.cell = RecordOffsetOf(LoadU32(&value.bytes[value_record::kDataOffset]));
  if (place.length <= big_data::kSegmentBytes || !HasBigData(hive) ||
      source.HeldFrom(place.cell) < big_data::kRecordSize) {
    return place;
  }
  std::array<uint8_t, big_data::kRecordSize> record{};
  source.Copy(place.cell, record.data(), big_data::kRecordSize);
  if (LoadU16(&record[big_data::kSignature]) != big_data::kDbSignature) return place;
  place.isBigData = true;
  place.segmentCount = LoadU16(&record[big_data::kSegmentCount]);
  place.segmentList = RecordOffsetOf(LoadU32(&record[big_data::kSegmentList]));
  return place;
}

// Walks the segments that hold the first count bytes of big data, in order:
// for each, visit(segment, at, take, part) with the segment's record offset,
// the part's place in the data, the bytes the hive holds of it (take) and the
// bytes it should give (part). Stops when the segment list ends in the hive or
// the budget of the file's size is spent.
template <typename Visit>
void WalkSegments(const HiveBytes& source, const HiveFile& hive, const DataPlace& place,
                  uint32_t count, Visit visit) {
  const uint32_t needed = count / big_data::kSegmentBytes + (count % big_data::kSegmentBytes != 0);
  const uint32_t segments = std::min(place.segmentCount, needed);
  uint64_t budget = static_cast<uint64_t>(std::max<int64_t>(hive.Size(), 0));
  for (uint32_t i = 0; i < segments && budget > 0; ++i) {
    // Entries lie one after another: once one is past the end, so are the rest.
    const uint64_t entry = uint64_t{place.segmentList} + 4 * uint64_t{i};
    if (entry > kHighestPosition || source.HeldFrom(static_cast<uint32_t>(entry)) < 4) break;
    std::array<uint8_t, 4> cell{};
    source.Copy(static_cast<uint32_t>(entry), cell.data(), 4);
    const uint32_t segment = RecordOffsetOf(LoadU32(cell.data()));
    const uint32_t at = i * big_data::kSegmentBytes;
    const uint32_t part = std::min(big_data::kSegmentBytes, count - at);
    const auto take = static_cast<uint32_t>(
        std::min<uint64_t>({part, source.HeldFrom(segment), budget}));
    budget -= take;
    if (!visit(segment, at, take, part)) break;
  }
}

// Supplies the first count bytes of big data into destination (when given)
// where the segments hold them, and returns how many leading bytes they
// supply without a gap.
uint32_t SupplySegments(const HiveBytes& source, const HiveFile& hive, const DataPlace& place,
                        uint32_t count, uint8_t* destination) {
  uint32_t leading = 0;
  bool gap = false;
  WalkSegments(source, hive, place, count,
               [&](uint32_t segment, uint32_t at, uint32_t take, uint32_t part) {
                 if (take > 0 && destination != nullptr) source.Copy(segment, destination + at, take);
                 if (!gap) leading += take;
                 gap = gap || take < part;
                 return true;
               });
  return leading;
}

// Supplies the first count bytes of data stored outside the value record, as
// SupplySegments does.
uint32_t Supply(const HiveBytes& source, const HiveFile& hive, const DataPlace& place,
                uint32_t count, uint8_t* destination) {
  if (place.isBigData) return SupplySegments(source, hive, place, count, destination);
  const uint32_t take = std::min(count, source.HeldFrom(place.cell));
  if (take > 0 && destination != nullptr) source.Copy(place.cell, destination, take);
  return take;
}

uint32_t CutCount(const HiveBytes& source, const HiveFile& hive, const DataPlace& place,
                  DataCut cut) {
  if (cut == DataCut::kWhole && place.length <= kMaxValueDataBytes) return place.length;
  const uint32_t leading =
      Supply(source, hive, place, std::min(place.length, kMaxValueDataBytes), nullptr);
  if (place.length > kMaxValueDataBytes) return leading;
  return std::min(place.length, leading + 1);
}

}  // namespace

uint32_t ReadPositionBytes::HeldFrom(uint32_t offset) const {
  const auto limit = static_cast<uint32_t>(std::min<int64_t>(m_hive.Size(), kHighestPosition));
  return offset < limit ? limit - offset : 0;
}

void ReadPositionBytes::Copy(uint32_t offset, uint8_t* destination, uint32_t count) const {
  SeekHive(m_hive, static_cast<int32_t>(offset));
  ReadHiveBytes(m_hive, destination, static_cast<int32_t>(count));
}

std::span<const uint8_t> GatherValueData(const HiveBytes& source, const HiveFile& hive,
                                         const ValueRecord& value, DataCut cut,
                                         std::vector<uint8_t>& bytes) {
  const DataPlace place = LocateData(source, hive, value);
  if (place.isInline) {
    const uint8_t* field = &value.bytes[value_record::kDataOffset];
    bytes.assign(field, field + place.length);
    return bytes;
  }
  const uint32_t count = CutCount(source, hive, place, cut);
  bytes.assign(count, 0);
  Supply(source, hive, place, count, bytes.data());
  return bytes;
}

uint32_t GatheredDataLength(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value, DataCut cut) {
  const DataPlace place = LocateData(source, hive, value);
  return place.isInline ? place.length : CutCount(source, hive, place, cut);
}

bool BigDataLeadingPieces(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value,
                          const std::function<void(uint32_t, uint32_t)>& take) {
  const DataPlace place = LocateData(source, hive, value);
  if (!place.isBigData) return false;
  WalkSegments(source, hive, place, std::min(place.length, kMaxValueDataBytes),
               [&](uint32_t segment, uint32_t, uint32_t held, uint32_t part) {
                 if (held > 0) take(segment, held);
                 return held == part;
               });
  return true;
}

void CopyValueData(const HiveBytes& source, const HiveFile& hive, const ValueRecord& value,
                   uint32_t count, uint8_t* destination) {
  const DataPlace place = LocateData(source, hive, value);
  if (!place.isInline) Supply(source, hive, place, count, destination);
}

}  // namespace hive
