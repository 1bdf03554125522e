// Built without line tables: raises one fault and prints the report the trap made of it.

#include <cstdio>

#include "faults/error_report.h"
#include "faults/fault_trap.h"

namespace {

int PrintReport() {
  std::fputs(faults::FormatErrorReport().c_str(), stdout);
  std::fputs("\n", stdout);
  return 1;
}

}  // namespace

int main() {
  if (!faults::InstallFaultTrap()) {
    return 2;
  }
  faults::SetFaultHandler(PrintReport);
  asm volatile("ud2");
  std::puts("resumed");
  faults::RemoveFaultTrap();
  return 0;
}
