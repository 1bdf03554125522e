// libFuzzer target: any byte sequence, taken as a hive file, goes through the
// whole read path of the program: the hive open, the key tree walk, and the
// value listing of every key into a table that keeps its rows, as the value
// table of the window does. An input the strict open refuses takes the wider
// road (recovery::OpenHiveAnyway), so newer versions and their big data are
// read too.
//
// The bytes are written to one memory file per process (reused from input to
// input) and opened by its /proc path, so the hive is read through the same
// open() and pread() calls as a hive on disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hive/hive_file.h"
#include "recovery/open_anyway.h"
#include "walk_and_list.h"

namespace {

int MemoryFile() {
  static const int fd = [] {
    const int made = ::memfd_create("keyloom-fuzz-hive", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

// Overwrites the file's bytes, then cuts it to the input's length: the pages
// it keeps are reused, not freed and cleared again for every input.
bool WriteInput(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (!WriteInput(fd, data, size)) std::abort();
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::string reason;
  std::unique_ptr<hive::HiveFile> hive = hive::OpenHive(path, &reason);
  if (!hive) {
    if (reason.empty()) std::abort();  // every refusal says why
    std::string widerReason;
    recovery::OpenReport report;
    hive = recovery::OpenHiveAnyway(path, &widerReason, &report);
    if (!hive) {
      if (widerReason.empty()) std::abort();
      return 0;
    }
    // Accepted only beyond the strict open: something was done, and said.
    if (report.lines.empty() || report.summary.empty()) std::abort();
  }

  fuzzing::WalkAndList(*hive);
  hive::CloseHive(hive);
  return 0;
}
