# One way to declare the core library's components and their tests.

option(QUORVIN_BENCHMARKS "Build the native benchmark programs" ON)

add_library(quorvin_warnings INTERFACE)
target_compile_options(quorvin_warnings INTERFACE -Wall -Wextra)

# quorvin_library(NAME SOURCES ... [WINDOWS_SOURCES ...] [DEPS ...])
# Declares the static library quorvin_NAME with the alias Quorvin::NAME. WINDOWS_SOURCES are
# compiled only when building for Windows: the build picks the platform files, not #ifdefs.
function(quorvin_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;WINDOWS_SOURCES;DEPS" ${ARGN})
  set(sources ${ARG_SOURCES})
  if(WIN32)
    list(APPEND sources ${ARG_WINDOWS_SOURCES})
  endif()
  add_library(quorvin_${name} STATIC ${sources})
  add_library(Quorvin::${name} ALIAS quorvin_${name})
  target_include_directories(quorvin_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(quorvin_${name} PUBLIC ${ARG_DEPS} PRIVATE quorvin_warnings)
  set_property(GLOBAL APPEND PROPERTY QUORVIN_COMPONENTS quorvin_${name})
endfunction()

# quorvin_test(NAME SOURCES ... [DEPS ...])
# A GoogleTest program whose tests CTest lists one by one; on Windows builds they run under the
# cross-compiling emulator (Wine).
function(quorvin_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main quorvin_warnings)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 120)
endfunction()
