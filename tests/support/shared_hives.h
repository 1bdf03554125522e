#pragma once
// The real hives of the shared folder that the peer comparisons read.

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

// Version 1.3 hives in folder, without the two whose damage makes hivex read
// less of them than Keyloom shows. Sorted by name.
inline std::vector<std::string> ComparableHives(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name == "SOURCES.md" || name == "ezregistry__SAMBadHBinHeader" ||
        name == "plaso__corrupt_sub_key_list.hiv") {
      continue;
    }
    std::ifstream file(entry.path(), std::ios::binary);
    std::array<uint8_t, 28> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    if (head[20] == 1 && head[24] == 3) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
