#pragma once
// Finding a hive's transaction logs beside it, and reading one read-only.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace recovery {

struct LogPath {
  std::string path;  // as found: the hive's folder joined with the file name
  std::string name;  // the file name alone, for notes
};

// The regular files in the folder of hivePath named as the hive's file name
// followed by ".LOG", ".LOG1" or ".LOG2", name and suffix matched without
// regard to (ASCII) case, in that order of suffixes. Where several files match
// one suffix (a case-sensitive file system), the one spelt exactly as the hive
// name plus an upper-case suffix is taken, else the first by name. A folder
// that cannot be read gives none.
std::vector<LogPath> FindTransactionLogs(const std::string& hivePath);

// The hive a transaction log at logPath belongs to: the file in the same
// folder named as the log without its ".LOG", ".LOG1" or ".LOG2" suffix, the
// name and the suffix matched without regard to case (the one spelt exactly so
// first, else the first in name order). None when the name has no such suffix
// or no such file is there.
std::optional<std::string> HiveBesideLog(const std::string& logPath);

// One log open read-only (hive::OpenRegularFile) and mapped read-only. A log
// that shrinks while it is mapped reads as zeros where it lost pages (see
// hive/mapping_guard.h). Nothing is ever written to it.
class LogFile {
 public:
  // None, with the reason ("cannot be opened: ...", "is a folder, not a
  // transaction log", "is empty", ...), when the file cannot be opened, is not
  // a regular file, is empty or cannot be mapped.
  static std::unique_ptr<LogFile> Open(const std::string& path, std::string* reason);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // The whole file as it was when opened; valid while the LogFile lives.
  std::span<const uint8_t> Bytes() const { return {m_map, m_size}; }
  int Descriptor() const { return m_fd; }

 private:
  LogFile() = default;
  int m_fd = -1;
  const uint8_t* m_map = nullptr;
  size_t m_size = 0;
};

}  // namespace recovery
