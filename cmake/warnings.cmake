# Warnings every Keyloom target is built with; -Werror when KEYLOOM_WERROR is on (CI).
add_library(keyloom_warnings INTERFACE)
target_compile_options(keyloom_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
  -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough -Wformat=2
  $<$<BOOL:${KEYLOOM_WERROR}>:-Werror>)
