#include "hive/in_place.h"

#include <algorithm>
#include <cstring>

#include "hive/format.h"
#include "hive/little_endian.h"

namespace hive {
namespace {

// The map never holds bytes at 2^31 or beyond, nor past the end of the file.
uint32_t MapLimit(const HiveFile& hive) {
  return static_cast<uint32_t>(std::min<int64_t>(hive.Size(), int64_t{INT32_MAX} + 1));
}

// Data of this many bytes or fewer is held in the data offset field.
constexpr uint32_t kInlineCapacity = 4;

}  // namespace

bool IsMappedInPlace(const HiveFile& hive) { return hive.BytesAt(0, kMinimumHiveSize) != nullptr; }

std::span<const uint8_t> HeldInPlace(const HiveFile& hive, uint32_t offset, uint32_t length) {
  const uint32_t limit = MapLimit(hive);
  if (offset >= limit) return {};
  const uint32_t held = std::min(length, limit - offset);
  const uint8_t* bytes = hive.BytesAt(offset, held);
  if (bytes == nullptr) return {};
  return {bytes, held};
}

bool ReadKeyNodeInPlace(const HiveFile& hive, uint32_t recordOffset, KeyNode& key) {
  const uint8_t* bytes = hive.BytesAt(recordOffset, key_node::kFixedSize);
  if (bytes == nullptr) return false;
  key.recordOffset = recordOffset;
  std::memcpy(key.bytes.data(), bytes, key_node::kFixedSize);
  return true;
}

void AppendKeyNameInPlace(const HiveFile& hive, const KeyNode& key, std::string& out) {
  const StoredName name = KeyNameOf(key);
  if (name.count == 0) return;
  AppendStoredName(name, HeldInPlace(hive, name.offset, name.count), out);
}

uint32_t GetValueInPlace(const HiveFile& hive, const ValueList& list, int32_t index,
                         ValueRecord& value, ValueFetch* fetch) {
  ValueFetch outcome = ValueFetch::kFetched;
  uint32_t type = 0;
  if (index < 0 || index >= list.count) {
    outcome = ValueFetch::kOutOfRange;
  } else if (const uint8_t* entry = hive.BytesAt(ValueEntryOffset(list, index), 4); entry == nullptr) {
    outcome = ValueFetch::kEntryNotHeld;
  } else {
    const uint32_t recordOffset = RecordOffsetOf(LoadU32(entry));
    const uint8_t* record = hive.BytesAt(recordOffset, value_record::kFixedSize);
    if (record == nullptr) {
      outcome = ValueFetch::kRecordNotHeld;
    } else {
      value.recordOffset = recordOffset;
      std::memcpy(value.bytes.data(), record, value_record::kFixedSize);
      type = LoadU32(&value.bytes[value_record::kType]);
    }
  }
  if (fetch != nullptr) *fetch = outcome;
  return type;
}

void AppendValueNameInPlace(const HiveFile& hive, const ValueRecord& value, std::string& out) {
  if (IsDefaultValue(value)) {
    out += kDefaultValueName;
    return;
  }
  const StoredName name = ValueNameOf(value);
  if (name.count == 0) return;
  AppendStoredName(name, HeldInPlace(hive, name.offset, name.count), out);
}

std::span<const uint8_t> ValueDataInPlace(const HiveFile& hive, const ValueRecord& value) {
  const uint32_t length = LoadU32(&value.bytes[value_record::kDataLength]) & ~value_record::kInlineData;
  if (length <= kInlineCapacity) return {&value.bytes[value_record::kDataOffset], length};
  // Bytes past the end of the file read as zeros, and a zero code unit ends
  // the text: the held bytes are all the text can use.
  const uint32_t offset = RecordOffsetOf(LoadU32(&value.bytes[value_record::kDataOffset]));
  return HeldInPlace(hive, offset, std::min(length, kMaxValueDataBytes));
}

}  // namespace hive
