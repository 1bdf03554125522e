#include "hive_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "hive/format.h"
#include "hive/little_endian.h"

namespace testsupport {
namespace {

namespace bb = hive::base_block;
namespace bin = hive::hive_bin;
namespace nk = hive::key_node;
namespace sl = hive::subkey_list;
namespace vk = hive::value_record;

constexpr uint32_t kBinUnit = 4096;
// 2020-01-01 00:00:00 UTC as a FILETIME: every key and the base block carry it,
// so built hives are byte-for-byte reproducible.
constexpr uint64_t kTimestamp = 132223104000000000ULL;

void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void StoreU64(uint8_t* p, uint64_t v) {
  hive::StoreU32(p, static_cast<uint32_t>(v));
  hive::StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

uint32_t RoundUp(uint64_t n, uint32_t unit) {
  const uint64_t rounded = (n + unit - 1) / unit * unit;
  if (rounded > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("hive image would exceed 4 GiB");
  }
  return static_cast<uint32_t>(rounded);
}

uint32_t CellSizeOf(uint32_t recordSize) { return RoundUp(uint64_t{4} + recordSize, 8); }

// The upper-case form Windows hashes names with, for the scripts tests use:
// ASCII, Latin-1, basic Greek and Cyrillic. Other characters hash as stored.
uint32_t Upcase(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

uint32_t NameChar(const uint8_t* name, bool utf16, uint32_t index) {
  return utf16 ? hive::LoadU16(name + 2 * index) : name[index];
}

}  // namespace

HiveBuilder::HiveBuilder(std::string_view rootName) {
  AddKeyNamed(-1, {reinterpret_cast<const uint8_t*>(rootName.data()), rootName.size()},
              false);
}

uint32_t HiveBuilder::StoreName(std::span<const uint8_t> name) {
  if (name.size() > std::numeric_limits<uint16_t>::max()) {
    throw std::length_error("name longer than 65535 bytes");
  }
  const auto start = static_cast<uint32_t>(m_names.size());
  m_names.insert(m_names.end(), name.begin(), name.end());
  return start;
}

HiveBuilder::KeyId HiveBuilder::AddKeyNamed(KeyId parent, std::span<const uint8_t> name,
                                            bool utf16) {
  const auto id = static_cast<KeyId>(m_keys.size());
  Key key;
  key.parent = parent;
  key.nameStart = StoreName(name);
  key.nameBytes = static_cast<uint16_t>(name.size());
  key.utf16Name = utf16;
  m_keys.push_back(key);
  if (parent >= 0) {
    Key& p = m_keys.at(static_cast<size_t>(parent));
    if (p.lastChild >= 0) {
      m_keys[static_cast<size_t>(p.lastChild)].nextSibling = id;
    } else {
      p.firstChild = id;
    }
    p.lastChild = id;
    ++p.childCount;
  }
  return id;
}

HiveBuilder::KeyId HiveBuilder::AddKey(KeyId parent, std::string_view latin1Name) {
  return AddKeyNamed(
      parent, {reinterpret_cast<const uint8_t*>(latin1Name.data()), latin1Name.size()}, false);
}

HiveBuilder::KeyId HiveBuilder::AddKeyUtf16(KeyId parent, std::u16string_view name) {
  std::vector<uint8_t> bytes(name.size() * 2);
  for (size_t i = 0; i < name.size(); ++i) StoreU16(&bytes[2 * i], name[i]);
  return AddKeyNamed(parent, bytes, true);
}

void HiveBuilder::SetListKind(KeyId key, ListKind kind, int32_t leafSize) {
  if (leafSize < 1) throw std::invalid_argument("leaf size must be at least 1");
  Key& k = m_keys.at(static_cast<size_t>(key));
  k.listKind = kind;
  k.leafSize = leafSize;
}

HiveBuilder::ValueId HiveBuilder::AddValueNamed(KeyId key, std::span<const uint8_t> name,
                                                uint16_t flags, uint32_t type,
                                                std::span<const uint8_t> data) {
  if (data.size() > 0x7FFFFFFF) throw std::length_error("value data too long");
  Key& k = m_keys.at(static_cast<size_t>(key));
  const auto id = static_cast<ValueId>(m_values.size());
  Value value;
  value.nameStart = StoreName(name);
  value.nameBytes = static_cast<uint16_t>(name.size());
  value.flags = flags;
  value.type = type;
  value.dataLength = static_cast<uint32_t>(data.size());
  value.dataStart = m_data.size();
  m_data.insert(m_data.end(), data.begin(), data.end());
  m_values.push_back(value);
  if (k.lastValue >= 0) {
    m_values[static_cast<size_t>(k.lastValue)].next = id;
  } else {
    k.firstValue = id;
  }
  k.lastValue = id;
  ++k.valueCount;
  return id;
}

HiveBuilder::ValueId HiveBuilder::AddValue(KeyId key, std::string_view latin1Name,
                                           uint32_t type, std::span<const uint8_t> data) {
  return AddValueNamed(
      key, {reinterpret_cast<const uint8_t*>(latin1Name.data()), latin1Name.size()},
      vk::kNameIsSingleByte, type, data);
}

HiveBuilder::ValueId HiveBuilder::AddValueUtf16Name(KeyId key, std::u16string_view name,
                                                    uint32_t type,
                                                    std::span<const uint8_t> data) {
  std::vector<uint8_t> bytes(name.size() * 2);
  for (size_t i = 0; i < name.size(); ++i) StoreU16(&bytes[2 * i], name[i]);
  return AddValueNamed(key, bytes, 0, type, data);
}

HiveBuilder::ValueId HiveBuilder::AddBigDataValue(KeyId key, std::string_view latin1Name,
                                                  uint32_t type, std::span<const uint8_t> data) {
  if (data.size() <= 4) throw std::invalid_argument("big data needs more than 4 bytes");
  if (data.size() > size_t{0xFFFF} * hive::big_data::kSegmentBytes) {
    throw std::length_error("big data with more than 65535 segments");
  }
  const ValueId id = AddValue(key, latin1Name, type, data);
  m_values[static_cast<size_t>(id)].bigData = true;
  return id;
}

HiveBuilder::ValueId HiveBuilder::AddDefaultValue(KeyId key, uint32_t type,
                                                  std::span<const uint8_t> data) {
  return AddValueNamed(key, {}, 0, type, data);
}

// Keys in pre-order without a stack: down to the first child, else on to the
// next sibling of the nearest ancestor that has one.
template <typename Visit>
void HiveBuilder::VisitPreOrder(Visit visit) {
  KeyId id = 0;
  while (id >= 0) {
    Key& key = m_keys[static_cast<size_t>(id)];
    visit(key);
    if (key.firstChild >= 0) {
      id = key.firstChild;
      continue;
    }
    while (id >= 0 && m_keys[static_cast<size_t>(id)].nextSibling < 0) {
      id = m_keys[static_cast<size_t>(id)].parent;
    }
    if (id >= 0) id = m_keys[static_cast<size_t>(id)].nextSibling;
  }
}

// Cells go one after another; a cell that does not fit in the rest of the
// current bin starts a new one, as large as that cell needs.
uint32_t HiveBuilder::Allocate(uint32_t recordSize) {
  const uint32_t cellSize = CellSizeOf(recordSize);
  if (m_bins.empty() || uint64_t{m_bins.back().used} + cellSize >
                            uint64_t{m_bins.back().start} + m_bins.back().size) {
    Bin next;
    next.start = m_bins.empty() ? static_cast<uint32_t>(hive::kHeaderAreaSize)
                                : m_bins.back().start + m_bins.back().size;
    next.size = RoundUp(uint64_t{bin::kHeaderSize} + cellSize, kBinUnit);
    next.used = next.start + bin::kHeaderSize;
    RoundUp(uint64_t{next.start} + next.size, kBinUnit);  // throws past 4 GiB
    m_bins.push_back(next);
  }
  Bin& current = m_bins.back();
  const uint32_t record = current.used + 4;
  current.used += cellSize;
  return record;
}

namespace {
bool HasRiLeaves(ListKind kind) {
  return kind == ListKind::kRiOfLi || kind == ListKind::kRiOfLf || kind == ListKind::kRiOfLh;
}
uint32_t LeafElementSize(ListKind kind) {
  return (kind == ListKind::kLi || kind == ListKind::kRiOfLi) ? 4 : 8;
}
}  // namespace

void HiveBuilder::LayOutKey(Key& key) {
  // List counts are 16-bit fields.
  const uint32_t perList = HasRiLeaves(key.listKind) ? static_cast<uint32_t>(key.leafSize)
                                                     : key.childCount;
  if (std::min(perList, key.childCount) > 0xFFFF || key.valueCount > 0x3FFFFFFF) {
    throw std::length_error("subkey or value list too long");
  }
  key.keyOffset = Allocate(nk::kName + uint32_t{key.nameBytes});
  key.listOffset = 0;
  key.leafCount = 0;
  if (key.childCount > 0) {
    const uint32_t elementSize = LeafElementSize(key.listKind);
    if (HasRiLeaves(key.listKind)) {
      const auto leafSize = static_cast<uint32_t>(key.leafSize);
      key.leafCount = (key.childCount + leafSize - 1) / leafSize;
      if (key.leafCount > 0xFFFF) throw std::length_error("index root too long");
      key.listOffset = Allocate(sl::kHeaderSize + 4 * key.leafCount);
      key.leafStart = static_cast<uint32_t>(m_leafOffsets.size());
      for (uint32_t i = 0; i < key.leafCount; ++i) {
        const uint32_t count = std::min(leafSize, key.childCount - i * leafSize);
        m_leafOffsets.push_back(Allocate(sl::kHeaderSize + elementSize * count));
      }
    } else {
      key.listOffset = Allocate(sl::kHeaderSize + elementSize * key.childCount);
    }
  }
  key.valueListOffset = key.valueCount > 0 ? Allocate(4 * key.valueCount) : 0;
  for (ValueId v = key.firstValue; v >= 0;) {
    Value& value = m_values[static_cast<size_t>(v)];
    value.valueOffset = Allocate(vk::kName + uint32_t{value.nameBytes});
    if (value.bigData) {
      LayOutBigData(value);
    } else {
      value.dataOffset = value.dataLength > 4 ? Allocate(value.dataLength) : 0;
    }
    v = value.next;
  }
}

// The "db" record, the segment list, then each segment.
void HiveBuilder::LayOutBigData(Value& value) {
  constexpr uint32_t kSegment = hive::big_data::kSegmentBytes;
  value.segmentCount = (value.dataLength + kSegment - 1) / kSegment;
  value.dataOffset = Allocate(hive::big_data::kRecordSize);
  value.segmentListOffset = Allocate(4 * value.segmentCount);
  value.segmentStart = static_cast<uint32_t>(m_segmentOffsets.size());
  for (uint32_t i = 0; i < value.segmentCount; ++i) {
    m_segmentOffsets.push_back(Allocate(std::min(kSegment, value.dataLength - i * kSegment)));
  }
}

void HiveBuilder::WriteBigData(const Value& value, const uint8_t* data) {
  namespace db = hive::big_data;
  uint8_t* record = RecordAt(value.dataOffset, db::kRecordSize);
  StoreU16(record + db::kSignature, db::kDbSignature);
  StoreU16(record + db::kSegmentCount, static_cast<uint16_t>(value.segmentCount));
  hive::StoreU32(record + db::kSegmentList, CellOf(value.segmentListOffset));
  uint8_t* list = RecordAt(value.segmentListOffset, 4 * value.segmentCount);
  for (uint32_t i = 0; i < value.segmentCount; ++i) {
    const uint32_t segment = m_segmentOffsets[value.segmentStart + i];
    const uint32_t size = std::min(db::kSegmentBytes, value.dataLength - i * db::kSegmentBytes);
    hive::StoreU32(list + 4 * i, CellOf(segment));
    std::memcpy(RecordAt(segment, size), data + size_t{i} * db::kSegmentBytes, size);
  }
}

// The record's cell size field is written with it: negative, the cell is in use.
uint8_t* HiveBuilder::RecordAt(uint32_t recordOffset, uint32_t recordSize) {
  uint8_t* record = m_image.data() + recordOffset;
  hive::StoreU32(record - 4, static_cast<uint32_t>(-static_cast<int64_t>(CellSizeOf(recordSize))));
  return record;
}

void HiveBuilder::WriteSubkeyLists(const Key& key) {
  const bool isRi = HasRiLeaves(key.listKind);
  uint16_t leafSignature = sl::kFastLeaf;
  if (key.listKind == ListKind::kLh || key.listKind == ListKind::kRiOfLh) {
    leafSignature = sl::kHashLeaf;
  } else if (key.listKind == ListKind::kLi || key.listKind == ListKind::kRiOfLi) {
    leafSignature = sl::kIndexLeaf;
  }
  const uint32_t elementSize = LeafElementSize(key.listKind);
  const uint32_t leafSize = isRi ? static_cast<uint32_t>(key.leafSize) : key.childCount;
  const uint32_t leafCount = isRi ? key.leafCount : 1;

  if (isRi) {
    uint8_t* ri = RecordAt(key.listOffset, sl::kHeaderSize + 4 * leafCount);
    StoreU16(ri + sl::kSignature, sl::kIndexRoot);
    StoreU16(ri + sl::kCount, static_cast<uint16_t>(leafCount));
    for (uint32_t i = 0; i < leafCount; ++i) {
      hive::StoreU32(ri + sl::kElements + 4 * i, CellOf(m_leafOffsets[key.leafStart + i]));
    }
  }
  KeyId child = key.firstChild;
  for (uint32_t leaf = 0; leaf < leafCount; ++leaf) {
    const uint32_t count = std::min(leafSize, key.childCount - leaf * leafSize);
    const uint32_t offset = isRi ? m_leafOffsets[key.leafStart + leaf] : key.listOffset;
    uint8_t* list = RecordAt(offset, sl::kHeaderSize + elementSize * count);
    StoreU16(list + sl::kSignature, leafSignature);
    StoreU16(list + sl::kCount, static_cast<uint16_t>(count));
    for (uint32_t i = 0; i < count; ++i) {
      const Key& c = m_keys[static_cast<size_t>(child)];
      uint8_t* element = list + sl::kElements + elementSize * i;
      hive::StoreU32(element, CellOf(c.keyOffset));
      const uint8_t* name = m_names.data() + c.nameStart;
      const uint32_t chars = c.utf16Name ? c.nameBytes / 2u : c.nameBytes;
      if (leafSignature == sl::kFastLeaf) {
        // The first four characters, one byte each, zero-padded.
        for (uint32_t j = 0; j < 4 && j < chars; ++j) {
          const uint32_t ch = NameChar(name, c.utf16Name, j);
          element[4 + j] = ch < 0x100 ? static_cast<uint8_t>(ch) : '?';
        }
      } else if (leafSignature == sl::kHashLeaf) {
        uint32_t hash = 0;
        for (uint32_t j = 0; j < chars; ++j) hash = hash * 37 + Upcase(NameChar(name, c.utf16Name, j));
        hive::StoreU32(element + 4, hash);
      }
      child = c.nextSibling;
    }
  }
}

void HiveBuilder::WriteKey(const Key& key) {
  uint8_t* rec = RecordAt(key.keyOffset, nk::kName + uint32_t{key.nameBytes});
  const bool isRoot = key.parent < 0;
  uint16_t flags = key.utf16Name ? 0 : nk::kCompressedName;
  if (isRoot) flags = nk::kRootFlags;
  StoreU16(rec + nk::kSignature, nk::kNkSignature);
  StoreU16(rec + nk::kFlags, flags);
  StoreU64(rec + 0x04, kTimestamp);
  // The root's parent field names no cell.
  hive::StoreU32(rec + 0x10,
                 isRoot ? hive::kNoCell : CellOf(m_keys[static_cast<size_t>(key.parent)].keyOffset));
  hive::StoreU32(rec + nk::kSubkeyCount, key.childCount);
  hive::StoreU32(rec + nk::kSubkeyList, key.childCount > 0 ? CellOf(key.listOffset) : hive::kNoCell);
  hive::StoreU32(rec + 0x20, hive::kNoCell);  // volatile subkey list
  hive::StoreU32(rec + nk::kValueCount, key.valueCount);
  hive::StoreU32(rec + nk::kValueList,
                 key.valueCount > 0 ? CellOf(key.valueListOffset) : hive::kNoCell);
  hive::StoreU32(rec + 0x2C, hive::kNoCell);  // security
  hive::StoreU32(rec + 0x30, hive::kNoCell);  // class name

  // Largest subkey name, value name (both in UTF-16 bytes) and value data.
  uint32_t maxSubkeyName = 0;
  for (KeyId c = key.firstChild; c >= 0; c = m_keys[static_cast<size_t>(c)].nextSibling) {
    const Key& child = m_keys[static_cast<size_t>(c)];
    maxSubkeyName = std::max<uint32_t>(maxSubkeyName,
                                       child.utf16Name ? child.nameBytes : 2u * child.nameBytes);
  }
  uint32_t maxValueName = 0;
  uint32_t maxData = 0;
  for (ValueId v = key.firstValue; v >= 0; v = m_values[static_cast<size_t>(v)].next) {
    const Value& value = m_values[static_cast<size_t>(v)];
    const bool singleByte = (value.flags & vk::kNameIsSingleByte) != 0;
    maxValueName = std::max<uint32_t>(maxValueName,
                                      singleByte ? 2u * value.nameBytes : value.nameBytes);
    maxData = std::max(maxData, value.dataLength);
  }
  hive::StoreU32(rec + 0x34, maxSubkeyName);
  hive::StoreU32(rec + 0x3C, maxValueName);
  hive::StoreU32(rec + 0x40, maxData);
  StoreU16(rec + nk::kNameLength, key.nameBytes);
  std::memcpy(rec + nk::kName, m_names.data() + key.nameStart, key.nameBytes);

  if (key.childCount > 0) WriteSubkeyLists(key);
  if (key.valueCount > 0) {
    uint8_t* list = RecordAt(key.valueListOffset, 4 * key.valueCount);
    uint32_t i = 0;
    for (ValueId v = key.firstValue; v >= 0; v = m_values[static_cast<size_t>(v)].next) {
      const Value& value = m_values[static_cast<size_t>(v)];
      hive::StoreU32(list + 4 * i++, CellOf(value.valueOffset));
      WriteValue(value);
    }
  }
}

void HiveBuilder::WriteValue(const Value& value) {
  uint8_t* rec = RecordAt(value.valueOffset, vk::kName + uint32_t{value.nameBytes});
  const uint8_t* data = m_data.data() + value.dataStart;
  StoreU16(rec + vk::kSignature, vk::kVkSignature);
  StoreU16(rec + vk::kNameLength, value.nameBytes);
  if (value.dataLength <= 4) {
    hive::StoreU32(rec + vk::kDataLength, value.dataLength | vk::kInlineData);
    if (value.dataLength > 0) std::memcpy(rec + vk::kDataOffset, data, value.dataLength);
  } else {
    hive::StoreU32(rec + vk::kDataLength, value.dataLength);
    hive::StoreU32(rec + vk::kDataOffset, CellOf(value.dataOffset));
    if (value.bigData) {
      WriteBigData(value, data);
    } else {
      std::memcpy(RecordAt(value.dataOffset, value.dataLength), data, value.dataLength);
    }
  }
  hive::StoreU32(rec + vk::kType, value.type);
  StoreU16(rec + vk::kFlags, value.flags);
  std::memcpy(rec + vk::kName, m_names.data() + value.nameStart, value.nameBytes);
}

// The bin's header, and one free cell (positive size) over the rest of it.
void HiveBuilder::WriteBin(const Bin& b) {
  uint8_t* p = m_image.data() + b.start;
  hive::StoreU32(p + bin::kSignature, bin::kHbinSignature);
  hive::StoreU32(p + bin::kOffset, b.start - static_cast<uint32_t>(hive::kHeaderAreaSize));
  hive::StoreU32(p + bin::kSize, b.size);
  StoreU64(p + 0x14, kTimestamp);
  if (b.used < b.start + b.size) hive::StoreU32(m_image.data() + b.used, b.start + b.size - b.used);
}

void HiveBuilder::WriteBaseBlock(uint32_t rootRecord) {
  uint8_t* p = m_image.data();
  hive::StoreU32(p + bb::kSignature, bb::kRegfSignature);
  hive::StoreU32(p + bb::kPrimarySequence, 1);
  hive::StoreU32(p + bb::kSecondarySequence, 1);
  StoreU64(p + 12, kTimestamp);
  hive::StoreU32(p + bb::kMajorVersion, 1);
  hive::StoreU32(p + bb::kMinorVersion, m_minorVersion);
  hive::StoreU32(p + bb::kFileType, 0);
  hive::StoreU32(p + bb::kFileFormat, 1);
  hive::StoreU32(p + bb::kRootCell, CellOf(rootRecord));
  hive::StoreU32(p + bb::kHiveBinsSize,
                 static_cast<uint32_t>(m_image.size()) - static_cast<uint32_t>(hive::kHeaderAreaSize));
  hive::StoreU32(p + bb::kClusteringFactor, 1);
  FixChecksum();
}

const std::vector<uint8_t>& HiveBuilder::Build() {
  m_bins.clear();
  m_leafOffsets.clear();
  m_segmentOffsets.clear();
  VisitPreOrder([this](Key& key) { LayOutKey(key); });
  const Bin& last = m_bins.back();
  m_image.assign(size_t{last.start} + last.size, 0);
  VisitPreOrder([this](const Key& key) { WriteKey(key); });
  for (const Bin& b : m_bins) WriteBin(b);
  WriteBaseBlock(m_keys[0].keyOffset);
  return m_image;
}

uint32_t HiveBuilder::KeyOffset(KeyId key) const {
  return m_keys.at(static_cast<size_t>(key)).keyOffset;
}

uint32_t HiveBuilder::SubkeyListOffset(KeyId key) const {
  return m_keys.at(static_cast<size_t>(key)).listOffset;
}

std::vector<uint32_t> HiveBuilder::LeafListOffsets(KeyId key) const {
  const Key& k = m_keys.at(static_cast<size_t>(key));
  const auto first = m_leafOffsets.begin() + k.leafStart;
  return k.leafCount > 0 ? std::vector<uint32_t>(first, first + k.leafCount)
                         : std::vector<uint32_t>{};
}

uint32_t HiveBuilder::ValueListOffset(KeyId key) const {
  return m_keys.at(static_cast<size_t>(key)).valueListOffset;
}

uint32_t HiveBuilder::ValueOffset(ValueId value) const {
  return m_values.at(static_cast<size_t>(value)).valueOffset;
}

uint32_t HiveBuilder::DataOffset(ValueId value) const {
  return m_values.at(static_cast<size_t>(value)).dataOffset;
}

uint32_t HiveBuilder::SegmentListOffset(ValueId value) const {
  return m_values.at(static_cast<size_t>(value)).segmentListOffset;
}

std::vector<uint32_t> HiveBuilder::SegmentOffsets(ValueId value) const {
  const Value& v = m_values.at(static_cast<size_t>(value));
  const auto first = m_segmentOffsets.begin() + v.segmentStart;
  return std::vector<uint32_t>(first, first + v.segmentCount);
}

uint32_t HiveBuilder::AppendCell(std::span<const uint8_t> record) {
  if (record.size() > 0x7FFFFFF0) throw std::length_error("record too long");
  const auto recordSize = static_cast<uint32_t>(record.size());
  const uint32_t cellSize = CellSizeOf(recordSize);
  if (m_image.size() < static_cast<size_t>(hive::kHeaderAreaSize)) {
    m_image.resize(static_cast<size_t>(hive::kHeaderAreaSize), 0);
  }
  Bin b;
  b.start = RoundUp(m_image.size(), 1);
  b.size = RoundUp(uint64_t{bin::kHeaderSize} + cellSize, kBinUnit);
  b.used = b.start + bin::kHeaderSize + cellSize;
  m_image.resize(uint64_t{b.start} + b.size, 0);
  const uint32_t recordOffset = b.start + bin::kHeaderSize + 4;
  std::memcpy(RecordAt(recordOffset, recordSize), record.data(), record.size());
  WriteBin(b);
  PatchU32(bb::kHiveBinsSize,
           static_cast<uint32_t>(m_image.size()) - static_cast<uint32_t>(hive::kHeaderAreaSize));
  FixChecksum();
  return recordOffset;
}

void HiveBuilder::PatchBytes(uint32_t fileOffset, std::span<const uint8_t> bytes) {
  if (uint64_t{fileOffset} + bytes.size() > m_image.size()) {
    throw std::out_of_range("patch past the end of the hive image");
  }
  if (!bytes.empty()) std::memcpy(m_image.data() + fileOffset, bytes.data(), bytes.size());
}

void HiveBuilder::PatchU16(uint32_t fileOffset, uint16_t value) {
  uint8_t bytes[2];
  StoreU16(bytes, value);
  PatchBytes(fileOffset, bytes);
}

void HiveBuilder::PatchU32(uint32_t fileOffset, uint32_t value) {
  uint8_t bytes[4];
  hive::StoreU32(bytes, value);
  PatchBytes(fileOffset, bytes);
}

void HiveBuilder::FreeCells(uint32_t firstRecord, uint32_t lastRecord) {
  const int32_t lastCell = hive::LoadI32(m_image.data() + lastRecord - 4);
  const auto lastCellSize = static_cast<uint32_t>(lastCell < 0 ? -lastCell : lastCell);
  PatchU32(firstRecord - 4, lastRecord + lastCellSize - firstRecord);
}

void HiveBuilder::AppendBytes(std::span<const uint8_t> bytes) { m_image.insert(m_image.end(), bytes.begin(), bytes.end()); }

void HiveBuilder::Truncate(uint32_t size) {
  if (size < m_image.size()) m_image.resize(size);
}

// XOR of the first 127 dwords; Windows stores 0xFFFFFFFE for 0xFFFFFFFF and
// 1 for 0, so the field is never all-zero or all-one bits.
void HiveBuilder::FixChecksum() {
  if (m_image.size() < static_cast<size_t>(hive::kBaseBlockSize)) return;
  uint32_t sum = 0;
  for (int32_t i = 0; i < bb::kChecksum; i += 4) sum ^= hive::LoadU32(m_image.data() + i);
  if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
  if (sum == 0) sum = 1;
  hive::StoreU32(m_image.data() + bb::kChecksum, sum);
}

bool HiveBuilder::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(m_image.data()),
            static_cast<std::streamsize>(m_image.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace testsupport
