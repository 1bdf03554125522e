#include "deleted/deleted_value_data.h"

#include <cstring>

#include "hive/in_place.h"
#include "hive/value_data.h"
#include "values/value_row.h"

namespace deleted {

bool ReadDeletedValueRecord(const hive::HiveFile& hive, const DeletedValue& value, hive::ValueRecord& record) {
  const uint8_t* bytes = hive.BytesAt(value.recordOffset, hive::value_record::kFixedSize);
  if (bytes == nullptr) return false;
  record.recordOffset = value.recordOffset;
  std::memcpy(record.bytes.data(), bytes, record.bytes.size());
  return true;
}

std::string FormatDeletedValueRow(hive::HiveFile& hive, const DeletedValue& value) {
  hive::ValueRecord record;
  if (!ReadDeletedValueRecord(hive, value, record)) return {};
  return values::FormatValueRow(hive, record, value.type);
}

std::span<const uint8_t> DeletedValueData(const hive::HiveFile& hive, const DeletedValue& value,
                                          std::vector<uint8_t>& bytes) {
  hive::ValueRecord record;
  bytes.clear();
  if (!ReadDeletedValueRecord(hive, value, record)) return bytes;
  return hive::GatherValueData(hive::InPlaceBytes(hive), hive, record, hive::DataCut::kWhole, bytes);
}

}  // namespace deleted
