// File access: opening without creating, appending, flushing, whole-file replacement, moves, errors; the test seam below the system calls.
#pragma once

#include <cstdint>
#include <functional>

// One open file: a POSIX descriptor in file_access_posix.cpp, a pointer to the record of its handle in
// file_access_win32.cpp. Both platforms use -1 for "no file".
using OsFile = std::intptr_t;
inline constexpr OsFile kInvalidFile = -1;

// How an open of an existing file ended. Only OPEN_NOT_FOUND lets the store create a file: every
// other failure (no permission, a failing disk, too many open files, a file locked by another writer,
// a symbolic link, a FIFO or a device) leaves whatever is there untouched.
enum EOpenResult {
    OPEN_OK = 0,
    OPEN_NOT_FOUND = 1,  // no such file (ENOENT; ERROR_FILE_NOT_FOUND on Windows)
    OPEN_FAILED = 2,     // anything else; OsFileLastError tells what
};

// The two ways an existing file is opened. Neither creates, follows a symbolic link (O_NOFOLLOW;
// on Windows FILE_FLAG_OPEN_REPARSE_POINT, and symbolic links and junctions refused while other
// reparse points such as cloud placeholders are files; but see LINK_FOLLOWED) or blocks on a FIFO or
// a device (O_NONBLOCK); anything but a regular file is refused as OPEN_FAILED. On Windows, a file
// that another program holds for a moment (a sharing violation) is tried again for about a second
// before the open fails.
enum EFileAccess {
    ACCESS_READ = 0,    // read only, shared with everyone (the tuning file's comparison, the settings)
    ACCESS_APPEND = 1,  // read anywhere, every write at the end whatever the position (O_APPEND;
                        // FILE_APPEND_DATA on Windows), with an exclusive writer lock taken at once
                        // (flock LOCK_EX|LOCK_NB; FILE_SHARE_READ on Windows): a second writer fails
                        // (and on Windows nobody can rename or delete the file either)
};

// What an open does with a name that is a symbolic link. The data files never go through one (a link
// out of the data directory would take the records elsewhere); the settings file may be one, as any
// program's settings may. LINK_FOLLOWED opens with ACCESS_READ only, and on Windows opens the plain
// way: through the link, shared for reading and writing (an editor may hold the file), tried once.
enum ELinkRule { LINK_REFUSED = 0, LINK_FOLLOWED = 1 };

// Opens an existing regular file. kInvalidFile on failure; *peResult (may be null) says which.
OsFile OsFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult, ELinkRule eLink = LINK_REFUSED);
// Creates the file only when no entry of that name exists (O_CREAT | O_EXCL; CREATE_NEW), opened as
// ACCESS_APPEND would open it. OsFileOpenOrCreate calls it only after an open reported OPEN_NOT_FOUND.
OsFile OsFileCreate(const char* pszPath);
// The one way the store opens a file it appends to: an existing file as ACCESS_APPEND, and a new one
// created only when that open reported OPEN_NOT_FOUND. Every other failure leaves whatever is there.
OsFile OsFileOpenOrCreate(const char* pszPath);
// True when the file was closed; false for kInvalidFile or a failing close (the file is gone either way).
bool OsFileClose(OsFile hFile);
// The file's size in bytes; false when it cannot be had.
bool OsFileSize(OsFile hFile, int64_t* pnSize);
// Reads up to nCount bytes from the absolute offset (the file position is not used or moved).
// True with the count read (0 at the end of the file); false on an error.
bool OsFileReadAt(OsFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead);
// Appends at the end of an ACCESS_APPEND file, retrying short writes and interruptions. Returns the
// number of bytes written: nCount on success, less when the device refused the rest, -1 for kInvalidFile.
int OsFileAppend(OsFile hFile, const char* pData, int nCount);
// Forces the file's data to the disk (fdatasync; FlushFileBuffers on Windows). False on failure.
bool OsFileFlush(OsFile hFile);
// Cuts the file to nSize bytes. False on failure.
bool OsFileTruncate(OsFile hFile, int64_t nSize);
// Replaces the file's whole content: writes it to a temporary name in the same directory (the path
// plus ".tmp"), flushes it, renames it over the path and, on POSIX, flushes the directory. A failure at
// any step leaves the old file as it was. Whatever a killed run left under the temporary name is the
// program's own: a file or a link of that name is removed (never followed), an empty directory too;
// past a directory that holds something, ".tmp2" ... ".tmp9" are tried. A failure on the temporary
// file names it through OsFileLastFailedPath.
bool OsFileReplace(const char* pszPath, const char* pData, int nCount);
// Moves a file to a new name in the same directory, never over an existing one (false when the target
// exists), and flushes the directory on POSIX so that the move survives a power cut. The move is one
// step where the file system allows it (renameat2 RENAME_NOREPLACE; MoveFileEx on Windows); elsewhere
// a hard link and an unlink, between which a kill leaves the file under both names. The store's own
// open handles on the file follow it (a descriptor does; on Windows they are closed and reopened).
bool OsFileMove(const char* pszFrom, const char* pszTo);
// True when an entry of that name exists, whatever it is (a dangling symbolic link included).
bool OsFileExists(const char* pszPath);
// The system's own text (OsErrorText) for the last failure of an operation above on this thread,
// terminated and cut to nSize bytes.
void OsFileLastError(char* pszBuf, int nSize);

