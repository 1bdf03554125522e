#include "deleted/reference_map.h"

#include <algorithm>
#include <bit>
#include <functional>

#include "hive/format.h"
#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive/value.h"
#include "hive/value_data.h"

namespace deleted {
namespace {

constexpr uint32_t kSizeField = 4;  // a cell's size field precedes its record
constexpr int32_t kStopCheckEvery = 1024;
constexpr int32_t kPrefetchAhead = 8;

// The bits of a word from bit `from` to bit `to`, both included.
uint64_t BitsBetween(uint32_t from, uint32_t to) {
  const uint64_t upTo = to == 63 ? ~uint64_t{0} : (uint64_t{1} << (to + 1)) - 1;
  return upTo & ~((uint64_t{1} << from) - 1);
}

class LiveMarker {
 public:
  LiveMarker(const hive::HiveFile& hive, ReferenceMap& map, std::vector<SlackEntry>& slack)
      : m_hive(hive), m_map(map), m_slack(slack), m_source(hive),
        m_slackBudget(map.ImageSize() / 4), m_segmentBudget(map.ImageSize() / 4) {}

  void MarkKey(int32_t item, uint32_t recordOffset) {
    hive::KeyNode key;
    if (!hive::ReadKeyNodeInPlace(m_hive, recordOffset, key)) return;
    const uint64_t own = hive::key_node::kFixedSize + uint64_t{hive::KeyNameOf(key).count};
    // A key listed under several parents is marked, and its cells followed, once.
    if (!IsNew(recordOffset, MarkRecord(recordOffset, own))) return;
    if (const uint32_t list = hive::SubkeyListCell(key); list != hive::kNoCell) {
      MarkSubkeyList(hive::RecordOffsetOf(list), true);
    }
    MarkValues(key, item);
    MarkSecurity(hive::LoadU32(key.bytes.data() + hive::key_node::kSecurityCell));
    const uint32_t classCell = hive::LoadU32(key.bytes.data() + hive::key_node::kClassNameCell);
    const uint16_t classLength = hive::LoadU16(key.bytes.data() + hive::key_node::kClassNameLength);
    if (classCell != hive::kNoCell && classLength != 0) MarkRecord(hive::RecordOffsetOf(classCell), classLength);
  }

 private:
  // Marks the record's cell from its size field to the record's own end, as
  // far as nothing marked stands in the way; returns where the new marks end.
  uint32_t MarkRecord(uint32_t recordOffset, uint64_t ownLength) {
    if (recordOffset < kSizeField) return recordOffset;
    const uint64_t end = std::min<uint64_t>(uint64_t{recordOffset} + ownLength, m_map.ImageSize());
    return m_map.MarkNew(recordOffset - kSizeField, static_cast<uint32_t>(std::max<uint64_t>(end, recordOffset)));
  }

  static bool IsNew(uint32_t recordOffset, uint32_t markedEnd) { return markedEnd > recordOffset; }

  // The bytes of the record's cell after its size field; 0 when the size
  // field lies outside the image.
  uint32_t CellRoom(uint32_t recordOffset) const {
    const uint8_t* size = recordOffset >= kSizeField ? m_hive.BytesAt(recordOffset - kSizeField, kSizeField) : nullptr;
    if (size == nullptr) return 0;
    const int64_t cell = hive::LoadI32(size);
    const uint64_t magnitude = static_cast<uint64_t>(cell < 0 ? -cell : cell);
    return magnitude > kSizeField ? static_cast<uint32_t>(magnitude - kSizeField) : 0;
  }

