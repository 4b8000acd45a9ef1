# One way to declare the core library's components, their tests, fuzz targets and test-only code.
#
# Every component is declared through quorvin_library, which records it in the global list
# QUORVIN_COMPONENTS. What must cover all components is derived from that list, never written out:
# the launcher links every static component whole (so each one's start-up state is constructed
# before WinMain), Quorvin::core links them all, and the install set holds them all.

# Each platform service has a backend for Windows and one for Linux; another system has none.
if(NOT WIN32 AND NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "The core library has platform backends for Windows and Linux only, not ${CMAKE_SYSTEM_NAME}")
endif()

option(QUORVIN_BENCHMARKS "Build the native benchmark programs" ON)
option(QUORVIN_FUZZ "Build only the libraries and the libFuzzer targets (clang with -fsanitize=fuzzer-no-link)" OFF)
set(QUORVIN_FUZZ_SECONDS 15 CACHE STRING "Length in seconds of each fuzz target's short run under CTest")

set(QUORVIN_WARNING_FLAGS -Wall -Wextra)
add_library(quorvin_warnings INTERFACE)
target_compile_options(quorvin_warnings INTERFACE ${QUORVIN_WARNING_FLAGS})

# Product code never reaches into test code or the stand-ins; a source that includes from tests/
# or standins/ stops the configuration.
function(quorvin_check_product_sources owner)
  foreach(file IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE path)
    file(STRINGS ${path} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](tests|standins)/")
    if(hits)
      message(FATAL_ERROR "${owner}: product source ${file} includes test or stand-in code: ${hits}")
    endif()
  endforeach()
endfunction()

# quorvin_library(NAME [WINDOWS_ONLY] [HEADERS ...] [SOURCES ...] [WINDOWS_SOURCES ...]
#                 [LINUX_SOURCES ...] [DEPS ...] [WINDOWS_DEPS ...])
# Declares the component quorvin_NAME with the alias Quorvin::NAME: a static library, or a
# header-only (interface) library when it has no sources. WINDOWS_* items are used only when
# building for Windows, LINUX_SOURCES (the posix/ backends) only when building for Linux:
# the build picks the platform files, not #ifdefs. A WINDOWS_ONLY component (one whose whole
# contract is Windows', such as the Windows seam or the crash library's interface) is declared by
# Windows builds only; elsewhere the call declares nothing. Headers are declared so they are
# installed with their core/<subsystem>/ paths. DEPS are public; a test-only target among them
# stops the configuration.
function(quorvin_library name)
  cmake_parse_arguments(ARG "WINDOWS_ONLY" ""
                        "HEADERS;SOURCES;WINDOWS_SOURCES;LINUX_SOURCES;DEPS;WINDOWS_DEPS" ${ARGN})
  if(ARG_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  set(headers ${ARG_HEADERS})
  set(sources ${ARG_SOURCES})
  set(deps ${ARG_DEPS})
  if(WIN32)
    list(APPEND sources ${ARG_WINDOWS_SOURCES})
    list(APPEND deps ${ARG_WINDOWS_DEPS})
  else()
    list(APPEND sources ${ARG_LINUX_SOURCES})
  endif()
  quorvin_check_product_sources(Quorvin::${name} ${headers} ${sources})
  foreach(dep IN LISTS deps)
    if(TARGET ${dep})
      get_target_property(test_only ${dep} QUORVIN_TEST_ONLY)
      if(test_only)
        message(FATAL_ERROR "Quorvin::${name} may not depend on the test-only target ${dep}")
      endif()
    endif()
  endforeach()

  set(target quorvin_${name})
  if(sources)
    add_library(${target} STATIC ${sources})
    set(scope PUBLIC)
    target_compile_options(${target} PRIVATE ${QUORVIN_WARNING_FLAGS})
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  add_library(Quorvin::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:include>)
  target_compile_features(${target} ${scope} cxx_std_20)
  if(headers)
    target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${headers})
  endif()
  target_link_libraries(${target} ${scope} ${deps})
  set_property(GLOBAL APPEND PROPERTY QUORVIN_COMPONENTS ${target})
