# The core's GoogleTest programs (everything without Qt) are built and run by
# every build, except where VOLTREX_CORE_TESTS is off: the ci preset, whose
# suite runs them in the sanitizer build (asan-core) instead of compiling
# them a second time. There they are still targets, built on demand
# (cmake --build --preset ci --target procedures_tests), but neither built by
# default nor run by ctest.
#
#   voltrex_core_test(<target>)
#       registers a GoogleTest program's cases with ctest, or the program as
#       one test where VOLTREX_CORE_TESTS_WHOLE is on (the sanitizer build of
#       the suite: started once instead of once per case, its 420 cases take
#       17 instead of 60 seconds; ctest -R by a case's name works in the
#       default preset)
#   voltrex_core_test_command(<name> COMMAND <program> [<arg>...])
#       registers a core program that runs as a single test

option(VOLTREX_CORE_TESTS "Build and run the tests of the core (no Qt)" ON)
option(VOLTREX_CORE_TESTS_WHOLE "Run each core test program as one test, not case by case" OFF)

function(voltrex_core_test target)
  if(VOLTREX_CORE_TESTS AND VOLTREX_CORE_TESTS_WHOLE)
    add_test(NAME ${target} COMMAND ${target})
  elseif(VOLTREX_CORE_TESTS)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  else()
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()

function(voltrex_core_test_command name)
  cmake_parse_arguments(PARSE_ARGV 1 TEST "" "" "COMMAND")
  list(GET TEST_COMMAND 0 program)
  if(VOLTREX_CORE_TESTS)
    add_test(NAME ${name} COMMAND ${TEST_COMMAND})
  elseif(TARGET ${program})
    set_target_properties(${program} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()
