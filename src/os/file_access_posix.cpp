// File access on POSIX: O_NOFOLLOW | O_NONBLOCK opens, O_APPEND, flock, fdatasync, renameat2, the directory's fsync.
#include "file_access.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(OsFile hFile)
{
    return static_cast<int>(hFile);
}

// Records a failure (an errno value) and returns false.
bool Fail(int nErrno)
{
    return OsFileFail(static_cast<unsigned long>(nErrno));
}

// The same, for a failure on another file than the one the caller named.
bool FailOn(const char* pszPath, int nErrno)
{
    return OsFileFailOn(pszPath, static_cast<unsigned long>(nErrno));
}

// ---- The system calls of the operations, each through the test seam (OsFileInjectFault): a call with
// a fault injected is not made; it sets errno and returns the call's own failure value.
bool Injected(EOsFileOp eOp)
{
    const int nErrno = OsFileFault(eOp);
    if (nErrno != 0)
        errno = nErrno;
    return nErrno != 0;
}
int SysOpen(EOsFileOp eOp, const char* pszPath, int nFlags)
{
    return Injected(eOp) ? -1 : ::open(pszPath, nFlags, 0644);
}
ssize_t SysPread(int fd, void* pBuf, size_t nCount, off_t nOffset)
{
    return Injected(FILEOP_READ) ? -1 : ::pread(fd, pBuf, nCount, nOffset);
}
ssize_t SysWrite(EOsFileOp eOp, int fd, const void* pData, size_t nCount)
{
    return Injected(eOp) ? -1 : ::write(fd, pData, nCount);
}
int SysFdatasync(int fd)
{
    return Injected(FILEOP_FLUSH) ? -1 : ::fdatasync(fd);
}
int SysFsync(int fd)
{
    return Injected(FILEOP_FLUSH) ? -1 : ::fsync(fd);
}
int SysFtruncate(int fd, off_t nSize)
{
    return Injected(FILEOP_TRUNCATE) ? -1 : ::ftruncate(fd, nSize);
}
int SysRename(EOsFileOp eOp, const char* pszFrom, const char* pszTo)
{
    return Injected(eOp) ? -1 : ::rename(pszFrom, pszTo);
}
int SysLink(const char* pszFrom, const char* pszTo)
{
    return Injected(FILEOP_MOVE) ? -1 : ::link(pszFrom, pszTo);
}
int SysUnlink(EOsFileOp eOp, const char* pszPath)
{
    return Injected(eOp) ? -1 : ::unlink(pszPath);
}
#ifdef RENAME_NOREPLACE
int SysRenameNoReplace(const char* pszFrom, const char* pszTo)
{
    return Injected(FILEOP_MOVE) ? -1 : ::renameat2(AT_FDCWD, pszFrom, AT_FDCWD, pszTo, RENAME_NOREPLACE);
}
#endif
// A failing close has released the descriptor all the same (Linux): an injected failure closes it too.
int SysClose(EOsFileOp eOp, int fd)
{
    const int nErrno = OsFileFault(eOp);
    const int nResult = ::close(fd);
    if (nErrno == 0)
        return nResult;
    errno = nErrno;
    return -1;
}

// Frees the temporary name of a replacement from what a killed run left there: a name that is no
// directory is removed (unlink never follows a link), a directory only when it is empty.
bool FreeTempName(const char* pszTemp)
{
    struct stat st;
    if (::lstat(pszTemp, &st) != 0)
        return errno == ENOENT;
    return (S_ISDIR(st.st_mode) ? ::rmdir(pszTemp) : ::unlink(pszTemp)) == 0;
}

// The directory part of a path, "." when it has none.
void DirectoryOf(const char* pszPath, char* pszDir, size_t cbDir)
{
    const char* pSlash = std::strrchr(pszPath, '/');
    if (pSlash == nullptr) {
        std::snprintf(pszDir, cbDir, ".");
        return;
    }
    const int nLen = pSlash == pszPath ? 1 : static_cast<int>(pSlash - pszPath);
    std::snprintf(pszDir, cbDir, "%.*s", nLen, pszPath);
}

