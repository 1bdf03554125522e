#pragma once
// A hive image written to a temporary file for the length of a test.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hive/hive_file.h"

namespace testsupport {

class TempHive {
 public:
  explicit TempHive(const std::vector<uint8_t>& bytes) {
    char pattern[] = "/tmp/keyloom-test-XXXXXX";
    const int fd = ::mkstemp(pattern);
    m_path = pattern;
    if (fd >= 0) {
      size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0) break;
        done += static_cast<size_t>(wrote);
      }
      ::close(fd);
    }
  }
  ~TempHive() { ::unlink(m_path.c_str()); }
  TempHive(const TempHive&) = delete;
  TempHive& operator=(const TempHive&) = delete;

  const std::string& Path() const { return m_path; }
  std::unique_ptr<hive::HiveFile> Open(std::string* reason = nullptr) const {
    return hive::OpenHive(m_path, reason);
  }

 private:
  std::string m_path;
};

}  // namespace testsupport
