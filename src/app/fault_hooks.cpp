#include "app/fault_hooks.h"

#include "faults/fault_trap.h"
#include "faults/thread_stacks.h"

namespace ui {

void InstallFaultInterception() { faults::InstallFaultTrap(); }

void RemoveFaultInterception() { faults::RemoveFaultTrap(); }

void PrepareThreadForFaults() { faults::PrepareThreadForFaults(); }

}  // namespace ui
