#include "hive/hive_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "hive/little_endian.h"
#include "hive/mapping_guard.h"

namespace hive {
namespace {

void SetReason(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
}

std::string Number(uint32_t value) { return std::to_string(value); }

}  // namespace

HiveFile::~HiveFile() {
  if (m_map != nullptr) {
    UnguardMapping(m_map);
    ::munmap(const_cast<uint8_t*>(m_map), static_cast<size_t>(m_size));
  }
  if (m_fd >= 0) ::close(m_fd);
}

void HiveFile::CopyOut(int64_t at, uint8_t* destination, int32_t count) const {
  if (m_map != nullptr) {
    std::memcpy(destination, m_map + at, static_cast<size_t>(count));
    return;
  }
  int32_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(m_fd, destination + done, static_cast<size_t>(count - done),
                                static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the file lost these bytes: they keep what they held
    done += static_cast<int32_t>(got);
  }
}

std::unique_ptr<HiveFile> OpenHiveFile(const std::string& path, std::string* reason) {
  auto hive = std::make_unique<HiveFile>();
  hive->m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (hive->m_fd < 0) {
    SetReason(reason, std::string("cannot be opened: ") + std::strerror(errno));
    return nullptr;
  }
  struct stat info {};
  if (::fstat(hive->m_fd, &info) != 0) {
    SetReason(reason, std::string("cannot be opened: ") + std::strerror(errno));
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    SetReason(reason, S_ISDIR(info.st_mode) ? "is a folder, not a hive file" : "is not a regular file");
    return nullptr;
  }
  hive->m_size = info.st_size;
  if (hive->m_size < kMinimumHiveSize) {
    SetReason(reason, "is " + std::to_string(hive->m_size) +
                          " bytes long; a registry hive is at least 4096 bytes");
    return nullptr;
  }
  void* map = ::mmap(nullptr, static_cast<size_t>(hive->m_size), PROT_READ, MAP_SHARED, hive->m_fd, 0);
  if (map != MAP_FAILED) {
    hive->m_map = static_cast<const uint8_t*>(map);
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
