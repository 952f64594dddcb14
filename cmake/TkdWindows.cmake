# The Windows build's own pieces: GoogleTest compiled by the cross compiler from the sources that
# Debian's googletest package ships (no download), under the names find_package(GTest) gives on Linux.
set(TKD_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
if(NOT EXISTS ${TKD_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${TKD_GTEST_SOURCE_DIR}: apt-get install googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TKD_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gmock gtest_main gmock_main)
  # Their warnings are not ours to fix.
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# CTest runs every Windows program under Wine, in a prefix of this build tree. COM12 is the simulator's
# port for the serial tests (tests/win32), above COM9 so that they need the \\.\ prefix: it maps to
# the link the simulator makes in that directory.
set(TKD_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TKD_WIN32_LINE_DIR ${CMAKE_BINARY_DIR}/tests/win32/line)
set(TKD_WIN32_SIM_PORT 12)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${TKD_WINE_PREFIX}
    COM${TKD_WIN32_SIM_PORT}=${TKD_WIN32_LINE_DIR}/COM${TKD_WIN32_SIM_PORT} --)

# Conversation times under Wine (bench/link/README.md); not a test, run by hand.
add_executable(tkd_bench_link_win32 ${CMAKE_SOURCE_DIR}/bench/link/bench_link_win32.cpp)
target_link_libraries(tkd_bench_link_win32 PRIVATE tkd_link)
