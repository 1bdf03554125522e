#include "app/program_end.h"

#include <cstdlib>

#include "app/fault_hooks.h"

namespace ui {

void ProgramEnd(int status) {
  RemoveFaultInterception();
  std::exit(status);
}

}  // namespace ui
