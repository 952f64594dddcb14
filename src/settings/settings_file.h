// The settings file's platform layer: opening TK4700_TUNE.INI for reading, its size, reads; one platform file per OS.
#pragma once

#include <cstdint>

// One open settings file: a POSIX descriptor in settings_file_posix.cpp, a HANDLE cast to an integer
// in its Windows twin settings_file_win32.cpp; -1 for none.
using SettingsFile = std::intptr_t;
inline constexpr SettingsFile kNoSettingsFile = -1;

// Opens a regular file for reading without blocking: a FIFO, a device or a directory of that name
// (which would hang the start-up or read as nothing) counts as "cannot open". -1 on any failure.
SettingsFile SettingsFileOpen(const char* pszName);
// The file's size in bytes; false when it cannot be had.
bool SettingsFileSize(SettingsFile hFile, int64_t* pnSize);
// Reads up to nCount bytes at the file position. The count read (0 at the end), -1 on an error.
int SettingsFileRead(SettingsFile hFile, void* pBuf, int nCount);
void SettingsFileClose(SettingsFile hFile);

// How the platform names the data directory. Windows paths ignore case, so there the value of DATADIR
// is upper-cased with the rest of its line and GetDataDir appends '\'; on POSIX an upper-cased
// directory would not be found, so the value keeps the case it was written in and the separator is '/'.
bool SettingsUpperCaseDataDir();
char SettingsPathSeparator();
// Whether the value of DATADIR is made UTF-8 (TextToUtf8) as it is read. On Windows a folder name is
// Unicode and the settings file may be saved in code page 1251 or in UTF-8, so the bytes must be read
// one way, the same on every PC; on POSIX a name is bytes, and the bytes as written are the name.
bool SettingsDecodeDataDir();