// A rename or a new name is kept by the directory: flush it.
bool FlushDirectoryOf(const char* pszPath)
{
    char szDir[4096];
    DirectoryOf(pszPath, szDir, sizeof szDir);
    const int fd = ::open(szDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Fail(errno);
    const bool bOk = SysFsync(fd) == 0;
    const int nErrno = errno;
    ::close(fd);
    return bOk || Fail(nErrno);
}

// After open: only a regular file will do; the writer lock for appends.
OsFile Finish(int fd, EFileAccess eAccess)
{
    struct stat st;
    const bool bStat = ::fstat(fd, &st) == 0;
    if (!bStat || !S_ISREG(st.st_mode)) {
        const int nErrno = bStat ? EINVAL : errno;  // a FIFO, a device or a directory: not a data file
        ::close(fd);
        Fail(nErrno);
        return kInvalidFile;
    }
    // Windows shares the file for reading only; here another writer of the store is refused by the lock.
    if (eAccess == ACCESS_APPEND && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno;
        ::close(fd);
        Fail(nErrno);
        return kInvalidFile;
    }
    // Non-blocking only for the open itself (a FIFO would hang it); regular files never block anyway.
    const int nFlags = ::fcntl(fd, F_GETFL);
    if (nFlags >= 0)
        (void)::fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK);
    return static_cast<OsFile>(fd);
}

