#pragma once
// HiveFile: one hive file open read-only, its base block, and the four read
// primitives through which every hive byte is read.
//
// Reads are served from a cache of file blocks filled with pread(), so a read
// costs no system call once its block is cached, and a file that shrinks while
// it is open only makes reads find fewer bytes; it never faults the process.
// Keyloom never writes to the file.
//
// A HiveFile is used by one thread at a time; it keeps one read position.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hive/format.h"

namespace hive {

class HiveFile {
 public:
  HiveFile() = default;
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  // The file's length in bytes when it was opened.
  int64_t Size() const { return m_size; }
  const std::array<uint8_t, kBaseBlockSize>& BaseBlock() const { return m_baseBlock; }
  int Descriptor() const { return m_fd; }

 private:
  struct Block {
    int64_t index = -1;          // file block number held, -1 when empty
    int32_t valid = 0;           // bytes of the block that the file supplied
    std::unique_ptr<uint8_t[]> bytes;
  };

  const Block& BlockFor(int64_t blockIndex);

  int m_fd = -1;
  int64_t m_size = 0;
  int32_t m_position = 0;
  std::array<uint8_t, kBaseBlockSize> m_baseBlock{};
  std::vector<Block> m_blocks;

  friend std::unique_ptr<HiveFile> OpenHive(const std::string&, std::string*);
  friend int CheckBaseBlock(HiveFile&, std::string*);
  friend void SeekHive(HiveFile&, int32_t);
  friend int32_t ReadHiveBytes(HiveFile&, void*, int32_t);
  friend int32_t HivePosition(const HiveFile&);
};

// Opens the named file read-only and checks its base block: "regf", equal
// sequence numbers, version 1.3, file type 0, file format 1, clustering factor 1.
// Returns none when the file cannot be opened, is shorter than 4096 bytes or
// fails a check; then, when reason is given, it receives a sentence saying why,
// such as "is format version 1.5; Keyloom reads version 1.3".
std::unique_ptr<HiveFile> OpenHive(const std::string& path, std::string* reason = nullptr);

// Reads the base block into the hive and tests it; 1 when all tests pass, else 0
// with the reason of the first failing test.
int CheckBaseBlock(HiveFile& hive, std::string* reason = nullptr);

// Closes the file and releases the hive; none is accepted and does nothing. Returns 0.
int CloseHive(std::unique_ptr<HiveFile>& hive);

// Sets the read position. A negative position is refused and leaves the read
// position where it was; a position past the end of the file is accepted.
void SeekHive(HiveFile& hive, int32_t position);

// The current read position.
int32_t HivePosition(const HiveFile& hive);

// Reads up to count bytes at the read position into destination and advances the
// position by the bytes read. Bytes the file cannot supply keep what they held.
// Returns the number of bytes read.
int32_t ReadHiveBytes(HiveFile& hive, void* destination, int32_t count);

// The next 4 bytes as a little-endian number; missing bytes read as 0.
uint32_t ReadHive32(HiveFile& hive);

// The next 2 bytes as a little-endian number, sign-extended; missing bytes read as 0.
int16_t ReadHive16(HiveFile& hive);

// True when the file (as long as it was at open) holds all of the length bytes
// from file offset on, and the range lies below 2^31 where the read position can reach.
bool HiveHolds(const HiveFile& hive, uint32_t offset, uint32_t length);

}  // namespace hive
