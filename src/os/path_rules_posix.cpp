// The path rules on POSIX: case kept, '/', names are bytes.
#include "path_rules.h"

bool OsPathsIgnoreCase() { return false; }

char OsPathSeparator() { return '/'; }

bool OsPathsAreUnicode() { return false; }
