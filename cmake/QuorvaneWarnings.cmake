# Warnings are on everywhere and kept at zero; add them per target so that
# third-party code found through find_package is not affected.
option(QUORVANE_WARNINGS_AS_ERRORS "Fail the build on a warning (the presets that make test builds)" OFF)

function(quorvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
    -Wnull-dereference -Wformat=2)
  if(QUORVANE_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
