#pragma once
// The forms in which the viewer's Value Details show one value's data, and
// how the ValueTable's rows lead back to the values they show. No Qt.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hive/hive_file.h"
#include "hive/value.h"

namespace values {

// Windows' name of a value type ("REG_SZ", "REG_QWORD", ...), or, for a type
// Windows has no name for, the number in decimal and hexadecimal: "4660 (0x1234)".
std::string RegistryTypeName(uint32_t type);

// How Value Details shows a type's data, beside the hex view every type has.
enum class DataForm {
  kText,         // REG_SZ, REG_EXPAND_SZ, REG_LINK: UTF-16LE text
  kStrings,      // REG_MULTI_SZ: UTF-16LE strings, each ended by a NUL
  kNumber,       // REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD
  kBytes,        // everything else: the hex view alone
};
DataForm DataFormOf(uint32_t type);

// The strings of REG_MULTI_SZ data: UTF-16LE strings, each ended by a NUL; an
// empty string (two NULs in a row) or the end of the data ends the list. A
// last string without its NUL is kept; a trailing odd byte is ignored.
std::vector<std::string> SplitMultiString(std::span<const uint8_t> data);

// The number of REG_DWORD (4 bytes, little-endian), REG_DWORD_BIG_ENDIAN
// (4 bytes, big-endian) or REG_QWORD (8 bytes, little-endian) data, as
// "0x0000002A (42)": hexadecimal padded to the type's width, then the
// unsigned decimal. None when the data is shorter than the type's width or
// the type is not one of the three; longer data is read from its start.
std::optional<std::string> NumberText(uint32_t type, std::span<const uint8_t> data);

// Bytes as two upper-case hexadecimal digits each, separated by spaces.
std::string HexPairs(std::span<const uint8_t> data);

// The data as one text, as the viewer copies it: text types decoded (up to
// the first NUL), the strings of REG_MULTI_SZ one per line (joined by line
// feeds), numbers as NumberText, anything else (and numbers too short) as HexPairs.
std::string DataAsText(uint32_t type, std::span<const uint8_t> data);

// A value that a ValueTable row shows.
struct RowValue {
  int32_t valueIndex = 0;  // in the key's value list
  uint32_t type = 0;
  hive::ValueRecord record;
};

// ShowKeyValues adds a row for every value whose record the file holds and
// ends at the first list entry the file does not hold, so in a damaged key
// row numbers and value indexes differ. These two walk the value list of the
// key node at keyRecordOffset in the same way to turn one into the other.
// They read through the hive's read position: GUI thread, as ShowKeyValues.
// ValueOfRow: none when the listing has no such row. RowOfValue: -1 when the
// value has no row. A listing cut short by its size budget has fewer rows
// than these count; callers check against the table.
std::optional<RowValue> ValueOfRow(hive::HiveFile& hive, uint32_t keyRecordOffset, int32_t row);
int32_t RowOfValue(hive::HiveFile& hive, uint32_t keyRecordOffset, int32_t valueIndex);

}  // namespace values
