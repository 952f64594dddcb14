// How the platform's paths work, as far as the settings' DATADIR needs to know: case, separator, encoding.
#pragma once

// Windows paths ignore case, so there the value of DATADIR is upper-cased with the rest of its line
// (the product's own rule); on POSIX an upper-cased directory would not be found, so the value keeps
// the case it was written in.
bool OsPathsIgnoreCase();
// What ends a directory in a path: '\' on Windows, '/' on POSIX.
char OsPathSeparator();
// Whether a path is Unicode text rather than bytes. On Windows a folder name is Unicode and the
// settings file may be saved in code page 1251 or in UTF-8, so the bytes of DATADIR must be read one
// way, the same on every PC (made UTF-8); on POSIX a name is bytes, and the bytes as written are the name.
bool OsPathsAreUnicode();
