#pragma once
// Transaction logs written byte by byte, for tests, fuzz seeds and benchmarks:
// new-format logs ("HvLE" entries with their Marvin32 hashes) and old-format
// logs ("DIRT" dirty vector and 512-byte pages). Pages usually come from
// ChangedPages(before, after): what turns one built hive into another.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

// Bytes that replace the hive bins data from binsOffset on (a file offset
// minus 4096).
struct DirtyPage {
  uint32_t binsOffset = 0;
  std::vector<uint8_t> bytes;
};

// The 4096-byte pages of the hive bins data in which after differs from
// before (after may be longer: its extra pages all count), each holding
// after's bytes.
std::vector<DirtyPage> ChangedPages(std::span<const uint8_t> before, std::span<const uint8_t> after);

// Rewrites the checksum of the base block (or log base block copy) at the
// start of image.
void FixBaseBlockChecksum(std::vector<uint8_t>& image);

// A built hive for the log tests: keys k0 .. k(keys-1) under Software, each
// with a string value whose first character is mark, so that two hives of
// one key count but other marks differ in every key's data.
std::vector<uint8_t> MarkedHive(int keys, char mark);

// The hive bins size in the base block at the start of image.
uint32_t HiveBinsSize(std::span<const uint8_t> image);

// Sets a hive image's sequence numbers and rewrites its base block checksum.
void SetSequenceNumbers(std::vector<uint8_t>& image, uint32_t primary, uint32_t secondary);

// A new-format log. Its base block copy is the first 512 bytes of
// baseBlockSource with file type 6, both sequence numbers set to sequence and
// the checksum rewritten.
class NewLogWriter {
 public:
  NewLogWriter(std::span<const uint8_t> baseBlockSource, uint32_t sequence);

  // Appends an entry at the next 512-byte boundary; returns its log offset.
  uint32_t AddEntry(uint32_t sequence, uint32_t hiveBinsSize, std::span<const DirtyPage> pages,
                    uint32_t flags = 0);
  // Rewrites both hashes of the entry at offset, after a patch to it.
  void Rehash(uint32_t entryOffset);

  std::vector<uint8_t>& Bytes() { return m_log; }

 private:
  std::vector<uint8_t> m_log;
};

// An old-format log that turns a hive into after: its base block copy is the
// first 512 bytes of after with file type 1, both sequence numbers set to
// sequence and the checksum rewritten; then a dirty vector for after's hive
// bins size with a bit for every 512-byte page of pages, and those pages.
std::vector<uint8_t> WriteOldLog(std::span<const uint8_t> after, std::span<const DirtyPage> pages,
                                 uint32_t sequence);

// Writes bytes to path; false on failure.
bool WriteFile(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace testsupport
