#include "faults/line_table.h"

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <unordered_map>

namespace faults {

bool ExecutableImage::Contains(uint64_t address) const noexcept {
  for (size_t i = 0; i < range_count; ++i) {
    if (address >= ranges[i].begin && address < ranges[i].end) {
      return true;
    }
  }
  return false;
}

ExecutableImage FindExecutableImage() {
  ExecutableImage image;
  // The first object dl_iterate_phdr reports is the main program.
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* found = static_cast<ExecutableImage*>(data);
        found->bias = info->dlpi_addr;
        for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& header = info->dlpi_phdr[i];
          if (header.p_type != PT_LOAD || found->range_count == ExecutableImage::kMaxRanges) {
            continue;
          }
          const uint64_t begin = info->dlpi_addr + header.p_vaddr;
          found->ranges[found->range_count++] = {begin, begin + header.p_memsz};
        }
        return 1;
      },
      &image);
  return image;
}

std::string RelativeSourcePath(std::string_view path, std::string_view source_root) {
  std::string normal = std::filesystem::path(path).lexically_normal().string();
  std::string root = std::filesystem::path(source_root).lexically_normal().string();
  while (root.size() > 1 && root.back() == '/') {
    root.pop_back();
  }
  if (root.empty() || normal.size() <= root.size() + 1 || normal.compare(0, root.size(), root) != 0 ||
      normal[root.size()] != '/') {
    return normal;
  }
  std::string inside = normal.substr(root.size() + 1);
  constexpr std::string_view kSources = "src/";
  if (inside.size() > kSources.size() && inside.compare(0, kSources.size(), kSources) == 0) {
    return inside.substr(kSources.size());
  }
  return inside;
}

bool LineTable::Load(const char* elf_path, std::string_view source_root) {
  m_rows.clear();
  m_files.clear();

  const int fd = open(elf_path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  Dwarf* dwarf = dwarf_begin(fd, DWARF_C_READ);
  if (dwarf == nullptr) {
    close(fd);
    return false;
  }

  std::unordered_map<std::string, uint32_t> file_numbers;
  // A build that keeps its paths relative (ccache's base folder, a debug prefix
  // map) names files relative to the unit's compilation folder.
  auto file_number = [&](const char* name, const char* comp_dir) {
    std::string full = name;
    if (name[0] != '/' && comp_dir != nullptr) {
      full = (std::filesystem::path(comp_dir) / name).string();
    }
    auto [it, added] = file_numbers.try_emplace(full, static_cast<uint32_t>(m_files.size()));
    if (added) {
      m_files.push_back(RelativeSourcePath(full, source_root));
    }
    return it->second;
  };

  Dwarf_CU* unit = nullptr;
  Dwarf_Die unit_die;
  uint8_t unit_type = 0;
  while (dwarf_get_units(dwarf, unit, &unit, nullptr, &unit_type, &unit_die, nullptr) == 0) {
    if (unit_type != DW_UT_compile && unit_type != DW_UT_partial) {
      continue;
    }
    Dwarf_Attribute comp_dir_attribute;
    const char* comp_dir = dwarf_formstring(dwarf_attr(&unit_die, DW_AT_comp_dir, &comp_dir_attribute));
    Dwarf_Lines* lines = nullptr;
    size_t line_count = 0;
    if (dwarf_getsrclines(&unit_die, &lines, &line_count) != 0) {
      continue;
    }
    for (size_t i = 0; i < line_count; ++i) {
      Dwarf_Line* entry = dwarf_onesrcline(lines, i);
      Dwarf_Addr address = 0;
      int number = 0;
      bool end_sequence = false;
      if (entry == nullptr || dwarf_lineaddr(entry, &address) != 0 ||
          dwarf_lineno(entry, &number) != 0 || dwarf_lineendsequence(entry, &end_sequence) != 0) {
        continue;
      }
      const char* name = dwarf_linesrc(entry, nullptr, nullptr);
      // DWARF counts lines from 1; 0 marks code that belongs to no source line.
      if (end_sequence || name == nullptr || number <= 0) {
        m_rows.push_back({address, kNoFile, -1});
      } else {
        m_rows.push_back({address, file_number(name, comp_dir), number - 1});
      }
    }
  }
  dwarf_end(dwarf);
  close(fd);

  // At one address the row that ends a sequence goes first, so that the code starting
  // there is found; otherwise the last row of a sequence at that address applies.
  std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
    if (a.address != b.address) {
      return a.address < b.address;
    }
    return a.file == kNoFile && b.file != kNoFile;
  });
  m_rows.shrink_to_fit();
  return !m_rows.empty();
}

SourceLine LineTable::Find(uint64_t link_address) const noexcept {
  auto after = std::upper_bound(m_rows.begin(), m_rows.end(), link_address,
                                [](uint64_t address, const Row& row) { return address < row.address; });
  if (after == m_rows.begin()) {
    return {};
  }
  const Row& row = *(after - 1);
  if (row.file == kNoFile) {
    return {};
  }
  return {m_files[row.file].c_str(), row.line};
}

}  // namespace faults
