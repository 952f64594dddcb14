// The command line of tk-dedi: --help and --version, answered before any window exists.
#pragma once

#include <cstdio>

// Returns -1 when the window is to run: no arguments, the program's only usual way of starting.
// Otherwise the program ends with the returned code: 0 after --help or --version (printed to pOut;
// 1 if that output could not be written), 2 after any other argument (a short message to pErr).
int HandleCommandLine(int argc, const char* const* argv, std::FILE* pOut, std::FILE* pErr);
