# GoogleTest's CMake module for builds whose tests run under an emulator
# (wine): the toolchain files put this folder first on CMAKE_MODULE_PATH, so
# include(GoogleTest) lands here, takes the standard module and then replaces
# gtest_discover_tests.
#
# Under the emulator every test binary is one CTest test. Listing the cases at
# build time and starting the emulator once per case would cost more than the
# tests themselves, and an emulator that silently fails to start a program
# (wine64 without wine32 given a 32-bit program exits 0 doing nothing) must not
# look like a pass: the test passes only on GoogleTest's own closing line with
# at least one test, and fails on any failure line.
#
# QUORVEL_WHOLE_BINARY_TESTS asks for the same without an emulator: for test
# programs this machine builds but cannot start, so that the build does not
# try to list their cases.
include(${CMAKE_ROOT}/Modules/GoogleTest.cmake)

if(CMAKE_CROSSCOMPILING_EMULATOR OR QUORVEL_WHOLE_BINARY_TESTS)
  function(gtest_discover_tests target)
    cmake_parse_arguments(arg "NO_PRETTY_TYPES;NO_PRETTY_VALUES"
      "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE"
      "EXTRA_ARGS;PROPERTIES" ${ARGN})
    if(NOT arg_WORKING_DIRECTORY)
      set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    set(name ${arg_TEST_PREFIX}${target}${arg_TEST_SUFFIX})
    add_test(NAME ${name} COMMAND ${target} ${arg_EXTRA_ARGS} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
    set_tests_properties(${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
      ${arg_PROPERTIES})
    if(arg_TEST_LIST)
      set(${arg_TEST_LIST} ${name} PARENT_SCOPE)
    endif()
  endfunction()
endif()
