#pragma once
// In-place reads: key nodes, value lists, value records, names and value data
// taken straight from the hive's map, without the hive's read position.
//
// These never move the read position and change nothing in the HiveFile, so a
// worker thread may use them while another thread reads through the read
// position (ShowKeyValues). They read only what the map holds: nothing when the
// file is not mapped, and nothing at or past the end of the file or 2^31.
// Each decodes as its read-position twin (key_node.h, value.h) does.

#include <cstdint>
#include <span>
#include <string>

#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "hive/value.h"

namespace hive {

// True when the hive's bytes can be read in place: the file is mapped.
bool IsMappedInPlace(const HiveFile& hive);

// The part of [offset, offset + length) that the map holds from offset on:
// the whole range, the part before the end of the file, or nothing.
std::span<const uint8_t> HeldInPlace(const HiveFile& hive, uint32_t offset, uint32_t length);

// Fills key with the fixed part of the key node at recordOffset. False, key
// untouched, when the map does not hold all of it.
bool ReadKeyNodeInPlace(const HiveFile& hive, uint32_t recordOffset, KeyNode& key);

// Appends the key's name as GetKeyName makes it; characters the map does not
// hold read as spaces.
void AppendKeyNameInPlace(const HiveFile& hive, const KeyNode& key, std::string& out);

// As GetValue: reads list entry index and the value record it names into
// value and returns the value type, or 0 with value untouched and fetch (when
// given) saying why. An entry or record the map does not hold counts as one
// the file does not hold.
uint32_t GetValueInPlace(const HiveFile& hive, const ValueList& list, int32_t index,
                         ValueRecord& value, ValueFetch* fetch = nullptr);

// Appends the value's name as GetValueName makes it; characters the map does
// not hold read as spaces.
void AppendValueNameInPlace(const HiveFile& hive, const ValueRecord& value, std::string& out);

// The bytes of the value's data that its text is decoded from, as
// GetValueText takes them, without clearing bit 31 of the stored length:
// data of 4 bytes or fewer from the data offset field of value (the span
// points into value); longer data from the data cell in the map, cut where
// the file ends and at kMaxValueDataBytes. Empty when the map holds none.
std::span<const uint8_t> ValueDataInPlace(const HiveFile& hive, const ValueRecord& value);

}  // namespace hive
