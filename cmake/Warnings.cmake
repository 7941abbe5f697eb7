# Every target links tervane_warnings rather than setting flags globally.
add_library(tervane_warnings INTERFACE)
target_compile_options(tervane_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast
    -Wnon-virtual-dtor -Woverloaded-virtual)
if(TERVANE_WERROR)
  target_compile_options(tervane_warnings INTERFACE -Werror)
endif()
