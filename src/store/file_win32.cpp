// The store's platform file layer on Windows: CreateFileA shared for reading, end-of-file writes, FlushFileBuffers, MoveFileExA, GetLocalTime.
// Its POSIX twin is file_posix.cpp.
//
// A data file is opened with FILE_SHARE_READ (others may read it, nobody else may write it) plus
// FILE_SHARE_DELETE, without which the store could not move aside a file it holds, as POSIX allows.
// Its handle has FILE_APPEND_DATA and also FILE_WRITE_DATA, which cutting a torn tail or a failed
// write back needs; with both, Windows writes at the file position, so every append asks for the
// end of the file explicitly (offset 0xFFFFFFFF:0xFFFFFFFF), which is FILE_APPEND_DATA's own rule.
#include "store_file.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "error_text_win32.h"

namespace {

thread_local DWORD t_dwLastError = 0;

HANDLE Handle(StoreFile hFile)
{
    return reinterpret_cast<HANDLE>(hFile);
}

// Records a failure and returns false.
bool Fail(DWORD dwError)
{
    t_dwLastError = dwError;
    return false;
}

// An injected fault is an errno value: the Windows error nearest to it.
DWORD ErrorForErrno(int nErrno)
{
    switch (nErrno) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBUSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EIO: return ERROR_IO_DEVICE;
    default: return ERROR_GEN_FAILURE;
    }
}

constexpr DWORD kAppendAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kAppendShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// After the open: only a plain file on a disk will do, never a link (a reparse point), a directory
// or a device. On failure the handle is closed.
StoreFile Finish(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(h);
        Fail(ERROR_INVALID_FUNCTION);
        return kInvalidFile;
    }
    return reinterpret_cast<StoreFile>(h);
}

// Writes all of nCount bytes (fewer only when the device refuses the rest); bAtEnd: at the end of the file.
int WriteAll(HANDLE h, const char* pData, int nCount, bool bAtEnd)
{
    int nDone = 0;
    while (nDone < nCount) {
        OVERLAPPED ov{};
        ov.Offset = 0xFFFFFFFFu;
        ov.OffsetHigh = 0xFFFFFFFFu;
        DWORD dwWritten = 0;
        if (!::WriteFile(h, pData + nDone, static_cast<DWORD>(nCount - nDone), &dwWritten, bAtEnd ? &ov : nullptr)) {
            Fail(::GetLastError());
            break;
        }
        if (dwWritten == 0) {
            Fail(ERROR_DISK_FULL);
            break;
        }
        nDone += static_cast<int>(dwWritten);
    }
    return nDone;
}

}  // namespace

