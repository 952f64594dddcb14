// The platform file layer of the store: opening without creating, appending, flushing, whole-file replacement, moves, errors.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

// One open file: a POSIX descriptor in file_posix.cpp, a pointer to the record of its handle in the
// Windows twin file_win32.cpp. Both platforms use -1 for "no file".
using StoreFile = std::intptr_t;
inline constexpr StoreFile kInvalidFile = -1;

// How an open of an existing file ended. Only OPEN_NOT_FOUND lets the store create a file: every
// other failure (no permission, a failing disk, too many open files, a file locked by another writer,
// a symbolic link, a FIFO or a device) leaves whatever is there untouched.
enum EOpenResult {
    OPEN_OK = 0,
    OPEN_NOT_FOUND = 1,  // no such file (ENOENT; ERROR_FILE_NOT_FOUND in the twin)
    OPEN_FAILED = 2,     // anything else; StoreFileLastError tells what
};

// The two ways the store opens an existing file. Neither creates, follows a symbolic link (O_NOFOLLOW;
// in the twin FILE_FLAG_OPEN_REPARSE_POINT, and symbolic links and junctions refused while other
// reparse points such as cloud placeholders are files) or blocks on a FIFO or a device (O_NONBLOCK);
// anything but a regular file is refused as OPEN_FAILED. In the twin, a file that another program
// holds for a moment (a sharing violation) is tried again for about a second before the open fails.
enum EFileAccess {
    ACCESS_READ = 0,    // read only, shared with everyone (the tuning file's comparison)
    ACCESS_APPEND = 1,  // read anywhere, every write at the end whatever the position (O_APPEND;
                        // FILE_APPEND_DATA in the twin), with an exclusive writer lock taken at once
                        // (flock LOCK_EX|LOCK_NB; FILE_SHARE_READ in the twin): a second writer fails
                        // (and in the twin nobody can rename or delete the file either)
};

// Opens an existing regular file. kInvalidFile on failure; *peResult (may be null) says which.
StoreFile StoreFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult);
// Creates the file only when no entry of that name exists (O_CREAT | O_EXCL; CREATE_NEW), opened as
// ACCESS_APPEND would open it. The store calls it only after an open reported OPEN_NOT_FOUND.
StoreFile StoreFileCreate(const char* pszPath);
// True when the file was closed; false for kInvalidFile or a failing close (the file is gone either way).
bool StoreFileClose(StoreFile hFile);
// The file's size in bytes; false when it cannot be had.
bool StoreFileSize(StoreFile hFile, int64_t* pnSize);
// Reads up to nCount bytes from the absolute offset (the file position is not used or moved).
// True with the count read (0 at the end of the file); false on an error.
bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead);
// Appends at the end of an ACCESS_APPEND file, retrying short writes and interruptions. Returns the
// number of bytes written: nCount on success, less when the device refused the rest, -1 for kInvalidFile.
int StoreFileAppend(StoreFile hFile, const char* pData, int nCount);
// Forces the file's data to the disk (fdatasync; FlushFileBuffers in the twin). False on failure.
bool StoreFileFlush(StoreFile hFile);
// Cuts the file to nSize bytes. False on failure.
bool StoreFileTruncate(StoreFile hFile, int64_t nSize);
// Replaces the file's whole content: writes it to a temporary name in the same directory (the path
// plus ".tmp"), flushes it, renames it over the path and, on POSIX, flushes the directory. A failure at
// any step leaves the old file as it was. Whatever a killed run left under the temporary name is the
// program's own: a file or a link of that name is removed (never followed), an empty directory too;
// past a directory that holds something, ".tmp2" ... ".tmp9" are tried. A failure on the temporary
// file names it through StoreFileLastFailedPath.
bool StoreFileReplace(const char* pszPath, const char* pData, int nCount);
// Moves a file to a new name in the same directory, never over an existing one (false when the target
// exists), and flushes the directory on POSIX so that the move survives a power cut. The move is one
// step where the file system allows it (renameat2 RENAME_NOREPLACE; MoveFileEx in the twin); elsewhere
// a hard link and an unlink, between which a kill leaves the file under both names. The store's own
// open handles on the file follow it (a descriptor does; the twin closes and reopens its handles).
bool StoreFileMove(const char* pszFrom, const char* pszTo);
// True when an entry of that name exists, whatever it is (a dangling symbolic link included).
bool StoreFileExists(const char* pszPath);
// The system's own text for the last failure of an operation above on this thread (strerror of errno
// here; FormatMessage of GetLastError in the twin), terminated and cut to nSize bytes.
void StoreFileLastError(char* pszBuf, int nSize);

// The path the last failure on this thread happened to when it was not the one the operation was
// given (the temporary file of StoreFileReplace); "" otherwise. Terminated and cut to nSize bytes.
void StoreFileLastFailedPath(char* pszBuf, int nSize);

// What the store needs to know of an open file besides its size: when it was last written (only
// compared with another file's) and which file it is, with its number of names.
struct CStoreFileInfo {
    int64_t nSize = 0;
    int64_t nModified = 0;  // nanoseconds here, 100 ns units in the twin
    uint64_t nDevice = 0;
    uint64_t nFileId = 0;
    int nLinks = 0;
};
bool StoreFileInfoOf(StoreFile hFile, CStoreFileInfo* pInfo);
// Removes a name (a link itself, never what it points to) and flushes the directory on POSIX.
bool StoreFileRemove(const char* pszPath);
// Calls fnName with each name in the directory (its path text, "" for the current one) that starts
// with pszPrefix. False when the directory cannot be read.
bool StoreFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName);

// The PC's local calendar time now (localtime_r here, GetLocalTime in the Windows twin).
void StoreLocalTimeNow(std::tm* ptm);
// The same, with the local time's offset from UTC in minutes (east of Greenwich positive).
void StoreLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes);

// ---- Fault seam for tests ------------------------------------------------------------------------
// Faults the operating system cannot produce on demand (a failing disk, a full one, a stale network
// file): the next nCount calls of the operation fail as if the system had returned nErrno (an errno
// value; the twin maps it to the nearest Windows error), after nSkip calls that succeed. The product
// never sets one. Implemented once, in store_file_fault.cpp; each platform file asks StoreFileFault.
// SFOP_CLOSE releases the file all the same, as a failing close does.
enum EStoreFileOp { SFOP_OPEN, SFOP_READ, SFOP_APPEND, SFOP_FLUSH, SFOP_REPLACE, SFOP_MOVE, SFOP_CLOSE, SFOP_TRUNCATE, SFOP_COUNT };
void StoreFileInjectFault(EStoreFileOp eOp, int nErrno, int nCount = 1, int nSkip = 0);
void StoreFileClearFaults();
// Called by the platform file at the start of an operation: the errno to fail with, or 0.
int StoreFileFault(EStoreFileOp eOp);
// A disk that is slow to flush (a network share, a worn card): every flush first waits nDelayMs, or,
// with -1, until StoreFileSetFlushDelay sets another value. 0, the product's value, waits for nothing.
void StoreFileSetFlushDelay(int nDelayMs);
// Called by the platform file's flush before it asks the system.
void StoreFileFlushDelay();