  // A subkey list; an index root's leaf lists too (an index root does not
  // name index roots).
  void MarkSubkeyList(uint32_t recordOffset, bool rootAllowed) {
    const uint8_t* header = m_hive.BytesAt(recordOffset, hive::subkey_list::kHeaderSize);
    if (header == nullptr) return;
    hive::SubkeyList list;
    list.recordOffset = recordOffset;
    list.signature = hive::LoadU16(header + hive::subkey_list::kSignature);
    list.elementCount = hive::LoadI16(header + hive::subkey_list::kCount);
    if (!hive::IsLeafList(list) && !hive::IsIndexRoot(list)) return;
    uint32_t stride = 0;
    const uint8_t* elements = hive::ListElementsInPlace(m_hive, list, stride);
    const uint32_t count = elements == nullptr ? 0 : static_cast<uint32_t>(list.elementCount);
    const uint32_t end = MarkRecord(recordOffset, hive::subkey_list::kHeaderSize + uint64_t{count} * stride);
    if (count == 0 || !IsNew(recordOffset, end) || !rootAllowed || !hive::IsIndexRoot(list)) return;
    const uint32_t newElements = (end - recordOffset - hive::subkey_list::kHeaderSize) / stride;
    for (uint32_t i = 0; i < std::min(count, newElements); ++i) {
      MarkSubkeyList(hive::RecordOffsetOf(hive::LoadU32(elements + i * stride)), false);
    }
  }

  void MarkValues(const hive::KeyNode& key, int32_t item) {
    hive::ValueList list;
    const int32_t count = hive::ValueListOf(key, list);
    if (count <= 0) return;
    const uint64_t own = 4 * uint64_t{static_cast<uint32_t>(count)};
    const uint32_t end = MarkRecord(list.recordOffset, own);
    if (!IsNew(list.recordOffset, end)) return;
    // The entries this list newly marked: in a sound hive all of them.
    const int32_t newEntries = static_cast<int32_t>(std::min<uint64_t>((end - list.recordOffset) / 4, own / 4));
    hive::ValueRecord value;
    for (int32_t i = 0; i < newEntries; ++i) {
      hive::ValueFetch fetch = hive::ValueFetch::kFetched;
      hive::GetValueInPlace(m_hive, list, i, value, &fetch);
      if (fetch == hive::ValueFetch::kEntryNotHeld) break;
      if (fetch == hive::ValueFetch::kFetched) MarkValue(value);
    }
    if (newEntries == count) CollectSlack(list, item);
  }

  // The entries past the count, to the end of the list's cell, that name "vk"
  // records. Bounded in all by a quarter of the image.
  void CollectSlack(const hive::ValueList& list, int32_t item) {
    const uint32_t capacity = CellRoom(list.recordOffset) / 4;
    for (uint32_t i = static_cast<uint32_t>(list.count); i < capacity && m_slackBudget > 0; ++i, --m_slackBudget) {
      const uint8_t* entry = m_hive.BytesAt(hive::ValueEntryOffset(list, static_cast<int32_t>(i)), 4);
      if (entry == nullptr) return;
      const uint32_t record = hive::RecordOffsetOf(hive::LoadU32(entry));
      const uint8_t* signature = m_hive.BytesAt(record, 2);
      if (signature != nullptr && hive::LoadU16(signature) == hive::value_record::kVkSignature) {
        m_slack.push_back({record, item});
      }
    }
  }

  void MarkValue(const hive::ValueRecord& value) {
    const uint64_t own = hive::value_record::kName + uint64_t{hive::ValueNameOf(value).count};
    if (!IsNew(value.recordOffset, MarkRecord(value.recordOffset, own))) return;
    const uint32_t length = hive::LoadU32(&value.bytes[hive::value_record::kDataLength]) & ~hive::value_record::kInlineData;
    if (length <= hive::value_record::kInlineCapacity) return;
    const uint32_t cell = hive::RecordOffsetOf(hive::LoadU32(&value.bytes[hive::value_record::kDataOffset]));
    if (length > hive::big_data::kSegmentBytes && MarkBigData(value, cell)) return;
    MarkRecord(cell, std::min(length, hive::kMaxValueDataBytes));
  }

