// The store's platform file layer on Windows: CreateFileA shared for reading only, GetLocalTime.
// Its POSIX twin is file_posix.cpp.
#include "store_file.h"

#include <windows.h>

namespace {

HANDLE Handle(StoreFile hFile)
{
    return reinterpret_cast<HANDLE>(hFile);
}

}  // namespace

StoreFile StoreFileOpen(const char* pszPath, EDisposition eDisposition)
{
    // Others may read a data file while the store holds it; nobody else may write it.
    const HANDLE h = ::CreateFileA(pszPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   eDisposition == DISP_CREATE_ALWAYS ? CREATE_ALWAYS : OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kInvalidFile;
    return reinterpret_cast<StoreFile>(h);
}

bool StoreFileClose(StoreFile hFile)
{
    return hFile != kInvalidFile && ::CloseHandle(Handle(hFile)) != 0;
}

bool StoreFileSize(StoreFile hFile, int64_t* pnSize)
{
    LARGE_INTEGER size{};
    if (hFile == kInvalidFile || !::GetFileSizeEx(Handle(hFile), &size))
        return false;
    *pnSize = size.QuadPart;
    return true;
}

bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead)
{
    *pnRead = 0;
    if (hFile == kInvalidFile || nCount < 0)
        return false;
    while (*pnRead < nCount) {
        // A synchronous ReadFile with an OVERLAPPED offset reads there; the position is not relied on.
        OVERLAPPED ov{};
        const uint64_t nAt = static_cast<uint64_t>(nOffset + *pnRead);
        ov.Offset = static_cast<DWORD>(nAt & 0xFFFFFFFFu);
        ov.OffsetHigh = static_cast<DWORD>(nAt >> 32);
        DWORD dwGot = 0;
        if (!::ReadFile(Handle(hFile), pBuf + *pnRead, static_cast<DWORD>(nCount - *pnRead), &dwGot, &ov))
            return ::GetLastError() == ERROR_HANDLE_EOF;
        if (dwGot == 0)
            break;
        *pnRead += static_cast<int>(dwGot);
    }
    return true;
}

int StoreFileWrite(StoreFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    int nDone = 0;
    while (nDone < nCount) {
        DWORD dwWritten = 0;
        if (!::WriteFile(Handle(hFile), pData + nDone, static_cast<DWORD>(nCount - nDone), &dwWritten, nullptr) ||
            dwWritten == 0)
            break;
        nDone += static_cast<int>(dwWritten);
    }
    return nDone;
}

bool StoreFileSeekEnd(StoreFile hFile)
{
    return hFile != kInvalidFile && ::SetFilePointerEx(Handle(hFile), LARGE_INTEGER{}, nullptr, FILE_END);
}

bool StoreFileTruncate(StoreFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0)
        return false;
    LARGE_INTEGER at{};
    at.QuadPart = nSize;
    return ::SetFilePointerEx(Handle(hFile), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(Handle(hFile));
}

bool StoreFileRename(const char* pszFrom, const char* pszTo)
{
    // Without MOVEFILE_REPLACE_EXISTING an existing target is never overwritten.
    return ::MoveFileExA(pszFrom, pszTo, MOVEFILE_WRITE_THROUGH) != 0;
}

bool StoreFileExists(const char* pszPath)
{
    return ::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

void StoreLocalTimeNow(std::tm* ptm)
{
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    *ptm = std::tm{};
    ptm->tm_year = st.wYear - 1900;
    ptm->tm_mon = st.wMonth - 1;
    ptm->tm_mday = st.wDay;
    ptm->tm_hour = st.wHour;
    ptm->tm_min = st.wMinute;
    ptm->tm_sec = st.wSecond;
    ptm->tm_wday = st.wDayOfWeek;
    ptm->tm_isdst = -1;
}
