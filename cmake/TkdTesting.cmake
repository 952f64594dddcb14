# Helpers that every test folder uses: one executable per group of tests, linked to the libraries it tests.
#
#   tkd_add_gtest(<name> SOURCES a.cpp b.cpp LIBS tkd_store tkd_sim [SERIAL] [TIMEOUT seconds])
#
# A test's name is its executable's: "test_" and its folder under tests/ with "/" as "_"
# (test_unit_store, test_integration_reliability_crash), and "_<what>" when a folder has several
# (test_unit_ui_dlg, test_fuzz_poll). Helpers that are not tests keep the tkd_ prefix.
#
# SERIAL marks tests that measure time over a pseudo-terminal: CTest runs them alone so that
# other tests do not disturb their waits.
function(tkd_add_gtest name)
  cmake_parse_arguments(ARG "SERIAL;QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  if(ARG_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
