#include "hive/value.h"

#include <algorithm>
#include <array>

#include "hive/little_endian.h"
#include "hive/text.h"
#include "hive/value_data.h"

namespace hive {

namespace {

using namespace value_record;

uint32_t DataLengthField(const ValueRecord& value) { return LoadU32(&value.bytes[kDataLength]); }
uint32_t DataOffsetField(const ValueRecord& value) { return LoadU32(&value.bytes[kDataOffset]); }

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
  ReadStoredName(hive, ValueNameOf(value), out);
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
  GetValueDataLength(hive, value);
  const auto data = GatherValueData(ReadPositionBytes(hive), hive, value, DataCut::kText, scratch);
  AppendUtf16Le(out, data.data(), data.size());
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
  CopyValueData(ReadPositionBytes(hive), hive, value, count, buffer.data());
  return 1;
}

uint32_t GetValueDword(HiveFile& hive, const ValueRecord& value) {
  const auto storedLength = static_cast<int32_t>(DataLengthField(value));
  if (storedLength <= static_cast<int32_t>(kInlineCapacity)) return DataOffsetField(value);
  std::array<uint8_t, 4> bytes{};
  CopyValueData(ReadPositionBytes(hive), hive, value, 4, bytes.data());
  return LoadU32(bytes.data());
}

std::span<const uint8_t> TakeValueData(HiveFile& hive, ValueRecord& value,
                                       std::vector<uint8_t>& bytes) {
  GetValueDataLength(hive, value);
  return GatherValueData(ReadPositionBytes(hive), hive, value, DataCut::kWhole, bytes);
}

}  // namespace hive
