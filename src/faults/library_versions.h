#pragma once
// The versions of the libraries the fault interception is built on, as their
// headers gave them when Keyloom was compiled. No Qt.

#include <string>

namespace faults {

// One line per library, "NAME VERSION", in this order: Zydis, elfutils libdw,
// libunwind. For the program's About box.
std::string LibraryVersions();

}  // namespace faults
