# Fails when a test of this build has no time limit of its own: CTest's
# default of 1500 s would let one hung test hold a CI run for 25 minutes.
# Run in the build directory: cmake -DCTEST=<ctest> -P test_timeouts_test.cmake
execute_process(COMMAND ${CTEST} --show-only=json-v1
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest --show-only=json-v1 failed (${status})")
endif()

string(JSON count LENGTH "${listing}" tests)
if(count LESS 2)
  message(FATAL_ERROR "only ${count} tests listed: run from the build directory")
endif()
# Each test has at most one TIMEOUT, so counting them is enough when all is
# well; only when they fall short is the listing read test by test, to
# name the tests without one.
string(REGEX MATCHALL "\"name\" *: *\"TIMEOUT\"" limits "${listing}")
list(LENGTH limits limited)
if(limited EQUAL count)
  message(STATUS "all ${count} tests have a TIMEOUT")
  return()
endif()
math(EXPR last "${count} - 1")
set(unlimited "")
foreach(index RANGE ${last})
  string(JSON test GET "${listing}" tests ${index})
  string(JSON name GET "${test}" name)
  string(JSON properties ERROR_VARIABLE none GET "${test}" properties)
  if(NOT properties MATCHES "\"name\" *: *\"TIMEOUT\"")
    list(APPEND unlimited "${name}")
  endif()
endforeach()

list(LENGTH unlimited missing)
if(missing GREATER 0)
  list(JOIN unlimited "\n  " names)
  message(FATAL_ERROR "${missing} of ${count} tests have no TIMEOUT:\n  ${names}")
endif()
