# The program's version in one place, project(VERSION ...): the generated header tkd_version.h gives it
# to the code as TKD_VERSION (e.g. "1.0"); the About box, --version and the packages all read it.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/tkd_version.h @ONLY CONTENT
"// The program's version, written by CMake from project(VERSION ...) in the top-level CMakeLists.txt.
#pragma once

#define TKD_VERSION \"@PROJECT_VERSION@\"
")
include_directories(${PROJECT_BINARY_DIR}/generated)
