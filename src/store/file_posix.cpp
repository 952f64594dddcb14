// The store's platform file layer on POSIX: O_NOFOLLOW | O_NONBLOCK opens, O_APPEND, flock, fdatasync, renameat2, localtime_r.
// Its Windows twin, file_win32.cpp, implements store_file.h with CreateFileA (OPEN_EXISTING or CREATE_NEW,
// FILE_APPEND_DATA, FILE_SHARE_READ, no reparse points), GetFileSizeEx, ReadFile with an OVERLAPPED
// offset, WriteFile, FlushFileBuffers, SetEndOfFile, MoveFileExA (MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH only for the replacement), FormatMessage and GetLocalTime.
#include "store_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local int t_nLastErrno = 0;
thread_local char t_szFailedPath[4096] = "";

int Fd(StoreFile hFile)
{
    return static_cast<int>(hFile);
}

// Records a failure (errno, or the injected one) and returns false.
bool Fail(int nErrno)
{
    t_nLastErrno = nErrno;
    t_szFailedPath[0] = '\0';
    return false;
}

// The same, for a failure on another file than the one the caller named.
bool FailOn(const char* pszPath, int nErrno)
{
    Fail(nErrno);
    std::snprintf(t_szFailedPath, sizeof t_szFailedPath, "%s", pszPath);
    return false;
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
    const bool bOk = ::fsync(fd) == 0;
    const int nErrno = errno;
    ::close(fd);
    return bOk || Fail(nErrno);
}

// After open: only a regular file will do; the writer lock for appends.
StoreFile Finish(int fd, EFileAccess eAccess)
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
    return static_cast<StoreFile>(fd);
}

// The GNU strerror_r returns its text, the XSI one fills the buffer: both are taken.
[[maybe_unused]] const char* ErrorText(const char* pszReturned, const char*) { return pszReturned; }
[[maybe_unused]] const char* ErrorText(int, const char* pszFilled) { return pszFilled; }

