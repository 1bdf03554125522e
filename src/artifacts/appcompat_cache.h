#pragma once
// The Application Compatibility Cache ("ShimCache"): the SYSTEM value
// CurrentControlSet\Control\Session Manager\AppCompatCache\AppCompatCache
// (Windows XP 32-bit: ...\Session Manager\AppCompatibility\AppCompatCache),
// decoded from its raw bytes. Each Windows generation lays it out anew; the
// layout is told from the value's first bytes (appcompat_cache.cpp).
//
// Every read stays inside the data; a count or an entry size the data cannot
// hold gives the entries that fit and a problem for the rest.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace artifacts {

struct AppCompatEntry {
  uint32_t position = 0;          // the entry's place in the cache, 0 first
  std::string path;               // UTF-8, as stored
  uint64_t lastModified = 0;      // the file's last-modified FILETIME; 0 for none
  std::optional<uint64_t> size;   // the file's size, where the layout stores it (XP, 2003)
  std::optional<bool> executed;   // the insert flags' "executed" bit (Vista, 7, 8, 8.1)
  std::string problem;            // empty, or what is wrong with this entry
};

struct AppCompatCache {
  // "Windows XP 32-bit", "Windows 7 64-bit", "Windows 8.1", ...; empty when
  // the first bytes match no known layout.
  std::string_view layout;
  std::vector<AppCompatEntry> entries;
  // Empty, or what is wrong with the data beyond the entries listed ("data too
  // short: 100 of 124 bytes"); problemPosition is the position of the first
  // entry it concerns, none when the header itself is at fault.
  std::string problem;
  std::optional<uint32_t> problemPosition;
};

AppCompatCache DecodeAppCompatCache(std::span<const uint8_t> data);

}  // namespace artifacts
