#pragma once
// Small decoders shared by the artifacts: bounded little-endian reads of a
// value's data, times (FILETIME, SYSTEMTIME, Unix, DOS) as FILETIMEs, text,
// ROT13, MRU orders, GUIDs and known folders, SIDs.
//
// Every read stays inside the span it is given; a field that does not fit
// reads as absent (std::nullopt), never as bytes from beyond.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "artifacts/hive_keys.h"
#include "hive/little_endian.h"

namespace artifacts {

// Bounded reads at an offset into a value's data.
class DataReader {
 public:
  explicit DataReader(std::span<const uint8_t> data) : m_data(data) {}
  size_t Size() const { return m_data.size(); }
  bool Holds(size_t offset, size_t count) const { return offset <= m_data.size() && count <= m_data.size() - offset; }
  // Inline: the shell item and artifact decoders read every field through these.
  std::optional<uint16_t> U16(size_t offset) const {
    if (!Holds(offset, 2)) return std::nullopt;
    return hive::LoadU16(m_data.data() + offset);
  }
  std::optional<uint32_t> U32(size_t offset) const {
    if (!Holds(offset, 4)) return std::nullopt;
    return hive::LoadU32(m_data.data() + offset);
  }
  std::optional<uint64_t> U64(size_t offset) const {
    if (!Holds(offset, 8)) return std::nullopt;
    return hive::LoadU64(m_data.data() + offset);
  }
  // count bytes from offset, or an empty span when they do not fit.
  std::span<const uint8_t> Bytes(size_t offset, size_t count) const {
    if (!Holds(offset, count)) return {};
    return m_data.subspan(offset, count);
  }
  std::span<const uint8_t> All() const { return m_data; }

 private:
  std::span<const uint8_t> m_data;
};

// "data too short: 12 of 16 bytes": the problem text of a row whose value
// holds fewer bytes than its layout needs.
std::string DataTooShort(size_t held, size_t needed);

// --- Times: each gives a FILETIME (100 ns units since 1601-01-01 UTC), 0 for
// no time or a time that cannot be one.
// A SYSTEMTIME (8 u16: year, month, day of week, day, hour, minute, second, ms).
uint64_t FileTimeFromSystemTime(std::span<const uint8_t> sixteenBytes);
// Seconds since 1970-01-01 UTC; 0 stays 0.
uint64_t FileTimeFromUnixSeconds(int64_t seconds);
// A FAT date and time (as shell items and zip entries store them); 0/0 is 0.
uint64_t FileTimeFromDosDateTime(uint16_t date, uint16_t time);

// --- Text
// UTF-16LE up to the first NUL code unit (or the end), as UTF-8.
std::string Utf16Text(std::span<const uint8_t> bytes);
// The strings of REG_MULTI_SZ data, up to the first empty one.
std::vector<std::string> MultiStrings(std::span<const uint8_t> bytes);
// A value's data as text: REG_SZ and REG_EXPAND_SZ (and other types whose
// data is UTF-16) as Utf16Text. Used where Windows writes a string.
std::string ValueText(const ValueView& value);
// A REG_DWORD (or 4-byte REG_BINARY) value's number; none when the data is
// not 4 bytes or more.
std::optional<uint32_t> ValueDword(const ValueView& value);
// A REG_QWORD (or 8-byte REG_BINARY) value's number.
std::optional<uint64_t> ValueQword(const ValueView& value);
// ROT13 of ASCII letters; every other byte as it is.
std::string Rot13(std::string_view text);

// --- MRU orders
// MRUList (REG_SZ of letters, "cab"): the value names in order, most recent first.
std::vector<std::string> MruListOrder(const ValueView& mruList);
// MRUListEx (u32 entries ending with 0xFFFFFFFF): the entry numbers in order.
std::vector<uint32_t> MruListExOrder(std::span<const uint8_t> bytes);

// --- GUIDs, known folders, SIDs
// "{F38BF404-1D43-42F2-9305-67DE0B28FC23}" from the 16 bytes of a GUID.
std::string FormatGuid(std::span<const uint8_t> sixteenBytes);
// The known folder or shell folder a GUID names ("{...}" with or without
// braces, any case): "System32", "My Computer", ...; empty when unknown.
std::string_view KnownFolderName(std::string_view guid);
// Replaces a leading "{GUID}" that names a known folder by its name:
// "{1AC14E77-02E7-4E5D-B744-2EB1AE5198B7}\cmd.exe" -> "System32\cmd.exe".
std::string WithKnownFolderName(std::string_view path);
// "S-1-5-21-...-1001" from a binary SID; empty when the bytes are not one.
std::string FormatSid(std::span<const uint8_t> bytes);

}  // namespace artifacts
