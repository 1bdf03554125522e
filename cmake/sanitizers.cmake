# Line tables in every build: the fault report names the source line of the faulting statement.
add_compile_options($<$<CONFIG:Release>:-g1>)

if(KEYLOOM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
