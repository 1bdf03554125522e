#include "hive/value.h"

#include <algorithm>
#include <limits>

#include "hive/little_endian.h"
#include "hive/text.h"

namespace hive {

namespace {

using namespace value_record;

constexpr uint32_t kHighestPosition = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
// Data of this many bytes or fewer is held in the data offset field.
constexpr uint32_t kInlineCapacity = 4;

uint32_t DataLengthField(const ValueRecord& value) { return LoadU32(&value.bytes[kDataLength]); }
uint32_t DataOffsetField(const ValueRecord& value) { return LoadU32(&value.bytes[kDataOffset]); }
uint32_t DataRecordOffset(const ValueRecord& value) { return RecordOffsetOf(DataOffsetField(value)); }

// Bytes the file holds from offset on, as far as the read position can reach.
uint32_t HeldFrom(const HiveFile& hive, uint32_t offset) {
  const auto limit = static_cast<uint32_t>(std::min<int64_t>(hive.Size(), kHighestPosition));
  return offset < limit ? limit - offset : 0;
}

// Reads up to count bytes at a file offset. An offset the read position cannot
// reach (2^31 or more) reads nothing, rather than reading wherever the previous
// read ended. Bytes the file cannot supply keep what destination held.
void ReadAt(HiveFile& hive, uint32_t offset, uint8_t* destination, uint32_t count) {
  if (offset > kHighestPosition) return;
  count = std::min(count, kHighestPosition - offset);
  SeekHive(hive, static_cast<int32_t>(offset));
  ReadHiveBytes(hive, destination, static_cast<int32_t>(count));
}

// Fills bytes with count zero bytes and reads what the file supplies of the
// value's data cell over them.
void ReadDataZeroFilled(HiveFile& hive, const ValueRecord& value, std::vector<uint8_t>& bytes,
                        uint32_t count) {
  bytes.assign(count, 0);
  const uint32_t offset = DataRecordOffset(value);
  ReadAt(hive, offset, bytes.data(), std::min(count, HeldFrom(hive, offset)));
}

}  // namespace

int32_t GetValueList(HiveFile&, const KeyNode& key, ValueList& list) {
  return ValueListOf(key, list);
}

int32_t ValueListOf(const KeyNode& key, ValueList& list) {
  const int32_t count = GetValueCount(key);
  const uint32_t listCell = ValueListCell(key);
  if (count == 0 || listCell == kNoCell) return 0;
  list.count = count;
  list.recordOffset = RecordOffsetOf(listCell);
  return count;
}

uint32_t GetValue(HiveFile& hive, const ValueList& list, int32_t index, ValueRecord& value,
                  ValueFetch* fetch) {
  ValueFetch outcome = ValueFetch::kFetched;
  uint32_t type = 0;
  if (index < 0 || index >= list.count) {
    outcome = ValueFetch::kOutOfRange;
  } else {
    const uint32_t entryOffset = ValueEntryOffset(list, index);
    if (!HiveHolds(hive, entryOffset, 4)) {
      outcome = ValueFetch::kEntryNotHeld;
    } else {
      SeekHive(hive, static_cast<int32_t>(entryOffset));
      const uint32_t recordOffset = RecordOffsetOf(ReadHive32(hive));
      if (!HiveHolds(hive, recordOffset, kFixedSize)) {
        outcome = ValueFetch::kRecordNotHeld;
      } else {
        value.recordOffset = recordOffset;
        SeekHive(hive, static_cast<int32_t>(recordOffset));
        ReadHiveBytes(hive, value.bytes.data(), kFixedSize);
        type = GetValueType(hive, value);
      }
    }
  }
  if (fetch != nullptr) *fetch = outcome;
  return type;
}

uint32_t ValueEntryOffset(const ValueList& list, int32_t index) {
  return list.recordOffset + 4u * static_cast<uint32_t>(index);
}

bool IsDefaultValue(const ValueRecord& value) {
  const bool singleByte = (LoadU16(&value.bytes[kFlags]) & kNameIsSingleByte) != 0;
  return !singleByte && LoadI16(&value.bytes[kNameLength]) == 0;
}

StoredName ValueNameOf(const ValueRecord& value) {
  const int16_t length = LoadI16(&value.bytes[kNameLength]);
  StoredName name;
  name.offset = value.recordOffset + static_cast<uint32_t>(kName);
  // A negative length cannot be a name's size; such a value is shown unnamed.
  name.count = length > 0 ? static_cast<uint32_t>(length) : 0;
  name.utf16 = (LoadU16(&value.bytes[kFlags]) & kNameIsSingleByte) == 0;
  return name;
}

void AppendValueName(HiveFile& hive, const ValueRecord& value, std::string& out) {
  if (IsDefaultValue(value)) {
    out += kDefaultValueName;
    return;
  }
  const StoredName name = ValueNameOf(value);
  if (name.count == 0) return;
  std::array<uint8_t, 256> small{};
  std::vector<uint8_t> large;
  uint8_t* buffer = small.data();
  if (name.count > small.size()) {
    large.resize(name.count);
    buffer = large.data();
  }
  const uint32_t held = std::min(name.count, HeldFrom(hive, name.offset));
  ReadAt(hive, name.offset, buffer, held);
  AppendStoredName(name, {buffer, held}, out);
}

std::string GetValueName(HiveFile& hive, const ValueRecord& value) {
  std::string name;
  AppendValueName(hive, value, name);
  return name;
}

uint32_t GetValueType(HiveFile&, const ValueRecord& value) { return LoadU32(&value.bytes[kType]); }

uint32_t GetValueDataLength(HiveFile&, ValueRecord& value) {
  const uint32_t length = DataLengthField(value) & ~kInlineData;
  StoreU32(&value.bytes[kDataLength], length);
  return length;
}

void AppendValueText(HiveFile& hive, ValueRecord& value, std::string& out,
                     std::vector<uint8_t>& scratch) {
  const uint32_t length = GetValueDataLength(hive, value);
  if (length <= kInlineCapacity) {
    AppendUtf16Le(out, &value.bytes[kDataOffset], length);
    return;
  }
  // The text ends at the first zero code unit, and every byte past what the
  // file holds is zero: one byte beyond the held ones is all the text can use.
  const uint32_t held = HeldFrom(hive, DataRecordOffset(value));
  const uint32_t count = length <= kMaxValueDataBytes
                             ? std::min(length, held + 1)
                             : std::min(held, kMaxValueDataBytes);
  ReadDataZeroFilled(hive, value, scratch, count);
  AppendUtf16Le(out, scratch.data(), count);
}

std::string GetValueText(HiveFile& hive, ValueRecord& value) {
  std::string text;
  std::vector<uint8_t> scratch;
  AppendValueText(hive, value, text, scratch);
  return text;
}

int ReadValueData(HiveFile& hive, const ValueRecord& value, std::span<uint8_t> buffer) {
  const auto storedLength = static_cast<int32_t>(DataLengthField(value));
  if (storedLength <= static_cast<int32_t>(kInlineCapacity)) return 0;
  const auto count = static_cast<uint32_t>(
      std::min<size_t>(static_cast<size_t>(storedLength), buffer.size()));
  ReadAt(hive, DataRecordOffset(value), buffer.data(), count);
  return 1;
}

uint32_t GetValueDword(HiveFile& hive, const ValueRecord& value) {
  const auto storedLength = static_cast<int32_t>(DataLengthField(value));
  if (storedLength <= static_cast<int32_t>(kInlineCapacity)) return DataOffsetField(value);
  std::array<uint8_t, 4> bytes{};
  ReadAt(hive, DataRecordOffset(value), bytes.data(), 4);
  return LoadU32(bytes.data());
}

std::span<const uint8_t> TakeValueData(HiveFile& hive, ValueRecord& value,
                                       std::vector<uint8_t>& bytes) {
  const uint32_t length = GetValueDataLength(hive, value);
  if (length <= kInlineCapacity) {
    const uint8_t* inlineData = &value.bytes[kDataOffset];
    bytes.assign(inlineData, inlineData + length);
  } else if (length <= kMaxValueDataBytes) {
    ReadDataZeroFilled(hive, value, bytes, length);
  } else {
    const uint32_t held = HeldFrom(hive, DataRecordOffset(value));
    ReadDataZeroFilled(hive, value, bytes, std::min(held, kMaxValueDataBytes));
  }
  return bytes;
}

}  // namespace hive
