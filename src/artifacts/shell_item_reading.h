#pragma once
// The reading shared by the shell item decoders (shell_items.cpp): texts,
// times and GUIDs at an offset of an item, the extension blocks (0xbeef....)
// that end most items, and the name a property store gives an item. Every
// read goes through the item's own DataReader, so none passes its end.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "artifacts/decoders.h"
#include "artifacts/shell_items.h"

namespace artifacts::shell_reading {

inline std::optional<uint8_t> U8(const DataReader& reader, size_t offset) {
  const std::span<const uint8_t> byte = reader.Bytes(offset, 1);
  if (byte.empty()) return std::nullopt;
  return byte[0];
}

inline bool BytesEqual(std::span<const uint8_t> bytes, const std::array<uint8_t, 16>& expected) {
  return bytes.size() == expected.size() && std::equal(bytes.begin(), bytes.end(), expected.begin());
}

inline void AddProblem(ShellItem& item, const std::string& problem) {
  if (!item.problem.empty()) item.problem += "; ";
  item.problem += problem;
}

inline void NeedBytes(const DataReader& reader, size_t needed, ShellItem& item) {
  if (reader.Size() < needed) AddProblem(item, DataTooShort(reader.Size(), needed));
}

inline std::string GuidAt(const DataReader& reader, size_t offset) { return FormatGuid(reader.Bytes(offset, 16)); }

// "0x" and value in at least digits lower-case hex digits.
std::string Hex(uint32_t value, int digits);

// A NUL-ended string at offset, and where the bytes after it begin (the
// reader's end when the NUL is missing).
struct TextAt {
  std::string text;
  size_t next = 0;
  bool ended = false;
};
TextAt AnsiTextAt(const DataReader& reader, size_t offset);
TextAt Utf16TextAt(const DataReader& reader, size_t offset);
TextAt TextAtOffset(const DataReader& reader, size_t offset, bool utf16);

// A FAT date (u16) then time (u16) at offset; 0 when cut short.
uint64_t DosTimeAt(const DataReader& reader, size_t offset);
// The known folder's name of a GUID, else the GUID itself.
std::string NameOfGuid(const std::string& guid);

// Reads the extension blocks from offset to the end of the item (or its end
// marker) into item: the file entry block's times, reference and names, the
// class GUID block, the times blocks. A block that is not one ends the walk
// with a problem.
void ReadExtensionBlocks(const DataReader& reader, size_t offset, ShellItem& item);
// Whether an extension block's header (a size and a 0xbeef signature) is at offset.
bool ExtensionBlockAt(const DataReader& reader, size_t offset);

// The System.ItemNameDisplay string of a serialized property store, or "".
std::string ItemNameDisplay(std::span<const uint8_t> store);

}  // namespace artifacts::shell_reading
