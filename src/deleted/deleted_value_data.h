#pragma once
// The data and row texts of a recovered value, read as a live value's are:
// through the same decoding (inline data, big data, lengths past the end of
// the file), from where the record's data offset points now.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "hive/value.h"

namespace deleted {

// The recovered value's record as the value readers take it, read in place.
// False, record untouched, when the map does not hold it (never for a value
// the scan found in this hive).
bool ReadDeletedValueRecord(const hive::HiveFile& hive, const DeletedValue& value, hive::ValueRecord& record);

// The row text of the recovered value, as values::FormatValueRow makes a live
// value's: the columns "Value", "Type", "Length" and "Content" joined by line
// feeds. Reads through the hive's read position: call it on the thread that
// reads the hive. Empty when the record is not held.
std::string FormatDeletedValueRow(hive::HiveFile& hive, const DeletedValue& value);

// The recovered value's data bytes as the hex dump shows a live value's
// (hive::GatherValueData, DataCut::kWhole), read in place, into bytes.
std::span<const uint8_t> DeletedValueData(const hive::HiveFile& hive, const DeletedValue& value,
                                          std::vector<uint8_t>& bytes);

// The data length the Length column shows: the stored length, bit 31 cleared.
inline uint32_t DeletedValueLength(const DeletedValue& value) {
  return value.storedLength & ~hive::value_record::kInlineData;
}

}  // namespace deleted
