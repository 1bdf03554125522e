#include "faults/library_versions.h"

#include <Zydis/Zydis.h>
#include <elfutils/version.h>
#define UNW_LOCAL_ONLY
#include <libunwind.h>

namespace faults {

std::string LibraryVersions() {
  // elfutils numbers its releases 0.NNN: 188 is 0.188.
  return "Zydis " + std::to_string(ZYDIS_VERSION_MAJOR(ZYDIS_VERSION)) + '.' +
         std::to_string(ZYDIS_VERSION_MINOR(ZYDIS_VERSION)) + '.' +
         std::to_string(ZYDIS_VERSION_PATCH(ZYDIS_VERSION)) + "\nelfutils libdw 0." +
         std::to_string(_ELFUTILS_VERSION) + "\nlibunwind " + std::to_string(UNW_VERSION_MAJOR) + '.' +
         std::to_string(UNW_VERSION_MINOR) + '.' + std::to_string(UNW_VERSION_EXTRA);
}

}  // namespace faults
