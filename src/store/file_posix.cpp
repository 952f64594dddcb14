// The store's platform file layer on POSIX: descriptors, an exclusive flock against other writers, localtime_r.
// Its Windows twin, file_win32.cpp, implements store_file.h with CreateFileA (FILE_SHARE_READ, the
// disposition passed through), GetFileSizeEx, ReadFile with an OVERLAPPED offset, WriteFile,
// SetFilePointerEx(FILE_END), SetEndOfFile, MoveFileExA without MOVEFILE_REPLACE_EXISTING, GetLocalTime.
#include "store_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(StoreFile hFile)
{
    return static_cast<int>(hFile);
}

}  // namespace

StoreFile StoreFileOpen(const char* pszPath, EDisposition eDisposition)
{
    int nFlags = O_RDWR | O_CLOEXEC;
    if (eDisposition == DISP_CREATE_ALWAYS)
        nFlags |= O_CREAT;  // not O_TRUNC: the file is cut only once the lock is held
    int fd;
    do {
        fd = ::open(pszPath, nFlags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return kInvalidFile;
    // Windows shares the file for reading only; here another writer of the store is refused by the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    if (eDisposition == DISP_CREATE_ALWAYS && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    return static_cast<StoreFile>(fd);
}

bool StoreFileClose(StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    // No retry on EINTR: on Linux the descriptor is already released then.
    return ::close(Fd(hFile)) == 0;
}

bool StoreFileSize(StoreFile hFile, int64_t* pnSize)
{
    struct stat st;
    if (hFile == kInvalidFile || ::fstat(Fd(hFile), &st) != 0)
        return false;
    *pnSize = static_cast<int64_t>(st.st_size);
    return true;
}

bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead)
{
    *pnRead = 0;
    if (hFile == kInvalidFile || nCount < 0)
        return false;
    while (*pnRead < nCount) {
        const ssize_t n = ::pread(Fd(hFile), pBuf + *pnRead, static_cast<size_t>(nCount - *pnRead),
                                  static_cast<off_t>(nOffset + *pnRead));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *pnRead += static_cast<int>(n);
    }
    return true;
}

int StoreFileWrite(StoreFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    int nDone = 0;
    while (nDone < nCount) {
        const ssize_t n = ::write(Fd(hFile), pData + nDone, static_cast<size_t>(nCount - nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        nDone += static_cast<int>(n);
    }
    return nDone;
}

bool StoreFileSeekEnd(StoreFile hFile)
{
    return hFile != kInvalidFile && ::lseek(Fd(hFile), 0, SEEK_END) >= 0;
}

bool StoreFileTruncate(StoreFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0 || ::ftruncate(Fd(hFile), static_cast<off_t>(nSize)) != 0)
        return false;
    return ::lseek(Fd(hFile), 0, SEEK_END) >= 0;
}

bool StoreFileRename(const char* pszFrom, const char* pszTo)
{
    // A hard link fails when the target exists, so nothing is ever overwritten; the old name goes after.
    if (::link(pszFrom, pszTo) == 0) {
        if (::unlink(pszFrom) == 0)
            return true;
        ::unlink(pszTo);
        return false;
    }
    if (errno == EEXIST)
        return false;
    // File systems without hard links: rename after checking the target is free.
    struct stat st;
    if (::lstat(pszTo, &st) == 0)
        return false;
    return ::rename(pszFrom, pszTo) == 0;
}

bool StoreFileExists(const char* pszPath)
{
    struct stat st;
    return ::stat(pszPath, &st) == 0;
}

void StoreLocalTimeNow(std::tm* ptm)
{
    const std::time_t tNow = std::time(nullptr);
    if (::localtime_r(&tNow, ptm) == nullptr)
        *ptm = std::tm{};
}
