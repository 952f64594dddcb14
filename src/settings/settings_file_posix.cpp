// The settings file's platform layer on POSIX: open(O_NONBLOCK), fstat, read. Its Windows twin is settings_file_win32.cpp.
#include "settings_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SettingsFile SettingsFileOpen(const char* pszName)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    const int fd = ::open(pszName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return kNoSettingsFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kNoSettingsFile;
    }
    return static_cast<SettingsFile>(fd);
}

bool SettingsFileSize(SettingsFile hFile, int64_t* pnSize)
{
    struct stat st {};
    if (hFile == kNoSettingsFile || ::fstat(static_cast<int>(hFile), &st) != 0)
        return false;
    *pnSize = static_cast<int64_t>(st.st_size);
    return true;
}

int SettingsFileRead(SettingsFile hFile, void* pBuf, int nCount)
{
    if (hFile == kNoSettingsFile || nCount < 0)
        return -1;
    ssize_t n;
    do {
        n = ::read(static_cast<int>(hFile), pBuf, static_cast<size_t>(nCount));
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

void SettingsFileClose(SettingsFile hFile)
{
    if (hFile != kNoSettingsFile)
        ::close(static_cast<int>(hFile));
}

bool SettingsUpperCaseDataDir() { return false; }

char SettingsPathSeparator() { return '/'; }

bool SettingsDecodeDataDir() { return false; }
