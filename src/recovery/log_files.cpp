#include "recovery/log_files.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "hive/hive_file.h"
#include "hive/mapping_guard.h"

namespace recovery {
namespace {

constexpr std::array<std::string_view, 3> kSuffixes = {".LOG", ".LOG1", ".LOG2"};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The index of the suffix that name has after hiveName, or -1.
int SuffixOf(std::string_view name, std::string_view hiveName) {
  if (name.size() <= hiveName.size() || !SameIgnoringCase(name.substr(0, hiveName.size()), hiveName)) {
    return -1;
  }
  const std::string_view rest = name.substr(hiveName.size());
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    if (SameIgnoringCase(rest, kSuffixes[i])) return static_cast<int>(i);
  }
  return -1;
}

// Of names found without regard to case (not empty), the one spelt exactly
// as exact, else the first in name order.
std::string PickSpelling(std::vector<std::string>& names, const std::string& exact) {
  std::sort(names.begin(), names.end());
  const auto pick = std::find(names.begin(), names.end(), exact);
  return pick != names.end() ? *pick : names.front();
}

// The name without a log suffix (any case); none without one, or when
// nothing is left.
std::optional<std::string> StemOfLogName(const std::string& name) {
  for (const std::string_view suffix : kSuffixes) {
    if (name.size() > suffix.size() &&
        SameIgnoringCase(std::string_view(name).substr(name.size() - suffix.size()), suffix)) {
      return name.substr(0, name.size() - suffix.size());
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<LogPath> FindTransactionLogs(const std::string& hivePath) {
  namespace fs = std::filesystem;
  const fs::path hive(hivePath);
  const std::string hiveName = hive.filename().string();
  fs::path folder = hive.parent_path();
  if (folder.empty()) folder = ".";
  std::array<std::vector<std::string>, kSuffixes.size()> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const int suffix = SuffixOf(name, hiveName);
    if (suffix < 0) continue;
    std::error_code statError;
    if (!it->is_regular_file(statError)) continue;
    found[static_cast<size_t>(suffix)].push_back(name);
  }
  std::vector<LogPath> logs;
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    if (found[i].empty()) continue;
    const std::string name = PickSpelling(found[i], hiveName + std::string(kSuffixes[i]));
    logs.push_back({(folder / name).string(), name});
  }
  return logs;
}

std::optional<std::string> HiveBesideLog(const std::string& logPath) {
  namespace fs = std::filesystem;
  const fs::path log(logPath);
  const std::optional<std::string> stem = StemOfLogName(log.filename().string());
  if (!stem) return std::nullopt;
  const fs::path folder = log.has_parent_path() ? log.parent_path() : ".";
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code kindError;
    if (SameIgnoringCase(name, *stem) && it->is_regular_file(kindError)) names.push_back(name);
  }
  if (names.empty()) return std::nullopt;
  return (folder / PickSpelling(names, *stem)).string();
}

std::unique_ptr<LogFile> LogFile::Open(const std::string& path, std::string* reason) {
  std::unique_ptr<LogFile> log(new LogFile);
  // A name that became a FIFO since it was found is refused, not waited on.
  int64_t size = 0;
  log->m_fd = hive::OpenRegularFile(path, "a transaction log", &size, reason);
  if (log->m_fd < 0) return nullptr;
  if (size == 0) {
    *reason = "is empty";
    return nullptr;
  }
  log->m_size = static_cast<size_t>(size);
  void* map = ::mmap(nullptr, log->m_size, PROT_READ, MAP_SHARED, log->m_fd, 0);
  if (map == MAP_FAILED) {
    *reason = std::string("cannot be read: ") + std::strerror(errno);
    return nullptr;
  }
  log->m_map = static_cast<const uint8_t*>(map);
  hive::GuardMapping(log->m_map, log->m_size);
  return log;
}

LogFile::~LogFile() {
  if (m_map != nullptr) {
    hive::UnguardMapping(m_map);
    ::munmap(const_cast<uint8_t*>(m_map), m_size);
  }
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace recovery