int OpenRetrying(const char* pszPath, int nFlags)
{
    int fd;
    do {
        fd = ::open(pszPath, nFlags, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

StoreFile StoreFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult)
{
    EOpenResult eDummy;
    EOpenResult& eResult = peResult != nullptr ? *peResult : eDummy;
    eResult = OPEN_FAILED;
    if (const int nFault = StoreFileFault(SFOP_OPEN)) {
        Fail(nFault);
        eResult = nFault == ENOENT ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const int nMode = eAccess == ACCESS_APPEND ? (O_RDWR | O_APPEND) : O_RDONLY;
    const int fd = OpenRetrying(pszPath, nMode | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // ELOOP: the name is a symbolic link, which the store does not follow.
        Fail(errno);
        eResult = errno == ENOENT ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const StoreFile hFile = Finish(fd, eAccess);
    if (hFile != kInvalidFile)
        eResult = OPEN_OK;
    return hFile;
}

StoreFile StoreFileCreate(const char* pszPath)
{
    if (const int nFault = StoreFileFault(SFOP_OPEN)) {
        Fail(nFault);
        return kInvalidFile;
    }
    const int fd = OpenRetrying(pszPath, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return kInvalidFile;
    }
    const StoreFile hFile = Finish(fd, ACCESS_APPEND);
    if (hFile != kInvalidFile && !FlushDirectoryOf(pszPath)) {
        ::close(fd);
        return kInvalidFile;
    }
    return hFile;
}

bool StoreFileClose(StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    // No retry on EINTR: on Linux the descriptor is already released then.
    const bool bClosed = ::close(Fd(hFile)) == 0 || Fail(errno);
    if (const int nFault = StoreFileFault(SFOP_CLOSE))
        return Fail(nFault);
    return bClosed;
}

bool StoreFileSize(StoreFile hFile, int64_t* pnSize)
{
    struct stat st;
    if (hFile == kInvalidFile || ::fstat(Fd(hFile), &st) != 0)
        return Fail(hFile == kInvalidFile ? EBADF : errno);
    *pnSize = static_cast<int64_t>(st.st_size);
    return true;
}

bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead)
{
    *pnRead = 0;
    if (hFile == kInvalidFile || nCount < 0)
        return Fail(EBADF);
    if (const int nFault = StoreFileFault(SFOP_READ))
        return Fail(nFault);
    while (*pnRead < nCount) {
        const ssize_t n = ::pread(Fd(hFile), pBuf + *pnRead, static_cast<size_t>(nCount - *pnRead),
                                  static_cast<off_t>(nOffset + *pnRead));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(errno);
        if (n == 0)
            break;
        *pnRead += static_cast<int>(n);
    }
    return true;
}

int StoreFileAppend(StoreFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    if (const int nFault = StoreFileFault(SFOP_APPEND)) {
        Fail(nFault);
        return 0;
    }
    int nDone = 0;
    while (nDone < nCount) {
        const ssize_t n = ::write(Fd(hFile), pData + nDone, static_cast<size_t>(nCount - nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            break;
        }
        nDone += static_cast<int>(n);
    }
    return nDone;
}

bool StoreFileFlush(StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return Fail(EBADF);
    if (const int nFault = StoreFileFault(SFOP_FLUSH))
        return Fail(nFault);
    StoreFileFlushDelay();
    return ::fdatasync(Fd(hFile)) == 0 || Fail(errno);
}

bool StoreFileTruncate(StoreFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0)
        return Fail(EINVAL);
    if (const int nFault = StoreFileFault(SFOP_TRUNCATE))
        return Fail(nFault);
    return ::ftruncate(Fd(hFile), static_cast<off_t>(nSize)) == 0 || Fail(errno);
}

bool StoreFileReplace(const char* pszPath, const char* pData, int nCount)
{
    if (const int nFault = StoreFileFault(SFOP_REPLACE))
        return Fail(nFault);
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
    const int fd = OpenRetrying(szTemp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return FailOn(szTemp, errno);
    int nDone = 0;
    while (nDone < nCount) {
        const ssize_t nWritten = ::write(fd, pData + nDone, static_cast<size_t>(nCount - nDone));
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            break;
        nDone += static_cast<int>(nWritten);
    }
    int nErrno = nDone == nCount ? 0 : (errno != 0 ? errno : ENOSPC);
    if (nErrno == 0 && ::fsync(fd) != 0)
        nErrno = errno;
    if (::close(fd) != 0 && nErrno == 0)
        nErrno = errno;
    if (nErrno != 0) {
        (void)::unlink(szTemp);
        return FailOn(szTemp, nErrno);
    }
    // rename replaces a symbolic link of that name by the file; it never writes through the link.
    if (::rename(szTemp, pszPath) != 0) {
        nErrno = errno;
        (void)::unlink(szTemp);
        return Fail(nErrno);
    }
    return FlushDirectoryOf(pszPath);
}

bool StoreFileMove(const char* pszFrom, const char* pszTo)
{
    if (const int nFault = StoreFileFault(SFOP_MOVE))
        return Fail(nFault);
#ifdef RENAME_NOREPLACE
    // One step: a kill cannot leave the file under both names.
    if (::renameat2(AT_FDCWD, pszFrom, AT_FDCWD, pszTo, RENAME_NOREPLACE) == 0)
        return FlushDirectoryOf(pszTo);
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Fail(errno);  // EEXIST among them; the others mean the file system has no such rename
#endif
    // A hard link fails when the target exists, so nothing is ever overwritten; the old name goes after.
    if (::link(pszFrom, pszTo) == 0) {
        if (::unlink(pszFrom) != 0) {
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
    if (::rename(pszFrom, pszTo) != 0)
        return Fail(errno);
    return FlushDirectoryOf(pszTo);
}

bool StoreFileExists(const char* pszPath)
{
    struct stat st;
    return ::lstat(pszPath, &st) == 0;
}

void StoreFileLastError(char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    char szText[256] = "";
    const char* pszText = ErrorText(::strerror_r(t_nLastErrno, szText, sizeof szText), szText);
    std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s", t_nLastErrno != 0 ? pszText : "");
}

void StoreFileLastFailedPath(char* pszBuf, int nSize)
{
    if (pszBuf != nullptr && nSize > 0)
        std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s", t_szFailedPath);
}

bool StoreFileInfoOf(StoreFile hFile, CStoreFileInfo* pInfo)
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

bool StoreFileRemove(const char* pszPath)
{
    return ::unlink(pszPath) == 0 ? FlushDirectoryOf(pszPath) : Fail(errno);
}

bool StoreFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName)
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

void StoreLocalTimeNow(std::tm* ptm)
{
    int nOffset = 0;
    StoreLocalTimeNowWithOffset(ptm, &nOffset);
}

void StoreLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes)
{
    const std::time_t tNow = std::time(nullptr);
    if (::localtime_r(&tNow, ptm) == nullptr)
        *ptm = std::tm{};
    *pnOffsetMinutes = static_cast<int>(ptm->tm_gmtoff / 60);
}
