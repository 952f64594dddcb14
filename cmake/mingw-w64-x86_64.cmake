# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix variant: the default one has no
# std::thread). Programs are linked statically against the C and C++ runtimes, so they need no DLL
# beside Windows' own, and CTest runs them under Wine.
#
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TKD_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TKD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TKD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TKD_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TKD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TKD_WINE NAMES wine wine64)
if(TKD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TKD_WINE})
endif()
