# Headers most files of a target include are compiled once for the target (or, for the suites,
# once for many of them) instead of once per file: the test framework, the standard library, the
# toolkit's widget headers and the JSON library. Parsing them took a third to a half of a
# file's compile in the sanitizer flavour and most of a suite file's compile at -O0.
option(ML_PCH "Precompile the headers most files of a target share" ON)
if(ML_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # Without the creation time in the header, ccache can reuse the compiles that include it.
  list(APPEND CMAKE_CXX_COMPILE_OPTIONS_CREATE_PCH -Xclang -fno-pch-timestamp)
endif()

set(ML_MODULE_HEADERS
  <algorithm> <atomic> <chrono> <cstdint> <cstring> <filesystem> <functional> <map> <memory>
  <mutex> <optional> <string> <string_view> <unordered_map> <utility> <vector>)
set(ML_QT_HEADERS
  <QApplication> <QCheckBox> <QComboBox> <QDialog> <QLabel> <QLineEdit> <QMainWindow> <QPointer>
  <QPushButton> <QWidget>)

# ml_module_headers(<target> [<header>...]): a module's own files compile with the standard
# headers, the toolkit's (for a module that needs Qt) and the given ones precompiled.
function(ml_module_headers target)
  if(NOT ML_PCH)
    return()
  endif()
  set(headers ${ML_MODULE_HEADERS} ${ARGN})
  get_target_property(automoc ${target} AUTOMOC)
  if(automoc)
    list(APPEND headers ${ML_QT_HEADERS})
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

set(ML_SUITE_HEADERS
  <gtest/gtest.h> <gmock/gmock.h>
  <algorithm> <atomic> <chrono> <csignal> <cstdint> <cstdio> <cstdlib> <cstring> <deque>
  <filesystem> <fstream> <functional> <future> <map> <memory> <mutex> <optional> <set> <sstream>
  <stdexcept> <string> <thread> <utility> <vector>
  <fcntl.h> <sys/stat.h> <sys/wait.h> <unistd.h>)

# ml_suite_headers(<target> [QT]): <target> (a suite or its support library under tests/) compiles
# with the shared headers precompiled. A Qt-free suite reuses the one precompiled header made for
# its folder's compile options (those of tests/, or of the crash reporter's suites); a Qt suite
# makes its own, since the toolkit's test library defines the suite's folders as macros, which a
# precompiled header must agree on.
function(ml_suite_headers target)
  if(NOT ML_PCH)
    return()
  endif()
  cmake_parse_arguments(ARG "QT" "" "" ${ARGN})
  if(ARG_QT)
    set(headers ${ML_SUITE_HEADERS} ${ML_QT_HEADERS})
    get_target_property(libs ${target} LINK_LIBRARIES)
    if("Qt6::Test" IN_LIST libs)
      list(APPEND headers <QTest>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
    return()
  endif()
  # The header is made by a target of its own with the folder's options, the suites' warnings and
  # the test framework's definitions, so that every suite of that folder can use it.
  get_directory_property(options COMPILE_OPTIONS)
  string(MD5 key "${options}")
  string(SUBSTRING "${key}" 0 8 key)
  set(donor ml_suite_headers_${key})
  if(NOT TARGET ${donor})
    set(source ${CMAKE_BINARY_DIR}/ml_suite_headers.cpp)
    if(NOT EXISTS ${source})
      file(WRITE ${source} "// The precompiled suite headers are made with this empty file.\n")
    endif()
    add_library(${donor} OBJECT ${source})
    target_compile_options(${donor} PRIVATE ${ML_WARNINGS})
    target_link_libraries(${donor} PRIVATE GTest::gtest GTest::gmock Threads::Threads)
    target_precompile_headers(${donor} PRIVATE ${ML_SUITE_HEADERS})
    set_target_properties(${donor} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  target_precompile_headers(${target} REUSE_FROM ${donor})
endfunction()