  // The "db" record, its segment list and the segments' leading bytes, when
  // the value's data is big data; false, marking nothing, when it is not.
  bool MarkBigData(const hive::ValueRecord& value, uint32_t cell) {
    std::vector<std::pair<uint32_t, uint32_t>> pieces;
    const bool big = m_segmentBudget > 0 &&
                     hive::BigDataLeadingPieces(m_source, m_hive, value, [&](uint32_t segment, uint32_t count) {
                       pieces.emplace_back(segment, count);
                     });
    if (!big) return false;
    const uint8_t* record = m_hive.BytesAt(cell, hive::big_data::kRecordSize);
    if (record == nullptr) return true;  // not reached: the walk read it
    MarkRecord(cell, hive::big_data::kRecordSize);
    const uint32_t segments = hive::LoadU16(record + hive::big_data::kSegmentCount);
    MarkRecord(hive::RecordOffsetOf(hive::LoadU32(record + hive::big_data::kSegmentList)), 4 * uint64_t{segments});
    // Each walk reads up to one entry per 16,344 bytes of 64 MiB; the budget
    // keeps crafted values that share a segment list from repeating it.
    m_segmentBudget -= std::min<uint64_t>(m_segmentBudget, pieces.size() + 1);
    for (const auto& [segment, count] : pieces) MarkRecord(segment, count);
    return true;
  }

  void MarkSecurity(uint32_t cell) {
    if (cell == hive::kNoCell) return;
    const uint32_t record = hive::RecordOffsetOf(cell);
    const uint8_t* header = m_hive.BytesAt(record, hive::security::kDescriptor);
    if (header == nullptr || hive::LoadU16(header) != hive::security::kSkSignature) return;
    MarkRecord(record, hive::security::kDescriptor + uint64_t{hive::LoadU32(header + hive::security::kDescriptorLength)});
  }

  const hive::HiveFile& m_hive;
  ReferenceMap& m_map;
  std::vector<SlackEntry>& m_slack;
  hive::InPlaceBytes m_source;
  uint64_t m_slackBudget;
  uint64_t m_segmentBudget;
};

}  // namespace

ReferenceMap::ReferenceMap(uint32_t imageSize)
    : m_imageSize(imageSize), m_bits((uint64_t{imageSize} + 511) / 512, 0) {}

uint32_t ReferenceMap::MarkNew(uint32_t begin, uint32_t end) {
  end = std::min(end, m_imageSize);
  if (begin >= end || IsMarked(begin)) return begin;
  const uint32_t last = (end - 1) >> 3;
  for (uint32_t unit = begin >> 3; unit <= last;) {
    const uint32_t word = unit >> 6;
    const uint32_t to = std::min<uint32_t>(63, last - (word << 6));
    const uint64_t span = BitsBetween(unit & 63, to);
    const uint64_t already = m_bits[word] & span;
    if (already != 0) {
      const auto stop = static_cast<uint32_t>(std::countr_zero(already));
      m_bits[word] |= span & ((uint64_t{1} << stop) - 1);
      return std::max(begin, ((word << 6) + stop) << 3);
    }
    m_bits[word] |= span;
    unit = (word + 1) << 6;
  }
  return end;
}

uint32_t ReferenceMap::NextUnit(uint32_t from, uint32_t end, bool marked) const {
  if (from >= end) return end;
  if (IsMarked(from) == marked) return from;
  const uint64_t flip = marked ? 0 : ~uint64_t{0};
  for (uint32_t unit = (from >> 3) + 1; (uint64_t{unit} << 3) < end;) {
    const uint32_t word = unit >> 6;
    const uint64_t hits = (m_bits[word] ^ flip) & ~((uint64_t{1} << (unit & 63)) - 1);
    if (hits != 0) {
      const uint64_t at = (uint64_t{word} * 64 + static_cast<uint32_t>(std::countr_zero(hits))) << 3;
      return static_cast<uint32_t>(std::min<uint64_t>(at, end));
    }
    unit = (word + 1) << 6;
  }
  return end;
}

void MarkLiveCells(const hive::HiveFile& hive, const tree::KeyIndex& index, ReferenceMap& map,
                   std::vector<SlackEntry>& slack, const std::atomic<bool>* stop) {
  LiveMarker marker(hive, map, slack);
  for (int32_t place = 0; place < index.Size(); ++place) {
    if (place % kStopCheckEvery == 0 && stop != nullptr && stop->load(std::memory_order_relaxed)) return;
    // Key nodes lie all over the file: fetch a few ahead.
    if (place + kPrefetchAhead < index.Size()) hive.Prefetch(index.At(place + kPrefetchAhead).recordOffset);
    const tree::KeyIndexElement& element = index.At(place);
    marker.MarkKey(element.itemPosition, element.recordOffset);
  }
}

}  // namespace deleted
