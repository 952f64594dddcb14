# The program's version in one place, project(VERSION ...): the generated header tkd_version.h gives it
# to the code as TKD_VERSION (e.g. "1.0"); the About boxes, --version, the Windows version resource and
# the packages all read it. The header holds only defines, so that windres can include it too.
set(TKD_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(TKD_VERSION_MINOR 0)
if(NOT PROJECT_VERSION_MINOR STREQUAL "")
  set(TKD_VERSION_MINOR ${PROJECT_VERSION_MINOR})
endif()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/tkd_version.h @ONLY CONTENT
"// The program's version, written by CMake from project(VERSION ...) in the top-level CMakeLists.txt.
#pragma once

#define TKD_VERSION \"@PROJECT_VERSION@\"
// The numbers of a Windows version resource (FILEVERSION major, minor, 0, 0).
#define TKD_VERSION_MAJOR @TKD_VERSION_MAJOR@
#define TKD_VERSION_MINOR @TKD_VERSION_MINOR@
")
include_directories(${PROJECT_BINARY_DIR}/generated)
