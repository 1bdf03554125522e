#include "hive/hive_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "hive/little_endian.h"
#include "hive/mapping_guard.h"

namespace hive {
namespace {

void SetReason(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
}

std::string Number(uint32_t value) { return std::to_string(value); }

constexpr int64_t kOverlayPageSize = 4096;

void Unmap(const uint8_t* map, size_t length) {
  if (map == nullptr) return;
  UnguardMapping(map);
  ::munmap(const_cast<uint8_t*>(map), length);
}

}  // namespace

// The replaced pages of an overlay on a hive that is not mapped: whole
// 4096-byte pages of the image, in order of their offsets.
struct OverlayPages {
  std::vector<int64_t> starts;  // sorted file offsets, multiples of kOverlayPageSize
  std::vector<uint8_t> bytes;   // kOverlayPageSize bytes per start

  const uint8_t* Find(int64_t pageStart) const {
    const auto it = std::lower_bound(starts.begin(), starts.end(), pageStart);
    if (it == starts.end() || *it != pageStart) return nullptr;
    return bytes.data() + (it - starts.begin()) * kOverlayPageSize;
  }
};

HiveFile::~HiveFile() {
  Unmap(m_map, m_mapLength);
  if (m_fd >= 0) ::close(m_fd);
}

void HiveFile::CopyOut(int64_t at, uint8_t* destination, int32_t count) const {
  if (m_map != nullptr) {
    std::memcpy(destination, m_map + at, static_cast<size_t>(count));
    return;
  }
  ReadOut(at, destination, count);
}

void HiveFile::ReadFileBytes(int64_t at, uint8_t* destination, int32_t count) const {
  // Past the file's end, in the part an overlay added, the image holds zeros.
  const int64_t inFile = std::clamp<int64_t>(m_fileSize - at, 0, count);
  if (inFile < count) {
    std::memset(destination + inFile, 0, static_cast<size_t>(count - inFile));
  }
  int64_t done = 0;
  while (done < inFile) {
    const ssize_t got = ::pread(m_fd, destination + done, static_cast<size_t>(inFile - done),
                                static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the file lost these bytes: they keep what they held
    done += got;
  }
}

void HiveFile::ReadOut(int64_t at, uint8_t* destination, int32_t count) const {
  if (!m_pages) {
    ReadFileBytes(at, destination, count);
    return;
  }
  const int64_t end = at + count;
  while (at < end) {
    const int64_t pageStart = at - at % kOverlayPageSize;
    const auto take = static_cast<int32_t>(std::min(end, pageStart + kOverlayPageSize) - at);
    if (const uint8_t* page = m_pages->Find(pageStart)) {
      std::memcpy(destination, page + (at - pageStart), static_cast<size_t>(take));
    } else {
      ReadFileBytes(at, destination, take);
    }
    destination += take;
    at += take;
  }
}

namespace {

// What a file that is not a regular one is, for a reason: "a folder", ...
const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

}  // namespace

int OpenRegularFile(const std::string& path, const char* expected, int64_t* size, std::string* reason) {
  // O_NONBLOCK: a FIFO would wait here for a writer (and a device may wait
  // for a line); it is refused below instead. Reads of a regular file never
  // block on it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    SetReason(reason, std::string("cannot be opened: ") + std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    SetReason(reason, std::string("is ") + KindOfFile(info.st_mode) + ", not " + expected);
    ::close(fd);
    return -1;
  }
  *size = info.st_size;
  return fd;
}

std::unique_ptr<HiveFile> OpenHiveFile(const std::string& path, std::string* reason) {
  auto hive = std::make_unique<HiveFile>();
  hive->m_fd = OpenRegularFile(path, "a hive file", &hive->m_size, reason);
  if (hive->m_fd < 0) return nullptr;
  hive->m_fileSize = hive->m_size;
  if (hive->m_size < kMinimumHiveSize) {
    SetReason(reason, "is " + std::to_string(hive->m_size) +
                          " bytes long; a registry hive is at least 4096 bytes");
    return nullptr;
  }
  void* map = ::mmap(nullptr, static_cast<size_t>(hive->m_size), PROT_READ, MAP_SHARED, hive->m_fd, 0);
  if (map != MAP_FAILED) {
    hive->m_map = static_cast<const uint8_t*>(map);
    hive->m_mapLength = static_cast<size_t>(hive->m_size);
    hive->m_mappedEnd = std::min<uint64_t>(static_cast<uint64_t>(hive->m_size), uint64_t{INT32_MAX} + 1);
    GuardMapping(hive->m_map, static_cast<size_t>(hive->m_size));
  }
  SeekHive(*hive, 0);
  ReadHiveBytes(*hive, hive->m_baseBlock.data(), kBaseBlockSize);
  return hive;
}

std::unique_ptr<HiveFile> OpenHive(const std::string& path, std::string* reason) {
  std::unique_ptr<HiveFile> hive = OpenHiveFile(path, reason);
  if (!hive || CheckBaseBlock(*hive, reason) == 0) return nullptr;
  return hive;
}

int CheckBaseBlock(HiveFile& hive, std::string* reason) {
  SeekHive(hive, 0);
  hive.m_baseBlock.fill(0);
  ReadHiveBytes(hive, hive.m_baseBlock.data(), kBaseBlockSize);
  const uint8_t* b = hive.m_baseBlock.data();
  using namespace base_block;
  if (LoadU32(b + kSignature) != kRegfSignature) {
    SetReason(reason, "has no \"regf\" signature: it is not a registry hive file");
    return 0;
  }
  const uint32_t primary = LoadU32(b + kPrimarySequence);
  const uint32_t secondary = LoadU32(b + kSecondarySequence);
  if (primary != secondary) {
    SetReason(reason, "has sequence numbers that differ (" + Number(primary) + " and " +
                          Number(secondary) +
                          "): the hive was not saved cleanly and its log files are needed");
    return 0;
  }
  const uint32_t major = LoadU32(b + kMajorVersion);
  const uint32_t minor = LoadU32(b + kMinorVersion);
  if (major != 1 || minor != 3) {
    SetReason(reason, "is format version " + Number(major) + "." + Number(minor) +
                          "; Keyloom reads version 1.3");
    return 0;
  }
  const uint32_t type = LoadU32(b + kFileType);
  if (type != 0) {
    SetReason(reason, "has file type " + Number(type) +
                          "; Keyloom reads primary hive files (type 0), not transaction logs");
    return 0;
  }
  const uint32_t format = LoadU32(b + kFileFormat);
  if (format != 1) {
    SetReason(reason, "has file format " + Number(format) +
                          "; Keyloom reads the direct memory load format (1)");
    return 0;
  }
  const uint32_t clustering = LoadU32(b + kClusteringFactor);
  if (clustering != 1) {
    SetReason(reason, "has clustering factor " + Number(clustering) +
                          "; Keyloom reads clustering factor 1");
    return 0;
  }
  return 1;
}

int CloseHive(std::unique_ptr<HiveFile>& hive) {
  hive.reset();
  return 0;
}



namespace {

// Reads reach no further than 2^31 (the read position is a signed 32-bit offset).
constexpr int64_t kMaxOverlaySize = int64_t{1} << 31;

bool RunsFit(int64_t imageSize, std::span<const ReplacedBytes> replaced, std::string* reason) {
  if (imageSize > kMaxOverlaySize) {
    SetReason(reason, "an image of " + std::to_string(imageSize) + " bytes is larger than 2 GiB");
    return false;
  }
  for (const ReplacedBytes& run : replaced) {
    if (run.fileOffset < 0 || run.fileOffset > imageSize ||
        int64_t{run.length} > imageSize - run.fileOffset || (run.bytes == nullptr && run.length != 0)) {
      SetReason(reason, "replaced bytes at file offset " + std::to_string(run.fileOffset) +
                            " do not lie inside the image");
      return false;
    }
  }
  return true;
}

void CopyRuns(uint8_t* image, const std::array<uint8_t, kBaseBlockSize>& baseBlock,
              std::span<const ReplacedBytes> replaced) {
  for (const ReplacedBytes& run : replaced) {
    if (run.length != 0) std::memcpy(image + run.fileOffset, run.bytes, run.length);
  }
  std::memcpy(image, baseBlock.data(), baseBlock.size());
}

// Maps an image of length bytes: the file copy-on-write over its first
// fileSize bytes, anonymous zero pages after it, the runs copied in (which
// makes only their pages private), then all of it read-only. None when a
// mapping cannot be made.
const uint8_t* MapImage(int fd, int64_t fileSize, size_t length,
                        const std::array<uint8_t, kBaseBlockSize>& baseBlock,
                        std::span<const ReplacedBytes> replaced) {
  void* region = ::mmap(nullptr, length, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  if (::mmap(region, static_cast<size_t>(fileSize), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0) ==
      MAP_FAILED) {
    ::munmap(region, length);
    return nullptr;
  }
  auto* image = static_cast<uint8_t*>(region);
  // A file that shrank meanwhile gives zero pages that the copy may write to.
  const bool guarded = GuardMapping(image, static_cast<size_t>(fileSize), true);
  CopyRuns(image, baseBlock, replaced);
  ::mprotect(region, length, PROT_READ);
  if (guarded) UnguardMapping(image);
  GuardMapping(image, static_cast<size_t>(fileSize));
  return image;
}

// The replaced pages of an image without a map: each 4096-byte page that a
// run (or the base block) touches, read from the file, then
// the runs and the base block copied in. readFile(at, destination, count)
// reads the file's own bytes.
template <typename ReadFile>
std::unique_ptr<OverlayPages> BuildOverlayPages(std::span<const ReplacedBytes> replaced,
                                                const std::array<uint8_t, kBaseBlockSize>& baseBlock,
                                                ReadFile readFile) {
  auto pages = std::make_unique<OverlayPages>();
  pages->starts.push_back(0);
  for (const ReplacedBytes& run : replaced) {
    for (int64_t at = run.fileOffset - run.fileOffset % kOverlayPageSize; at < run.fileOffset + run.length;
         at += kOverlayPageSize) {
      pages->starts.push_back(at);
    }
  }
  std::sort(pages->starts.begin(), pages->starts.end());
  pages->starts.erase(std::unique(pages->starts.begin(), pages->starts.end()), pages->starts.end());
  pages->bytes.assign(pages->starts.size() * kOverlayPageSize, 0);
  for (size_t i = 0; i < pages->starts.size(); ++i) {
    readFile(pages->starts[i], pages->bytes.data() + i * kOverlayPageSize, static_cast<int32_t>(kOverlayPageSize));
  }
  const auto copyIn = [&pages](int64_t at, const uint8_t* bytes, int64_t count) {
    while (count > 0) {
      const int64_t pageStart = at - at % kOverlayPageSize;
      const int64_t take = std::min(count, pageStart + kOverlayPageSize - at);
      uint8_t* page = pages->bytes.data() + (std::lower_bound(pages->starts.begin(), pages->starts.end(), pageStart) -
                                             pages->starts.begin()) *
                                                kOverlayPageSize;
      std::memcpy(page + (at - pageStart), bytes, static_cast<size_t>(take));
      at += take;
      bytes += take;
      count -= take;
    }
  };
  for (const ReplacedBytes& run : replaced) copyIn(run.fileOffset, run.bytes, run.length);
  copyIn(0, baseBlock.data(), kBaseBlockSize);
  return pages;
}

}  // namespace

bool OverlayHive(HiveFile& hive, int64_t imageSize, const std::array<uint8_t, kBaseBlockSize>& baseBlock,
                 std::span<const ReplacedBytes> replaced, std::string* reason) {
  imageSize = std::max(imageSize, hive.m_size);
  if (!RunsFit(imageSize, replaced, reason)) return false;
  const auto pageSize = static_cast<int64_t>(::sysconf(_SC_PAGESIZE));
  const auto length = static_cast<size_t>((imageSize + pageSize - 1) / pageSize * pageSize);
  hive.m_pages.reset();
  const uint8_t* image = MapImage(hive.m_fd, std::min(hive.m_fileSize, imageSize), length, baseBlock, replaced);
  Unmap(hive.m_map, hive.m_mapLength);
  hive.m_map = image;
  hive.m_mapLength = image != nullptr ? length : 0;
  if (image == nullptr) {
    // No map: each touched page of the image is kept in a table.
    hive.m_pages = BuildOverlayPages(replaced, baseBlock, [&hive](int64_t at, uint8_t* destination, int32_t count) {
      hive.ReadFileBytes(at, destination, count);
    });
  }
  hive.m_size = imageSize;
  hive.m_mappedEnd =
      image == nullptr ? 0 : std::min<uint64_t>(static_cast<uint64_t>(imageSize), uint64_t{INT32_MAX} + 1);
  hive.m_baseBlock = baseBlock;
  return true;
}

int32_t ReadHiveBytes(HiveFile& hive, void* destination, int32_t count) {
  const int64_t position = hive.m_position;
  const int64_t available = hive.m_size - position;
  if (count <= 0 || available <= 0) return 0;
  const auto take = static_cast<int32_t>(std::min<int64_t>(count, available));
  hive.CopyOut(position, static_cast<uint8_t*>(destination), take);
  // The position cannot pass 2^31 - 1: a seek takes a signed 32-bit offset.
  hive.m_position = static_cast<int32_t>(std::min<int64_t>(position + take, INT32_MAX));
  return take;
}

uint32_t ReadHive32(HiveFile& hive) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  ReadHiveBytes(hive, bytes, 4);
  return LoadU32(bytes);
}

int16_t ReadHive16(HiveFile& hive) {
  uint8_t bytes[2] = {0, 0};
  ReadHiveBytes(hive, bytes, 2);
  return LoadI16(bytes);
}


}  // namespace hive
