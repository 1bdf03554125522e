#pragma once

// Source lines of the running executable, loaded once from its DWARF line table so that
// a signal handler can map a code address to "file, line" without allocating. No Qt.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace faults {

struct SourceLine {
  const char* file = nullptr;  // null when the address has no line; else static for the table's life
  int32_t line = -1;           // 0-based
};

// Where the executable's own loadable segments lie in this process.
struct ExecutableImage {
  static constexpr size_t kMaxRanges = 8;
  struct Range {
    uint64_t begin = 0;
    uint64_t end = 0;
  };

  uint64_t bias = 0;  // run-time address = link-time address + bias (PIE load address)
  Range ranges[kMaxRanges] = {};
  size_t range_count = 0;

  // Safe in a signal handler.
  bool Contains(uint64_t address) const noexcept;
};

// The executable's image in this process (dl_iterate_phdr). Not for signal handlers.
ExecutableImage FindExecutableImage();

// A compiled-in source path as the report names it: relative to <root>/src/ for the
// program's sources, else relative to <root>/ (tests, tools), else unchanged.
std::string RelativeSourcePath(std::string_view path, std::string_view source_root);

class LineTable {
 public:
  // Reads every compile unit's line program from the ELF file at elf_path. File names are
  // stored as RelativeSourcePath(name, source_root). Returns false (and leaves the table
  // empty) when the file cannot be read or holds no line tables. Allocates; not for
  // signal handlers.
  bool Load(const char* elf_path, std::string_view source_root);

  // The line of the instruction at a link-time address (run-time address minus the bias).
  // Binary search over immutable arrays: safe in a signal handler.
  SourceLine Find(uint64_t link_address) const noexcept;

  bool empty() const noexcept { return m_rows.empty(); }
  size_t size() const noexcept { return m_rows.size(); }

 private:
  static constexpr uint32_t kNoFile = 0xFFFFFFFF;  // end of a sequence: no code after it

  struct Row {
    uint64_t address;
    uint32_t file;
    int32_t line;
  };

  std::vector<Row> m_rows;          // sorted by address
  std::deque<std::string> m_files;  // deque: the c_str() pointers stay put while it grows
};

}  // namespace faults
