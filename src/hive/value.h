#pragma once
// Values of a key: the key's value list, each value's "vk" record, and the
// value's name, type, data length and data. Every read positions the file
// first; nothing is cached.
//
// Where value data lies: data of 4 bytes or fewer is held inline, in the value
// record's data offset field; longer data lies in a data cell of its own at the
// data offset. Bit 31 of the stored data length marks inline data and is
// cleared before the length is used.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive/key_node.h"

namespace hive {

// A key's value list: the file offset of its first entry and its entry count.
struct ValueList {
  uint32_t recordOffset = 0;
  int32_t count = 0;
};

// The in-memory copy of a value record: where it was read, and its first 18
// bytes (record offsets 0x00 to 0x11). The name is never kept here.
struct ValueRecord {
  uint32_t recordOffset = 0;
  std::array<uint8_t, value_record::kFixedSize> bytes{};
};

// Value data is taken up to this many bytes. A stored length of up to this
// size is honoured exactly (bytes the file cannot supply read as zeros); above
// it, only the bytes the file holds after the data offset are taken, at most
// this many, so a damaged length never makes Keyloom obtain gigabytes.
inline constexpr uint32_t kMaxValueDataBytes = 64u * 1024u * 1024u;

// Fills list from the key and returns the number of values the caller may fetch:
// the key's value count, or 0 (list untouched) when the count is 0 or the key's
// value list offset is 0xFFFFFFFF. The count may be negative for a damaged key;
// callers then fetch nothing. Reads nothing from the file.
int32_t GetValueList(HiveFile& hive, const KeyNode& key, ValueList& list);
// The same, from the key alone.
int32_t ValueListOf(const KeyNode& key, ValueList& list);

// What GetValue found for an index.
enum class ValueFetch {
  kFetched,          // the value record was read into the ValueRecord
  kOutOfRange,       // index < 0 or index >= count: nothing was read
  kEntryNotHeld,     // the file does not hold the 4-byte list entry: the listing ends here
  kRecordNotHeld,    // the file does not hold the 18-byte value record: this value has no row
};

// Reads list entry index and the value record it names into value. Returns the
// value type, or 0 when nothing was fetched; then value keeps its contents and
// fetch (when given) says why.
uint32_t GetValue(HiveFile& hive, const ValueList& list, int32_t index, ValueRecord& value,
                  ValueFetch* fetch = nullptr);

// The file offset of entry index of list. Checks nothing.
uint32_t ValueEntryOffset(const ValueList& list, int32_t index);

// True when the value is the key's default value: flags bit 0 clear and name
// length 0. Its name is "{default}".
bool IsDefaultValue(const ValueRecord& value);
inline constexpr std::string_view kDefaultValueName = "{default}";

// The value's name as stored (see GetValueName); for the default value, no bytes.
StoredName ValueNameOf(const ValueRecord& value);

// The value's name as UTF-8:
//  - flags bit 0 set: one byte per character (Latin-1), ending at the first zero byte;
//  - flags bit 0 clear and name length 0: "{default}";
//  - flags bit 0 clear and name length not 0: UTF-16LE, ending at the first NUL;
//  - a negative name length (top bit set) gives the empty name.
// Name bytes past the end of the file read as spaces.
std::string GetValueName(HiveFile& hive, const ValueRecord& value);
void AppendValueName(HiveFile& hive, const ValueRecord& value, std::string& out);

// The value type field. Reads nothing.
uint32_t GetValueType(HiveFile& hive, const ValueRecord& value);

// Clears bit 31 of the stored data length in value and returns the length,
// 0 to 2^31 - 1. Reads nothing.
uint32_t GetValueDataLength(HiveFile& hive, ValueRecord& value);

// The data taken as UTF-16LE code units, as UTF-8 text; clears bit 31 first.
// For n data bytes, floor(n / 2) code units are converted and the text ends at
// the first NUL. Data of 4 bytes or fewer comes from the data offset field
// without a read. Longer data comes from the data cell; bytes the file cannot
// supply read as zeros and so end the text. Above kMaxValueDataBytes only the
// bytes the file holds are taken (at most kMaxValueDataBytes of them).
std::string GetValueText(HiveFile& hive, ValueRecord& value);
// The same, appended to out; scratch is the caller's buffer for the data bytes,
// so one buffer can serve a whole listing.
void AppendValueText(HiveFile& hive, ValueRecord& value, std::string& out,
                     std::vector<uint8_t>& scratch);

// When the stored data length, taken as signed, is more than 4: reads that
// many bytes (no more than buffer holds) from the data cell into buffer and
// returns 1; bytes the file cannot supply keep what buffer held. Otherwise
// (inline data, length 0, or bit 31 still set) reads nothing and returns 0.
int ReadValueData(HiveFile& hive, const ValueRecord& value, std::span<uint8_t> buffer);

// The data as a 32-bit little-endian number. When the stored length, taken as
// signed, is 4 or less (bit 31 still set included): the data offset field itself,
// all four bytes whatever the length. Otherwise the first four bytes of the data
// cell; bytes the file cannot supply read as 0.
uint32_t GetValueDword(HiveFile& hive, const ValueRecord& value);

// The data bytes a value's hex dump shows; clears bit 31 first. Replaces the
// contents of bytes and returns them:
//  - length 1 to 4: the first length bytes of the data offset field (inline data);
//  - length 5 to kMaxValueDataBytes: length bytes from the data cell, zeros
//    where the file cannot supply them;
//  - longer: the bytes the file holds from the data cell on, at most
//    kMaxValueDataBytes of them (possibly none).
// bytes is the caller's, so one buffer can serve a whole listing.
std::span<const uint8_t> TakeValueData(HiveFile& hive, ValueRecord& value, std::vector<uint8_t>& bytes);

}  // namespace hive