StoreFile StoreFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult)
{
    EOpenResult eDummy;
    EOpenResult& eResult = peResult != nullptr ? *peResult : eDummy;
    eResult = OPEN_FAILED;
    if (const int nFault = StoreFileFault(SFOP_OPEN)) {
        Fail(ErrorForErrno(nFault));
        eResult = nFault == ENOENT ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const bool bAppend = eAccess == ACCESS_APPEND;
    const HANDLE h = ::CreateFileA(pszPath, bAppend ? kAppendAccess : GENERIC_READ,
                                   bAppend ? kAppendShare : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Only "file not found" counts as absent: a missing directory, a refusal or a sharing
        // violation (another writer) never lead to a new file.
        const DWORD dwError = ::GetLastError();
        Fail(dwError);
        eResult = dwError == ERROR_FILE_NOT_FOUND ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const StoreFile hFile = Finish(h);
    if (hFile != kInvalidFile)
        eResult = OPEN_OK;
    return hFile;
}

StoreFile StoreFileCreate(const char* pszPath)
{
    if (const int nFault = StoreFileFault(SFOP_OPEN)) {
        Fail(ErrorForErrno(nFault));
        return kInvalidFile;
    }
    const HANDLE h = ::CreateFileA(pszPath, kAppendAccess, kAppendShare, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(::GetLastError());
        return kInvalidFile;
    }
    return Finish(h);
}

bool StoreFileClose(StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    return ::CloseHandle(Handle(hFile)) != 0 || Fail(::GetLastError());
}

bool StoreFileSize(StoreFile hFile, int64_t* pnSize)
{
    LARGE_INTEGER size{};
    if (hFile == kInvalidFile)
        return Fail(ERROR_INVALID_HANDLE);
    if (!::GetFileSizeEx(Handle(hFile), &size))
        return Fail(::GetLastError());
    *pnSize = size.QuadPart;
    return true;
}

bool StoreFileReadAt(StoreFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead)
{
    *pnRead = 0;
    if (hFile == kInvalidFile || nCount < 0)
        return Fail(ERROR_INVALID_HANDLE);
    if (const int nFault = StoreFileFault(SFOP_READ))
        return Fail(ErrorForErrno(nFault));
    while (*pnRead < nCount) {
        // The OVERLAPPED offset says where to read; appends never depend on where this leaves the position.
        OVERLAPPED ov{};
        const uint64_t nAt = static_cast<uint64_t>(nOffset + *pnRead);
        ov.Offset = static_cast<DWORD>(nAt & 0xFFFFFFFFu);
        ov.OffsetHigh = static_cast<DWORD>(nAt >> 32);
        DWORD dwGot = 0;
        if (!::ReadFile(Handle(hFile), pBuf + *pnRead, static_cast<DWORD>(nCount - *pnRead), &dwGot, &ov)) {
            const DWORD dwError = ::GetLastError();
            return dwError == ERROR_HANDLE_EOF || Fail(dwError);
        }
        if (dwGot == 0)
            break;
        *pnRead += static_cast<int>(dwGot);
    }
    return true;
}

int StoreFileAppend(StoreFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    if (const int nFault = StoreFileFault(SFOP_APPEND)) {
        Fail(ErrorForErrno(nFault));
        return 0;
    }
    return WriteAll(Handle(hFile), pData, nCount, true);
}

bool StoreFileFlush(StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return Fail(ERROR_INVALID_HANDLE);
    if (const int nFault = StoreFileFault(SFOP_FLUSH))
        return Fail(ErrorForErrno(nFault));
    StoreFileFlushDelay();
    return ::FlushFileBuffers(Handle(hFile)) != 0 || Fail(::GetLastError());
}

bool StoreFileTruncate(StoreFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (const int nFault = StoreFileFault(SFOP_TRUNCATE))
        return Fail(ErrorForErrno(nFault));
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = nSize;
    return ::SetFileInformationByHandle(Handle(hFile), FileEndOfFileInfo, &eof, sizeof eof) != 0 ||
           Fail(::GetLastError());
}

bool StoreFileReplace(const char* pszPath, const char* pData, int nCount)
{
    if (const int nFault = StoreFileFault(SFOP_REPLACE))
        return Fail(ErrorForErrno(nFault));
    char szTemp[MAX_PATH + 8];
    const int n = std::snprintf(szTemp, sizeof szTemp, "%s.tmp", pszPath);
    if (n <= 0 || n >= static_cast<int>(sizeof szTemp))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    // A temporary file left by a killed run is ours and holds nothing that counts; anything else of
    // that name (a directory, a link) makes CREATE_NEW below fail.
    const DWORD dwAttributes = ::GetFileAttributesA(szTemp);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
        (void)::DeleteFileA(szTemp);
    const HANDLE h = ::CreateFileA(szTemp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(::GetLastError());
    DWORD dwError = 0;
    if (WriteAll(h, pData, nCount, false) != nCount)
        dwError = t_dwLastError;
    if (dwError == 0 && !::FlushFileBuffers(h))
        dwError = ::GetLastError();
    if (!::CloseHandle(h) && dwError == 0)
        dwError = ::GetLastError();
    // Replaces the file, or a link of that name, in one step; the move is on the disk when it returns.
    if (dwError == 0 && !::MoveFileExA(szTemp, pszPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        dwError = ::GetLastError();
    if (dwError != 0) {
        (void)::DeleteFileA(szTemp);
        return Fail(dwError);
    }
    return true;
}

bool StoreFileMove(const char* pszFrom, const char* pszTo)
{
    if (const int nFault = StoreFileFault(SFOP_MOVE))
        return Fail(ErrorForErrno(nFault));
    // Without MOVEFILE_REPLACE_EXISTING an existing target is never overwritten.
    return ::MoveFileExA(pszFrom, pszTo, MOVEFILE_WRITE_THROUGH) != 0 || Fail(::GetLastError());
}

bool StoreFileExists(const char* pszPath)
{
    // GetFileAttributes does not follow a link, so a dangling one exists too.
    return ::GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

void StoreFileLastError(char* pszBuf, int nSize)
{
    Win32ErrorText(t_dwLastError, pszBuf, nSize);
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

// The replacement here fails as a whole, under the tuning file's name (a directory or a link left
// under the temporary name makes its CREATE_NEW fail): no failure is on another name.
void StoreFileLastFailedPath(char* pszBuf, int nSize)
{
    if (pszBuf != nullptr && nSize > 0)
        pszBuf[0] = '\0';
}

bool StoreFileInfoOf(StoreFile hFile, CStoreFileInfo* pInfo)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (hFile == kInvalidFile || !::GetFileInformationByHandle(Handle(hFile), &info))
        return Fail(hFile == kInvalidFile ? ERROR_INVALID_HANDLE : ::GetLastError());
    pInfo->nSize = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    pInfo->nModified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                            info.ftLastWriteTime.dwLowDateTime);
    pInfo->nDevice = info.dwVolumeSerialNumber;
    pInfo->nFileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    pInfo->nLinks = static_cast<int>(info.nNumberOfLinks);
    return true;
}

bool StoreFileRemove(const char* pszPath)
{
    return ::DeleteFileA(pszPath) != 0 || Fail(::GetLastError());
}

bool StoreFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName)
{
    char szPattern[MAX_PATH + 16];
    const int n = std::snprintf(szPattern, sizeof szPattern, "%s%s*", pszDir != nullptr ? pszDir : "", pszPrefix);
    if (n <= 0 || n >= static_cast<int>(sizeof szPattern))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    WIN32_FIND_DATAA data{};
    const HANDLE hFind = ::FindFirstFileA(szPattern, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || Fail(::GetLastError());
    do {
        fnName(data.cFileName);
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
    return true;
}

void StoreLocalTimeNowWithOffset(std::tm* ptm, int* pnOffsetMinutes)
{
    StoreLocalTimeNow(ptm);
    TIME_ZONE_INFORMATION tzi{};
    const DWORD dwZone = ::GetTimeZoneInformation(&tzi);
    // Bias is UTC minus local time, in minutes; summer time adds its own.
    const LONG nBias = tzi.Bias + (dwZone == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias
                                   : dwZone == TIME_ZONE_ID_STANDARD ? tzi.StandardBias : 0);
    *pnOffsetMinutes = static_cast<int>(-nBias);
}