int OpenRetrying(EOsFileOp eOp, const char* pszPath, int nFlags)
{
    int fd;
    do {
        fd = SysOpen(eOp, pszPath, nFlags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes all of nCount bytes, retrying short writes and interruptions; fewer only when the device
// refused the rest (errno then says why: ENOSPC for a write that took nothing).
int WriteAll(EOsFileOp eOp, int fd, const char* pData, int nCount)
{
    int nDone = 0;
    while (nDone < nCount) {
        const ssize_t n = SysWrite(eOp, fd, pData + nDone, static_cast<size_t>(nCount - nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            break;
        }
        nDone += static_cast<int>(n);
    }
    return nDone;
}

}  // namespace

OsFile OsFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult, ELinkRule eLink)
{
    EOpenResult eDummy;
    EOpenResult& eResult = peResult != nullptr ? *peResult : eDummy;
    eResult = OPEN_FAILED;
    const int nMode = eAccess == ACCESS_APPEND ? (O_RDWR | O_APPEND) : O_RDONLY;
    const int nNoFollow = eLink == LINK_FOLLOWED && eAccess == ACCESS_READ ? 0 : O_NOFOLLOW;
    const int fd = OpenRetrying(FILEOP_OPEN, pszPath, nMode | nNoFollow | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // ELOOP: the name is a symbolic link, which the store does not follow.
        Fail(errno);
        eResult = errno == ENOENT ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const OsFile hFile = Finish(fd, eAccess);
    if (hFile != kInvalidFile)
        eResult = OPEN_OK;
    return hFile;
}

OsFile OsFileCreate(const char* pszPath)
{
    const int fd = OpenRetrying(FILEOP_OPEN, pszPath, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return kInvalidFile;
    }
    const OsFile hFile = Finish(fd, ACCESS_APPEND);
    if (hFile != kInvalidFile && !FlushDirectoryOf(pszPath)) {
        ::close(fd);
        return kInvalidFile;
    }
    return hFile;
}

bool OsFileClose(OsFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    // No retry on EINTR: on Linux the descriptor is already released then.
    return SysClose(FILEOP_CLOSE, Fd(hFile)) == 0 || Fail(errno);
}

bool OsFileSize(OsFile hFile, int64_t* pnSize)
{
    struct stat st;
    if (hFile == kInvalidFile || ::fstat(Fd(hFile), &st) != 0)
        return Fail(hFile == kInvalidFile ? EBADF : errno);
    *pnSize = static_cast<int64_t>(st.st_size);
    return true;
}

bool OsFileReadOnce(OsFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnGot)
{
    ssize_t n;
    do {
        n = SysPread(Fd(hFile), pBuf, static_cast<size_t>(nCount), static_cast<off_t>(nOffset));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Fail(errno);
    *pnGot = static_cast<int>(n);
    return true;
}

bool OsFileFailNoFile()
{
    return Fail(EBADF);
}

int OsFileAppend(OsFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    const int nDone = WriteAll(FILEOP_APPEND, Fd(hFile), pData, nCount);
    if (nDone < nCount)
        Fail(errno);
    return nDone;
}

bool OsFileFlush(OsFile hFile)
{
    if (hFile == kInvalidFile)
        return Fail(EBADF);
    OsFileFlushDelay();
    return SysFdatasync(Fd(hFile)) == 0 || Fail(errno);
}

bool OsFileTruncate(OsFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0)
        return Fail(EINVAL);
    return SysFtruncate(Fd(hFile), static_cast<off_t>(nSize)) == 0 || Fail(errno);
}

bool OsFileReplace(const char* pszPath, const char* pData, int nCount)
{
    char szTemp[4096];
    // What a killed run left under the temporary name is ours and holds nothing that counts; a
    // directory that holds something is left alone and the next name taken.
    bool bFree = false;
    for (int nTry = 1; nTry <= 9 && !bFree; ++nTry) {
        char szTry[4] = "";
        if (nTry > 1)
            std::snprintf(szTry, sizeof szTry, "%d", nTry);
        const int n = std::snprintf(szTemp, sizeof szTemp, "%s.tmp%s", pszPath, szTry);
        if (n <= 0 || n >= static_cast<int>(sizeof szTemp))
            return Fail(ENAMETOOLONG);
        bFree = FreeTempName(szTemp);
    }
    if (!bFree) {
        const int nErrno = errno;
        std::snprintf(szTemp, sizeof szTemp, "%s.tmp", pszPath);  // the name the program wants
        return FailOn(szTemp, nErrno);
    }
    const int fd = OpenRetrying(FILEOP_REPLACE, szTemp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return FailOn(szTemp, errno);
    int nErrno = WriteAll(FILEOP_REPLACE, fd, pData, nCount) == nCount ? 0 : errno;
    if (nErrno == 0 && SysFsync(fd) != 0)
        nErrno = errno;
    if (SysClose(FILEOP_REPLACE, fd) != 0 && nErrno == 0)
        nErrno = errno;
    if (nErrno != 0) {
        (void)::unlink(szTemp);
        return FailOn(szTemp, nErrno);
    }
    // rename replaces a symbolic link of that name by the file; it never writes through the link.
    if (SysRename(FILEOP_REPLACE, szTemp, pszPath) != 0) {
        nErrno = errno;
        (void)::unlink(szTemp);
        return Fail(nErrno);
    }
    return FlushDirectoryOf(pszPath);
}

bool OsFileMove(const char* pszFrom, const char* pszTo)
{
#ifdef RENAME_NOREPLACE
    // One step: a kill cannot leave the file under both names.
    if (SysRenameNoReplace(pszFrom, pszTo) == 0)
        return FlushDirectoryOf(pszTo);
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Fail(errno);  // EEXIST among them; the others mean the file system has no such rename
#endif
    // A hard link fails when the target exists, so nothing is ever overwritten; the old name goes after.
    if (SysLink(pszFrom, pszTo) == 0) {
        if (SysUnlink(FILEOP_MOVE, pszFrom) != 0) {
            const int nErrno = errno;
            ::unlink(pszTo);
            return Fail(nErrno);
        }
        return FlushDirectoryOf(pszTo);
    }
    if (errno == EEXIST)
        return Fail(EEXIST);
    // File systems without hard links: rename after checking the target is free.
    struct stat st;
    if (::lstat(pszTo, &st) == 0)
        return Fail(EEXIST);
    if (SysRename(FILEOP_MOVE, pszFrom, pszTo) != 0)
        return Fail(errno);
    return FlushDirectoryOf(pszTo);
}

bool OsFileExists(const char* pszPath)
{
    struct stat st;
    return ::lstat(pszPath, &st) == 0;
}

bool OsFileInfoOf(OsFile hFile, COsFileInfo* pInfo)
{
    struct stat st;
    if (hFile == kInvalidFile || ::fstat(Fd(hFile), &st) != 0)
        return Fail(hFile == kInvalidFile ? EBADF : errno);
    pInfo->nSize = static_cast<int64_t>(st.st_size);
    pInfo->nModified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    pInfo->nDevice = static_cast<uint64_t>(st.st_dev);
    pInfo->nFileId = static_cast<uint64_t>(st.st_ino);
    pInfo->nLinks = static_cast<int>(st.st_nlink);
    return true;
}

bool OsFileRemove(const char* pszPath)
{
    return SysUnlink(FILEOP_REMOVE, pszPath) == 0 ? FlushDirectoryOf(pszPath) : Fail(errno);
}

bool OsFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName)
{
    DIR* pDir = ::opendir(pszDir != nullptr && pszDir[0] != '\0' ? pszDir : ".");
    if (pDir == nullptr)
        return Fail(errno);
    const size_t nPrefix = std::strlen(pszPrefix);
    while (const dirent* pEntry = ::readdir(pDir)) {
        if (std::strncmp(pEntry->d_name, pszPrefix, nPrefix) == 0)
            fnName(pEntry->d_name);
    }
    ::closedir(pDir);
    return true;
}
