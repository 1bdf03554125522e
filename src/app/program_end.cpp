#include "program_end.h"

#include <cstdlib>

#include "fault_hooks.h"

namespace ui {

void ProgramEnd(int status) {
  RemoveFaultInterception();
  std::exit(status);
}

}  // namespace ui
