// The platform file layer of the store: open, close, size, read, write, seek, truncate, rename, local time.
#pragma once

#include <cstdint>
#include <ctime>

// One open file: a POSIX descriptor in file_posix.cpp, a HANDLE cast to an integer in its Windows
// twin file_win32.cpp. Both platforms use -1 for "no file" (INVALID_HANDLE_VALUE is (HANDLE)-1).
using StoreFile = std::intptr_t;
inline constexpr StoreFile kInvalidFile = -1;

// The two ways the store opens a file.
enum EDisposition {
    DISP_OPEN_EXISTING = 0,  // the file must exist; its content is kept
    DISP_CREATE_ALWAYS = 1,  // the file is created, or cut to empty when it exists
};

// Opens the path for reading and writing. Other programs may read the file but not write it while
// it is open: on POSIX an exclusive flock (taken before any truncation), refused at once when another
// writer holds one. kInvalidFile on any failure, including that refusal.
StoreFile StoreFileOpen(const char* pszPath, EDisposition eDisposition);
// True when the file was closed; false for kInvalidFile or a failing close (the file is gone either way).
bool StoreFileClose(StoreFile hFile);
// The file's size in bytes; false when it cannot be had.
bool StoreFileSize(StoreFile hFile, int64_t* pnSize);
// Reads up to nCount bytes from the absolute offset (the file position is not used or moved).
// True with the count read (0 at the end of the file); false on an error.
bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead);
// Writes at the file position, retrying short writes and interruptions. Returns the number of bytes
// written: nCount on success, less when the device refused the rest, -1 for kInvalidFile.
int StoreFileWrite(StoreFile hFile, const char* pData, int nCount);
// Moves the file position to the end. False on failure.
bool StoreFileSeekEnd(StoreFile hFile);
// Cuts the file to nSize bytes and leaves the position at the new end. False on failure.
bool StoreFileTruncate(StoreFile hFile, int64_t nSize);
// Renames a file; fails (false) when the target exists or the rename is refused.
bool StoreFileRename(const char* pszFrom, const char* pszTo);
bool StoreFileExists(const char* pszPath);

// The PC's local calendar time now (localtime_r here, GetLocalTime in the Windows twin).
void StoreLocalTimeNow(std::tm* ptm);