endfunction()

# The static components in declaration order (dependencies first), for whole-archive linking.
function(quorvin_static_components out)
  get_property(components GLOBAL PROPERTY QUORVIN_COMPONENTS)
  set(result)
  foreach(component IN LISTS components)
    get_target_property(type ${component} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      list(APPEND result ${component})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# quorvin_test_support(NAME [HEADERS ...] [SOURCES ...] [DEPS ...])
# A helper for tests (Quorvin::NAME), marked test-only: no component may depend on it. Header-only,
# or with SOURCES an object library, whose objects land in every program that links it (as
# replacement allocation operators must: an archive member that nothing calls is never linked).
function(quorvin_test_support name)
  cmake_parse_arguments(ARG "" "" "HEADERS;SOURCES;DEPS" ${ARGN})
  set(target quorvin_${name})
  if(ARG_SOURCES)
    add_library(${target} OBJECT ${ARG_SOURCES})
    set(scope PUBLIC)
    target_link_libraries(${target} PRIVATE quorvin_warnings)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  add_library(Quorvin::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES QUORVIN_TEST_ONLY TRUE)
  target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR})
  if(ARG_HEADERS)
    target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_HEADERS})
  endif()
  target_link_libraries(${target} ${scope} ${ARG_DEPS})
endfunction()

# The subsystem a test or fuzz target belongs to: the name of the folder that declares it.
function(quorvin_subsystem_label out)
  cmake_path(GET CMAKE_CURRENT_SOURCE_DIR FILENAME label)
  set(${out} ${label} PARENT_SCOPE)
endfunction()

# quorvin_test(NAME SOURCES ... [WINDOWS_SOURCES ...] [LINUX_SOURCES ...] [DEPS ...] [LABELS ...])
# A GoogleTest program whose tests CTest lists one by one, labelled with the declaring folder's
# name (the subsystem) and any LABELS; on Windows builds they run under the cross-compiling
# emulator (Wine). WINDOWS_SOURCES (the windows/*_windows_test.cpp files) are compiled only when
# building for Windows and LINUX_SOURCES (the posix/*_posix_test.cpp files) only when not, as in
# quorvin_library: the build picks them, not #ifdefs in the portable tests. Not built by the fuzz
# configuration.
function(quorvin_test name)
  if(QUORVIN_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;WINDOWS_SOURCES;LINUX_SOURCES;DEPS;LABELS" ${ARGN})
  quorvin_subsystem_label(label)
  set(sources ${ARG_SOURCES})
  if(WIN32)
    list(APPEND sources ${ARG_WINDOWS_SOURCES})
  else()
    list(APPEND sources ${ARG_LINUX_SOURCES})
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} Quorvin::test_support GTest::gtest_main quorvin_warnings)
  # The discovery script splits a list-valued property, so the subsystem's label is the folder's
  # (CTest gives it to every test declared there) and at most one more label is the test's own.
  get_property(folder_labels DIRECTORY PROPERTY LABELS)
  if(NOT label IN_LIST folder_labels)
    set_property(DIRECTORY APPEND PROPERTY LABELS ${label})
  endif()
  list(LENGTH ARG_LABELS extra_labels)
  if(extra_labels GREATER 1)
    message(FATAL_ERROR "quorvin_test(${name}): at most one label besides the subsystem's")
  endif()
  set(label_property)
  if(ARG_LABELS)
    set(label_property LABELS ${ARG_LABELS})
  endif()
  # The tests are listed when CTest starts, not after each link. Under Wine a listing after a link
  # meets a server that the pauses between compiles leave idle or shutting down, and one such
  # listing once held its output pipe open until the discovery timeout failed the build. At test
  # time the listings run back to back with the tests, on one warm server.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 120
                       ${label_property})
endfunction()

