#include "fault_hooks.h"

namespace ui {

void InstallFaultInterception() {}

void RemoveFaultInterception() {}

void PrepareThreadForFaults() {}

}  // namespace ui
