#pragma once
// The row text of one value in the ValueTable: the texts of the columns
// "Value", "Type", "Length" and "Content", joined by line feeds. Nothing is
// escaped, so a line feed inside a name or a text starts the next column early.

#include <cstdint>
#include <string>
#include <vector>

#include "hive/hive_file.h"
#include "hive/value.h"

namespace values {

// Value types that have a label of their own.
enum class ValueType : uint32_t {
  kString = 1,
  kExpandString = 2,
  kBinary = 3,
  kDword = 4,
  kMultiString = 7,
};

// The type label: "String", "ExpandString", "Binary", "DWord", "MultiString",
// or "Unknown(0x" + the type's last four hexadecimal digits (upper case) + ")".
void AppendTypeLabel(uint32_t type, std::string& out);

// The hex dump of data: "$" and two upper-case hexadecimal digits per byte;
// the empty text for no data.
void AppendHexDump(const uint8_t* data, size_t count, std::string& out);

// The row text of the value that GetValue has just fetched into value, type
// being what GetValue returned. Clears bit 31 of the value's stored data length.
//  - String, ExpandString: the data as text (GetValueText).
//  - Binary and unknown types: the hex dump of the data, as TakeValueData gives
//    it (inline data of 1 to 4 bytes shows those bytes).
//  - DWord: "0x" + 8 hexadecimal digits, " (", the signed decimal, TAB, ")".
//  - MultiString: the empty content.
// The Length column is the data length in decimal, also when the content was
// taken from fewer bytes (a length above hive::kMaxValueDataBytes).
std::string FormatValueRow(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type);

// A lower bound of the length of value's row text, known before any data is
// read: for Binary and unknown types the hex dump of a stored length of 1 to
// kMaxValueDataBytes (made in full, with zeros where the file has no bytes);
// 0 for every other value. Lets a listing refuse a row it has no room for
// without making it.
uint64_t LeastRowBytes(const hive::ValueRecord& value, uint32_t type);

// The same, written over row; scratch holds data bytes. Both are the caller's,
// so a listing reuses them from row to row.
void FormatValueRowInto(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type,
                        std::string& row, std::vector<uint8_t>& scratch);

}  // namespace values
