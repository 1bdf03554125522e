#pragma once
// A temporary folder for the length of a test, for files whose names matter
// (a hive and the logs beside it). Removed with everything in it at the end.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/keyloom-folder-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return m_path; }

  // Writes bytes to the file name in the folder and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = m_path + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::string m_path;
};

}  // namespace testsupport
