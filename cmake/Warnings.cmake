# Warnings are on everywhere; a new warning is a bug.
set(ML_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(ML_WARNINGS -Wall -Wextra -Wpedantic -Wshadow-uncaptured-local -Wnon-virtual-dtor
      -Wno-missing-field-initializers -Wno-gnu-zero-variadic-macro-arguments -Wno-c99-extensions)
endif()
option(ML_WERROR "Treat warnings as errors" OFF)
if(ML_WERROR)
  list(APPEND ML_WARNINGS -Werror)
endif()

if(ML_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ML_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ML_FUZZ needs clang")
  endif()
  # Coverage instrumentation goes only where a fuzz target can reach (the Qt-free modules and
  # the targets themselves: see ml_add_modules), not into the Qt windows or the suites, which
  # would only compile and run slower for it. Only the fuzz targets link libFuzzer's main.
  set(ML_FUZZ_COVERAGE -fsanitize=fuzzer-no-link)
endif()

# The flags above are for C++; C sources (generated code) get the common subset.
list(TRANSFORM ML_WARNINGS PREPEND "$<$<COMPILE_LANGUAGE:CXX>:")
list(TRANSFORM ML_WARNINGS APPEND ">")
list(APPEND ML_WARNINGS "$<$<COMPILE_LANGUAGE:C>:-Wall;-Wextra>")
