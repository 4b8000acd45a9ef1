# Installs the core library from BUILD_DIR into a fresh prefix, then configures, builds and runs
# the consumer project against the installed package.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -P consumer_test.cmake
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
foreach(header core/text/Utf.h core/data/Md5.h core/diagnostics/Ensure.h core/sync/SpinLocks.h core/time/Clock.h
               core/process/Process.h core/system/PathRules.h core/runtime/NameRegistry.h
               lib/cmake/Quorvin/QuorvinConfig.cmake)
  if(NOT EXISTS ${prefix}/${header} AND NOT EXISTS ${prefix}/include/${header})
    message(FATAL_ERROR "not installed: ${header}")
  endif()
endforeach()
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${consumer_build} -G Ninja -DCMAKE_PREFIX_PATH=${prefix})
step(${CMAKE_COMMAND} --build ${consumer_build})
step(${consumer_build}/consumer_whole)
step(${consumer_build}/consumer_text)
message(STATUS "the installed package builds and runs a consumer")