# quorvin_fuzz_target(NAME SOURCES ... DEPS ... SEEDS folder [ARGS libFuzzer options...])
# A libFuzzer program, built only by the fuzz configuration, and its short run as a test labelled
# "fuzz". New inputs go to the build tree's corpus (build/fuzz/.../NAME_corpus); the committed seed
# folder is only read.
function(quorvin_fuzz_target name)
  if(NOT QUORVIN_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "SEEDS" "SOURCES;DEPS;ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorvin_warnings)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME Fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -E env UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
            $<TARGET_FILE:${name}> -max_total_time=${QUORVIN_FUZZ_SECONDS} -seed=1 -print_final_stats=1
            ${ARG_ARGS} ${corpus} ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SEEDS})
  set_tests_properties(Fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

# quorvin_kernel_runs(HOOK VARIABLE [TEST PROGRAM NAME PREFIX [ARGS ...] [LABELS ...]]
#                     [FUZZ TARGET SEEDS folder])
# Runs a kernel family's test program and fuzz target once more under each kernel forced through
# the family's test hook, the environment variable HOOK: tests PREFIX.portable, PREFIX.sse2 and
# PREFIX.avx2 (the program with --gtest_brief=1 and ARGS), and Fuzz.TARGET.portable and so on (the
# fuzz target's short run, with its own corpus and the committed SEEDS). A kernel that this build or
# machine lacks makes its run report itself skipped, with the reason: the program's forced-kernel
# check (tests/support/KernelTesting.h) prints "HOOK=kernel: why: skipped", the fuzz target exits 77.
function(quorvin_kernel_runs)
  cmake_parse_arguments(ARG "" "HOOK;TEST;NAME;FUZZ;SEEDS" "ARGS;LABELS" ${ARGN})
  foreach(kernel IN ITEMS portable sse2 avx2)
    if(ARG_TEST AND TARGET ${ARG_TEST})
      add_test(NAME ${ARG_NAME}.${kernel} COMMAND ${ARG_TEST} --gtest_brief=1 ${ARG_ARGS})
      set_tests_properties(${ARG_NAME}.${kernel} PROPERTIES
        ENVIRONMENT ${ARG_HOOK}=${kernel}
        SKIP_REGULAR_EXPRESSION "${ARG_HOOK}=${kernel}: .*: skipped"
        TIMEOUT 600 LABELS "${ARG_LABELS}")
    endif()
    if(ARG_FUZZ AND TARGET ${ARG_FUZZ})
      add_test(NAME Fuzz.${ARG_FUZZ}.${kernel}
        COMMAND ${CMAKE_COMMAND} -E env ${ARG_HOOK}=${kernel} UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
                $<TARGET_FILE:${ARG_FUZZ}> -max_total_time=${QUORVIN_FUZZ_SECONDS} -seed=2 -print_final_stats=1
                ${CMAKE_CURRENT_BINARY_DIR}/${ARG_FUZZ}_corpus ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SEEDS})
      set_tests_properties(Fuzz.${ARG_FUZZ}.${kernel} PROPERTIES TIMEOUT 300 LABELS fuzz SKIP_RETURN_CODE 77)
    endif()
  endforeach()
endfunction()

# quorvin_benchmark(NAME [THREADED_MAIN] SOURCES ... [DEPS ...])
# A native Google Benchmark program; built only on the host (never for Windows or the fuzz
# configuration) and only when QUORVIN_BENCHMARKS is on and Google Benchmark is installed. The
# caller finds its comparators and leaves the benchmark out when they are missing. THREADED_MAIN
# gives it the main of tests/support/ThreadedBenchmarkMain.cpp, which starts one thread first.
function(quorvin_benchmark name)
  if(WIN32 OR QUORVIN_FUZZ OR NOT QUORVIN_BENCHMARKS)
    return()
  endif()
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(ARG "THREADED_MAIN" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_THREADED_MAIN)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/ThreadedBenchmarkMain.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark quorvin_warnings)
endfunction()
