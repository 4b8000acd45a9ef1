# Installs the core library from BUILD_DIR into a fresh prefix, checks that the consumer project
# includes every installed header, then configures, builds and runs the consumer against the
# installed package. For a cross build, TOOLCHAIN is the toolchain file, EMULATOR runs the
# consumer, LIBRARY_DIR holds libraries the package names by file (the crash library's import
# library) and RUNTIME_FILES are copied beside the consumer (that library's DLL).
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... [-DTOOLCHAIN=... -DEMULATOR=...
#         -DLIBRARY_DIR=... -DRUNTIME_FILES=...] -P consumer_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
endfunction()

step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
if(NOT EXISTS ${prefix}/lib/cmake/Quorvin/QuorvinConfig.cmake)
  message(FATAL_ERROR "not installed: lib/cmake/Quorvin/QuorvinConfig.cmake")
endif()

# Every installed header is compiled and used by the consumer, so a header that this system cannot
# offer, or a declaration without a definition here, fails the build or the link below.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/core/*.h)
list(LENGTH headers header_count)
if(header_count LESS 30)
  message(FATAL_ERROR "only ${header_count} headers installed: ${headers}")
endif()
file(GLOB consumer_sources ${SOURCE_DIR}/*.cpp)
set(included "")
foreach(source IN LISTS consumer_sources)
  file(STRINGS ${source} lines REGEX "^#include <core/")
  string(APPEND included "${lines}")
endforeach()
foreach(header IN LISTS headers)
  string(FIND "${included}" "<${header}>" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "installed but not used by the consumer: ${header}")
  endif()
endforeach()

set(configure_options)
if(TOOLCHAIN)
  list(APPEND configure_options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(LIBRARY_DIR)
  list(APPEND configure_options -DQuorvin_CRASH_LIBRARY_DIR=${LIBRARY_DIR})
endif()
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${consumer_build} -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
     ${configure_options})
step(${CMAKE_COMMAND} --build ${consumer_build})
foreach(file IN LISTS RUNTIME_FILES)
  file(COPY ${file} DESTINATION ${consumer_build})
endforeach()
foreach(program consumer_whole consumer_text)
  if(EMULATOR)
    step(${EMULATOR} ${consumer_build}/${program}.exe)
  else()
    step(${consumer_build}/${program})
  endif()
endforeach()
message(STATUS "the installed package (${header_count} headers) builds and runs a consumer")