// The path the last failure on this thread happened to when it was not the one the operation was
// given (the temporary file of OsFileReplace); "" otherwise. Terminated and cut to nSize bytes.
void OsFileLastFailedPath(char* pszBuf, int nSize);

// What the store needs to know of an open file besides its size: when it was last written (only
// compared with another file's) and which file it is, with its number of names.
struct COsFileInfo {
    int64_t nSize = 0;
    int64_t nModified = 0;  // nanoseconds on POSIX, 100 ns units on Windows
    uint64_t nDevice = 0;
    uint64_t nFileId = 0;
    int nLinks = 0;
};
bool OsFileInfoOf(OsFile hFile, COsFileInfo* pInfo);
// Removes a name (a link itself, never what it points to) and flushes the directory on POSIX.
bool OsFileRemove(const char* pszPath);
// Calls fnName with each name in the directory (its path text, "" for the current one) that starts
// with pszPrefix. False when the directory cannot be read.
bool OsFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName);

// ---- Fault seam for tests ------------------------------------------------------------------------
// Faults the operating system cannot produce on demand (a failing disk, a full one, a stale network
// file): the next nCount system calls of an operation fail as if the system had returned nErrno (an
// errno value; on Windows the nearest Windows error), after nSkip calls that succeed. The product
// never sets one. The seam sits below each platform file's error mapping: a call with a fault
// injected is not made, it sets errno (SetLastError) and returns its own failure value, and the
// platform file's mapping of that error runs as it would for the system's. A close releases the file
// all the same, as a failing close does. The calls of each operation:
//   FILEOP_OPEN      the open in OsFileOpen and OsFileCreate (open; CreateFileW, tried again on a sharing
//                    violation)
//   FILEOP_READ      each read of OsFileReadAt (pread; ReadFile)
//   FILEOP_APPEND    each write of OsFileAppend (write; WriteFile)
//   FILEOP_FLUSH     every flush to the disk: OsFileFlush's (fdatasync; FlushFileBuffers), the flush of
//                    OsFileReplace's temporary file (fsync; FlushFileBuffers) and, on POSIX, the directory's
//                    fsync after a new name, a rename or a removal
//   FILEOP_REPLACE   OsFileReplace's other calls on its temporary file: open, writes, close, and the
//                    rename over the old file
//   FILEOP_MOVE      the rename, or link and unlink, of OsFileMove (MoveFileExW, and the reopening of
//                    the store's handles after it)
//   FILEOP_CLOSE     OsFileClose's close (close; CloseHandle)
//   FILEOP_TRUNCATE  OsFileTruncate's cut (ftruncate; SetFileInformationByHandle)
//   FILEOP_REMOVE    OsFileRemove's unlink (DeleteFileA)
// Implemented once, in file_fault.cpp; each platform file asks OsFileFault before each such call.
enum EOsFileOp {
    FILEOP_OPEN, FILEOP_READ, FILEOP_APPEND, FILEOP_FLUSH, FILEOP_REPLACE, FILEOP_MOVE, FILEOP_CLOSE,
    FILEOP_TRUNCATE, FILEOP_REMOVE, FILEOP_COUNT
};
void OsFileInjectFault(EOsFileOp eOp, int nErrno, int nCount = 1, int nSkip = 0);
void OsFileClearFaults();
// Called by the platform file before each system call of eOp: the errno to fail it with, or 0.
int OsFileFault(EOsFileOp eOp);
// A disk that is slow to flush (a network share, a worn card): every flush first waits nDelayMs, or,
// with -1, until OsFileSetFlushDelay sets another value. 0, the product's value, waits for nothing.
void OsFileSetFlushDelay(int nDelayMs);
// Called by the platform file's OsFileFlush before it asks the system.
void OsFileFlushDelay();

// ---- For the platform files ----------------------------------------------------------------------
// The last failure on this thread, as OsFileLastError and OsFileLastFailedPath give it: the system's
// code (errno; GetLastError), and the path when it was not the one the operation was given. Both
// record and return false.
bool OsFileFail(unsigned long nCode);
bool OsFileFailOn(const char* pszPath, unsigned long nCode);
unsigned long OsFileLastCode();
// One read of OsFileReadAt, which loops over it: up to nCount bytes (nCount > 0) at the absolute offset
// of a valid file. True with the count read, 0 at the end of the file; false with the failure recorded.
bool OsFileReadOnce(OsFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnGot);
// Records the failure of a call on kInvalidFile (EBADF; ERROR_INVALID_HANDLE) and returns false.
bool OsFileFailNoFile();
