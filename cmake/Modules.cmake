# Helpers that keep each module's CMakeLists.txt to one call. Sources are globbed from the module's
# own folder, so adding a file never touches a shared list. Every module includes from src/, so an
# include reads as its path: #include "platform/dispatch/MainQueue.h".

# The table of modules (cmake/modules.txt): for each module, global properties
# ML_MODULE_<module>_FOLDER, _QT, _TSAN and _USES; ML_MODULES lists them in table order.
function(ml_read_module_table)
  # An edit of the table configures the tree again.
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/modules.txt)
  file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/modules.txt rows REGEX "^[^#]")
  set(modules)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "[ \t]+" ";" fields "${row}")
    list(LENGTH fields count)
    if(count LESS 5)
      message(FATAL_ERROR "cmake/modules.txt: a line needs module, folder, qt, tsan and uses: '${row}'")
    endif()
    list(POP_FRONT fields module folder qt tsan)
    list(REMOVE_ITEM fields "-")
    set_property(GLOBAL PROPERTY ML_MODULE_${module}_FOLDER ${folder})
    set_property(GLOBAL PROPERTY ML_MODULE_${module}_QT ${qt})
    set_property(GLOBAL PROPERTY ML_MODULE_${module}_TSAN ${tsan})
    set_property(GLOBAL PROPERTY ML_MODULE_${module}_USES ${fields})
    list(APPEND modules ${module})
  endforeach()
  set_property(GLOBAL PROPERTY ML_MODULES ${modules})
endfunction()
ml_read_module_table()

# ml_module_uses(<module> <out>): the modules <module> may use, as the table gives them. A target
# the table does not name stops the configuration: a new module is a line in the table first.
function(ml_module_uses module out)
  get_property(listed GLOBAL PROPERTY ML_MODULE_${module}_FOLDER SET)
  if(NOT listed)
    message(FATAL_ERROR "${module} is not in cmake/modules.txt: add a line for it there.")
  endif()
  get_property(uses GLOBAL PROPERTY ML_MODULE_${module}_USES)
  set(${out} ${uses} PARENT_SCOPE)
endfunction()

# ml_library(<name> [DEPS <targets>...] [QT])
# DEPS name what lies outside the table (system and third-party libraries); the modules it may use
# come from the table.
function(ml_library name)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  file(GLOB_RECURSE hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  # A subfolder with a CMakeLists.txt of its own is a module of its own (e.g. the Qt-free rules
  # inside a Qt window family); its files are not part of this one.
  file(GLOB_RECURSE nested RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(n IN LISTS nested)
    get_filename_component(sub ${n} DIRECTORY)
    list(FILTER srcs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${sub}/")
    list(FILTER hdrs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${sub}/")
  endforeach()
  ml_module_uses(${name} uses)
  add_library(${name} STATIC ${srcs} ${hdrs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/src)
  target_compile_options(${name} PRIVATE ${ML_WARNINGS})
  target_link_libraries(${name} PUBLIC ${uses} ${ARG_DEPS} Threads::Threads)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
    ml_module_headers(${name})
  endif()
endfunction()

# ml_test(<name> [DEPS <targets>...] [QT])
# One test executable per module folder under tests/; each TEST becomes its own CTest case. The
# first of DEPS is the module under test.
function(ml_test name)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${ML_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} ml_test_support GTest::gtest GTest::gmock)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    ml_suite_headers(${name} QT)
  else()
    ml_suite_headers(${name})
  endif()
  list(GET ARG_DEPS 0 module)
  ml_suite(${name} ${module})
endfunction()

# ml_suite(<test executable> <module under test>): registers a suite with CTest and `ml_suites`
# when this flavour runs the module's suites (ML_SUITES=tsan: those the table marks "tsan"); else
# the executable stays defined (its folder may still configure it) but is neither built nor run.
function(ml_suite name module)
  if(ML_SUITES STREQUAL "tsan")
    get_property(tsan GLOBAL PROPERTY ML_MODULE_${module}_TSAN)
    if(NOT tsan STREQUAL "yes")
      set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
      return()
    endif()
  endif()
  add_dependencies(ml_suites ${name})
  get_property(qt GLOBAL PROPERTY ML_MODULE_${module}_QT)
  if(NOT qt STREQUAL "yes")
    file(RELATIVE_PATH dir ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY ML_QT_FREE_SUITE_DIRS ${dir})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# The test folders (relative to the build tree) whose suites test a Qt-free module, one a line, in
# qt-free-suites.txt: scripts/test.sh runs them again as an ordinary user.
function(ml_write_qt_free_suites)
  get_property(dirs GLOBAL PROPERTY ML_QT_FREE_SUITE_DIRS)
  list(REMOVE_DUPLICATES dirs)
  list(SORT dirs)
  list(JOIN dirs "\n" lines)
  file(WRITE ${CMAKE_BINARY_DIR}/qt-free-suites.txt "${lines}\n")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL ml_write_qt_free_suites)

# ml_benchmark(<name> SOURCES <files>... [DEPS <targets>...])
function(ml_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ML_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  # Helpers shared by benchmarks (bench/support/).
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
endfunction()

# ml_folder_options(<folder> <options>...): gives every target made in <folder> (a module's folder
# under the source tree) the compile options, privately.
function(ml_folder_options folder)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    target_compile_options(${target} PRIVATE ${ARGN})
  endforeach()
endfunction()

# ml_fuzzer(<name> SOURCES <files>... [DEPS <targets>...])
# The seed corpus is fuzz/corpus/<name>/; scripts/test.sh runs every target on it for a while.
function(ml_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ML_WARNINGS} ${ML_FUZZ_COVERAGE})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY ML_FUZZERS ${name})
endfunction()
