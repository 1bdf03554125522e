#pragma once
// HiveFile: one hive file open read-only, its base block, and the four read
// primitives through which every hive byte is read.
//
// The file is mapped read-only, so a read is a copy from memory, without a
// system call, and the hive is never copied into memory as a whole. A file that
// shrinks while it is open never faults the process: the pages it lost read as
// zeros (see mapping_guard.h). Where a file cannot be mapped, each read falls
// back to pread(). Keyloom never writes to the file.
//
// A hive may be given an overlay (OverlayHive): runs of bytes that replace
// what the file holds, and a longer length. Every read then sees the replaced
// image; the file itself stays untouched.
//
// A HiveFile is used by one thread at a time; it keeps one read position.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "hive/format.h"

namespace hive {

struct OverlayPages;  // the replaced pages of a hive that is not mapped
struct ReplacedBytes;

class HiveFile {
 public:
  HiveFile() = default;
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  // The image's length in bytes: the file's length when it was opened, or
  // the longer length an overlay gave it.
  int64_t Size() const { return m_size; }
  const std::array<uint8_t, kBaseBlockSize>& BaseBlock() const { return m_baseBlock; }
  int Descriptor() const { return m_fd; }

  // The length bytes at file offset, in place in the map: valid while the hive
  // is open. None when the file is not mapped or does not hold the whole range
  // below 2^31; read through the primitives then.
  const uint8_t* BytesAt(uint32_t offset, uint32_t length) const {
    const uint64_t end = uint64_t{offset} + length;
    if (m_map == nullptr || end > m_mappedEnd) return nullptr;
    return m_map + offset;
  }

  // Asks the processor to fetch the cache line at file offset ahead of use.
  // Reads nothing and never faults; an offset the map does not hold is ignored.
  void Prefetch(uint32_t offset) const {
    if (m_map != nullptr && offset < m_mappedEnd) __builtin_prefetch(m_map + offset);
  }

 private:
  // Copies count bytes from file offset at, all of which lie below m_size.
  void CopyOut(int64_t at, uint8_t* destination, int32_t count) const;
  // CopyOut without a map: pread, zeros past the file, then replaced pages.
  void ReadOut(int64_t at, uint8_t* destination, int32_t count) const;
  void ReadFileBytes(int64_t at, uint8_t* destination, int32_t count) const;

  int m_fd = -1;
  int64_t m_size = 0;  // the image's length; nothing past it is read
  int64_t m_fileSize = 0;  // the file's length at open
  int32_t m_position = 0;
  const uint8_t* m_map = nullptr;
  size_t m_mapLength = 0;
  uint64_t m_mappedEnd = 0;  // bytes in the map a read may take: min(m_size, 2^31)
  std::array<uint8_t, kBaseBlockSize> m_baseBlock{};
  std::unique_ptr<OverlayPages> m_pages;  // only for an overlay on a hive that is not mapped

