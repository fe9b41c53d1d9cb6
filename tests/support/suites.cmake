# Read by CTest for one test program of the line (tests/CMakeLists.txt makes
# the file that sets the variables below and includes this one): the
# program's tests, listed once per build of it, become CTest tests. A unit
# test program's suites each become one CTest test, which runs the suite's
# tests in one process: a unit test takes a few milliseconds, the process
# around it, with Qt's libraries and the application object, some fifty,
# and a page test's program opened on an installation is opened once per
# suite instead of once per test. The suites named in KALVOR_SUITES_SPLIT
# run one test a process, under their tests' own names: those that
# tests/realtime.cmake names, and those whose tests are long enough that one
# process for all of them would make the longest test of the run; the flow
# tests, each a run of the program or several, all do.
#
#   KALVOR_SUITES_EXE    the test program
#   KALVOR_SUITES_LIST   where its listing is kept between runs
#   KALVOR_SUITES_SPLIT  suites whose tests run one a process (ALL: every one)
#   KALVOR_SUITES_ENV    the tests' environment
# Every variable of this file starts with kalvor_suites_: it is read in the
# scope of CTest's own test file.

get_filename_component(kalvor_suites_name "${KALVOR_SUITES_EXE}" NAME)
if(NOT EXISTS "${KALVOR_SUITES_EXE}")
  add_test(${kalvor_suites_name}_NOT_BUILT ${kalvor_suites_name}_NOT_BUILT)
  return()
endif()
if(NOT EXISTS "${KALVOR_SUITES_LIST}" OR "${KALVOR_SUITES_EXE}" IS_NEWER_THAN "${KALVOR_SUITES_LIST}")
  execute_process(COMMAND "${KALVOR_SUITES_EXE}" --gtest_list_tests
                  OUTPUT_VARIABLE kalvor_suites_out ERROR_QUIET RESULT_VARIABLE kalvor_suites_rc
                  TIMEOUT 60)
  if(NOT kalvor_suites_rc EQUAL 0)
    # A test that fails and says so, rather than tests silently missing.
    file(REMOVE "${KALVOR_SUITES_LIST}")
    add_test(${kalvor_suites_name}_NOT_LISTED ${kalvor_suites_name}_NOT_LISTED)
    return()
  endif()
  # Whole or not at all for a CTest run beside this one.
  string(RANDOM kalvor_suites_tag)
  file(WRITE "${KALVOR_SUITES_LIST}.${kalvor_suites_tag}" "${kalvor_suites_out}")
  file(RENAME "${KALVOR_SUITES_LIST}.${kalvor_suites_tag}" "${KALVOR_SUITES_LIST}")
endif()

file(STRINGS "${KALVOR_SUITES_LIST}" kalvor_suites_lines)
set(kalvor_suites_suite "")
set(kalvor_suites_seen "")
foreach(kalvor_suites_line IN LISTS kalvor_suites_lines)
  if(kalvor_suites_line MATCHES "^([A-Za-z0-9_/]+)\\.")
    set(kalvor_suites_suite "${CMAKE_MATCH_1}")
  elseif(kalvor_suites_line MATCHES "^  ([A-Za-z0-9_/]+)" AND NOT kalvor_suites_suite STREQUAL "")
    set(kalvor_suites_test "${kalvor_suites_suite}.${CMAKE_MATCH_1}")
    # list(FIND), not IN_LIST: CTest reads this file without a policy level.
    list(FIND KALVOR_SUITES_SPLIT "${kalvor_suites_suite}" kalvor_suites_split)
    list(FIND kalvor_suites_seen "${kalvor_suites_suite}" kalvor_suites_done)
    if(kalvor_suites_split GREATER -1 OR KALVOR_SUITES_SPLIT STREQUAL "ALL")
      add_test("${kalvor_suites_test}" "${KALVOR_SUITES_EXE}" "--gtest_filter=${kalvor_suites_test}")
      # A test that skips itself shows as skipped.
      set_tests_properties("${kalvor_suites_test}" PROPERTIES
                           SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
      set(kalvor_suites_added "${kalvor_suites_test}")
    elseif(kalvor_suites_done EQUAL -1)
      list(APPEND kalvor_suites_seen "${kalvor_suites_suite}")
      add_test("${kalvor_suites_suite}" "${KALVOR_SUITES_EXE}" "--gtest_filter=${kalvor_suites_suite}.*")
      set(kalvor_suites_added "${kalvor_suites_suite}")
    else()
      continue()
    endif()
    set_tests_properties("${kalvor_suites_added}" PROPERTIES
                         ENVIRONMENT "${KALVOR_SUITES_ENV}" TIMEOUT 300)
  endif()
endforeach()
