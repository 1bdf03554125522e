#pragma once

// The record of the last intercepted fault, as a plain value that can be copied out of
// the trap and handed between threads. No Qt.

#include <sys/types.h>

#include <cstdint>

namespace faults {

struct FaultRecord {
  uint32_t code = 0;             // Windows exception code (see fault_codes.h)
  uint64_t address = 0;          // faulting instruction; for int3 the address just past it
  uint64_t data_address = 0;     // the address the kernel blamed (si_addr), 0 if none
  const char* module = "";       // source file of the line snapshot, never null; static storage
  int32_t line = -1;             // 0-based line of the faulting statement; -1 when unknown
  int32_t count = 0;             // faults since InstallFaultTrap, this one included
  pid_t thread = 0;              // kernel thread id (gettid) of the faulting thread
};

// The address as the report shows it: the low 32 bits as a signed number, so an address
// whose low word is 2^31 or more is negative.
constexpr int32_t ReportedAddress(uint64_t address) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(address));
}

}  // namespace faults