  friend std::unique_ptr<HiveFile> OpenHiveFile(const std::string&, std::string*);
  friend int CheckBaseBlock(HiveFile&, std::string*);
  friend void SeekHive(HiveFile&, int32_t);
  friend int32_t ReadHiveBytes(HiveFile&, void*, int32_t);
  friend int32_t HivePosition(const HiveFile&);
  friend bool OverlayHive(HiveFile&, int64_t, const std::array<uint8_t, kBaseBlockSize>&,
                          std::span<const ReplacedBytes>, std::string*);
};

// One run of bytes that replaces the image's bytes from fileOffset on.
struct ReplacedBytes {
  int64_t fileOffset = 0;
  const uint8_t* bytes = nullptr;  // read only during OverlayHive
  uint32_t length = 0;
};

// Gives hive an image of imageSize bytes (never shorter than it was): the
// file's bytes, zeros past the file's end, then each run of replaced in
// order (a later run wins where runs overlap), and baseBlock as its first 512
// bytes and its base block copy. Every read after it (the primitives,
// BytesAt, HiveHolds, Size) sees that image. An earlier overlay is dropped:
// the image is built from the file again.
//
// Memory grows with the pages the runs touch, not with the hive: the file
// stays mapped copy-on-write, so only replaced pages become private, and the
// grown part is anonymous zero pages until replaced. Nothing reaches the file.
// When the hive is not mapped (or cannot be remapped), the replaced pages are
// kept in a table of their own and reads go through pread.
//
// Returns false, leaving the hive as it was, with the reason, when imageSize
// passes 2 GiB (where the read position ends) or a run does not lie inside
// the image. Bytes a run points to may lie in a guarded mapping
// (mapping_guard.h): a shrunken source reads as zeros. Call before the hive is
// read by anyone else; not thread-safe.
bool OverlayHive(HiveFile& hive, int64_t imageSize, const std::array<uint8_t, kBaseBlockSize>& baseBlock,
                 std::span<const ReplacedBytes> replaced, std::string* reason = nullptr);

// Opens the named file read-only and checks its base block: "regf", equal
// sequence numbers, version 1.3, file type 0, file format 1, clustering factor 1.
// Returns none when the file cannot be opened, is shorter than 4096 bytes or
// fails a check; then, when reason is given, it receives a sentence saying why,
// such as "is format version 1.5; Keyloom reads version 1.3".
std::unique_ptr<HiveFile> OpenHive(const std::string& path, std::string* reason = nullptr);

// Opens the named file read-only and maps it, and copies its first 512 bytes
// into the hive's base block, without testing them. Returns none, with the
// reason, when the file cannot be opened, is not a regular file (opened as
// OpenRegularFile does: a FIFO is refused at once) or is shorter than 4096
// bytes. OpenHive is this followed by CheckBaseBlock; a wider open
// of its own applies other tests.
std::unique_ptr<HiveFile> OpenHiveFile(const std::string& path, std::string* reason = nullptr);

// Opens the named file read-only, without blocking and without making it a
// controlling terminal, for a regular file only. Returns the descriptor (the
// caller's to close) and sets size to the file's length; or returns -1, with
// the reason when given: "cannot be opened: No such file or directory",
// "is a named pipe (FIFO), not " + expected, "is a folder, not " + expected.
// A FIFO or device is refused at once, never waited on.
int OpenRegularFile(const std::string& path, const char* expected, int64_t* size, std::string* reason);

// Reads the base block into the hive and tests it; 1 when all tests pass, else 0
// with the reason of the first failing test.
int CheckBaseBlock(HiveFile& hive, std::string* reason = nullptr);

// Closes the file and releases the hive; none is accepted and does nothing. Returns 0.
int CloseHive(std::unique_ptr<HiveFile>& hive);

// Sets the read position. A negative position is refused and leaves the read
// position where it was; a position past the end of the file is accepted.
inline void SeekHive(HiveFile& hive, int32_t position) {
  if (position < 0) return;  // refused: the read position stays where it was
  hive.m_position = position;
}

// The current read position.
inline int32_t HivePosition(const HiveFile& hive) { return hive.m_position; }

// Reads up to count bytes at the read position into destination and advances the
// position by the bytes read. Bytes the file cannot supply keep what they held.
// Returns the number of bytes read.
int32_t ReadHiveBytes(HiveFile& hive, void* destination, int32_t count);

// The next 4 bytes as a little-endian number; missing bytes read as 0.
uint32_t ReadHive32(HiveFile& hive);

// The next 2 bytes as a little-endian number, sign-extended; missing bytes read as 0.
int16_t ReadHive16(HiveFile& hive);

// True when the image (the file as long as it was at open, or its overlay) holds all of the length bytes
// from file offset on, and the range lies below 2^31 where the read position can reach.
inline bool HiveHolds(const HiveFile& hive, uint32_t offset, uint32_t length) {
  const uint64_t end = uint64_t{offset} + length;
  return end <= static_cast<uint64_t>(hive.Size()) && end <= uint64_t{INT32_MAX} + 1;
}

}  // namespace hive
