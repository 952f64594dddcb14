// The path rules on Windows: case ignored, '\', names are Unicode.
#include "path_rules.h"

bool OsPathsIgnoreCase() { return true; }

char OsPathSeparator() { return '\\'; }

bool OsPathsAreUnicode() { return true; }
