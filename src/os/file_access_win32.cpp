// File access on Windows: CreateFileW shared for reading, end-of-file writes, FlushFileBuffers, MoveFileExW.
//
// Paths are UTF-8 (the settings make DATADIR so) and go through the wide calls only: the ANSI ones
// would read them in the PC's code page.
//
// A data file is opened with FILE_SHARE_READ only: others may read it, and nobody can write, rename,
// recycle or delete it while records go into it. Its handle has FILE_APPEND_DATA and also
// FILE_WRITE_DATA, which cutting a torn tail or a failed write back needs; with both, Windows writes
// at the file position, so every append asks for the end of the file explicitly (offset
// 0xFFFFFFFF:0xFFFFFFFF), which is FILE_APPEND_DATA's own rule. The handle has no DELETE access:
// readers would then need FILE_SHARE_DELETE too, which few pass. So a file is moved aside by closing
// this process's own handles on it first and opening them again under the new name afterwards; the
// store sees its handle follow the file, as a POSIX descriptor does.
//
// An OsFile is a pointer to a CWinFile, the record of one open handle; the records of every open
// file are listed, so that a move finds those on its file.
//
// Another program that holds a file for a moment (a virus scan, a viewer opening it without sharing)
// makes an open, a replacement or a move fail with a sharing violation: each is tried again a few
// times within about a second before the failure counts.
#include "file_access.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace {

// A path in UTF-16: MAX_PATH is the limit of the calls without the \\?\ prefix, plus room for ".tmp".
constexpr int kWidePath = MAX_PATH + 8;

// Which file a handle holds: the same on every name and link that leads to it.
struct CFileId {
    DWORD m_dwVolume = 0;
    DWORD m_dwIndexHigh = 0;
    DWORD m_dwIndexLow = 0;
    bool operator==(const CFileId&) const = default;
};

struct CWinFile {
    HANDLE m_hFile = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE when a reopen after a move failed
    DWORD m_dwAccess = 0;
    DWORD m_dwShare = 0;
    CFileId m_id;
    wchar_t m_szPath[kWidePath] = {};       // where it is now, for the reopen after a move
    CWinFile* m_pNext = nullptr;
};

std::mutex g_filesLock;
CWinFile* g_pFiles = nullptr;  // every open file, guarded by g_filesLock

CWinFile* Record(OsFile hFile)
{
    return reinterpret_cast<CWinFile*>(hFile);
}

// A handle lost in a move reads as no handle at all: every call on it fails with ERROR_INVALID_HANDLE.
HANDLE Handle(OsFile hFile)
{
    const HANDLE h = Record(hFile)->m_hFile;
    return h != INVALID_HANDLE_VALUE ? h : nullptr;
}

// Records a failure and returns false.
bool Fail(DWORD dwError)
{
    return OsFileFail(dwError);
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

// ---- The system calls of the operations, each through the test seam (OsFileInjectFault): a call with
// a fault injected is not made; it sets the last error and returns the call's own failure value.
bool Injected(EOsFileOp eOp)
{
    const int nErrno = OsFileFault(eOp);
    if (nErrno != 0)
        ::SetLastError(ErrorForErrno(nErrno));
    return nErrno != 0;
}
HANDLE SysCreateFile(EOsFileOp eOp, const wchar_t* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    return Injected(eOp) ? INVALID_HANDLE_VALUE
                         : ::CreateFileW(pszPath, dwAccess, dwShare, nullptr, dwDisposition, dwFlags, nullptr);
}
BOOL SysReadFile(HANDLE h, void* pBuf, DWORD dwCount, DWORD* pdwGot, OVERLAPPED* pov)
{
    return Injected(FILEOP_READ) ? FALSE : ::ReadFile(h, pBuf, dwCount, pdwGot, pov);
}
BOOL SysWriteFile(EOsFileOp eOp, HANDLE h, const void* pData, DWORD dwCount, DWORD* pdwWritten, OVERLAPPED* pov)
{
    return Injected(eOp) ? FALSE : ::WriteFile(h, pData, dwCount, pdwWritten, pov);
}
BOOL SysFlushFileBuffers(HANDLE h)
{
    return Injected(FILEOP_FLUSH) ? FALSE : ::FlushFileBuffers(h);
}
BOOL SysSetEndOfFile(HANDLE h, int64_t nSize)
{
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = nSize;
    return Injected(FILEOP_TRUNCATE) ? FALSE : ::SetFileInformationByHandle(h, FileEndOfFileInfo, &eof, sizeof eof);
}
BOOL SysMoveFileEx(EOsFileOp eOp, const wchar_t* pszFrom, const wchar_t* pszTo, DWORD dwFlags)
{
    return Injected(eOp) ? FALSE : ::MoveFileExW(pszFrom, pszTo, dwFlags);
}
BOOL SysDeleteFile(const wchar_t* pszPath)
{
    return Injected(FILEOP_REMOVE) ? FALSE : ::DeleteFileW(pszPath);
}
// A failing close has released the handle all the same: an injected failure closes it too.
BOOL SysCloseHandle(EOsFileOp eOp, HANDLE h)
{
    const int nErrno = OsFileFault(eOp);
    const BOOL bClosed = ::CloseHandle(h);
    if (nErrno == 0)
        return bClosed;
    ::SetLastError(ErrorForErrno(nErrno));
    return FALSE;
}

constexpr DWORD kAppendAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kAppendShare = FILE_SHARE_READ;
constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kFollowedShare = FILE_SHARE_READ | FILE_SHARE_WRITE;  // the settings file's, as it always was

// The UTF-8 path as UTF-16, terminated; false (with the reason recorded) when it is not UTF-8 or too long.
bool WidePath(const char* pszPath, wchar_t* pszOut, const char* pszSuffix = "")
{
    char szPath[kWidePath * 3];
    const int n = std::snprintf(szPath, sizeof szPath, "%s%s", pszPath, pszSuffix);
    if (n <= 0 || n >= static_cast<int>(sizeof szPath))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, szPath, -1, pszOut, kWidePath) > 0)
        return true;
    const DWORD dwError = ::GetLastError();
    return Fail(dwError == ERROR_INSUFFICIENT_BUFFER ? ERROR_FILENAME_EXCED_RANGE : dwError);
}

// Another program holds the file for a moment: worth a few more tries, about one second in all.
bool IsMomentary(DWORD dwError, bool bReplacing)
{
    // Replacing or moving a file that a viewer holds without sharing delete access is refused as
    // "access denied" rather than as a sharing violation.
    return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION ||
           (bReplacing && dwError == ERROR_ACCESS_DENIED);
}
constexpr DWORD g_adwRetryMs[] = {50, 100, 200, 300, 350};

// Calls fnTry until it succeeds, or fails for a reason other than another program holding the file
// for a moment, or the retries (about a second in all) are used up. The last error is fnTry's.
template <typename TryFn>
bool RetryMomentary(bool bReplacing, TryFn fnTry)
{
    for (size_t nTry = 0;; ++nTry) {
        if (fnTry())
            return true;
        const DWORD dwError = ::GetLastError();
        if (nTry >= sizeof g_adwRetryMs / sizeof g_adwRetryMs[0] || !IsMomentary(dwError, bReplacing)) {
            ::SetLastError(dwError);
            return false;
        }
        ::Sleep(g_adwRetryMs[nTry]);
    }
}

HANDLE CreateRetrying(EOsFileOp eOp, const wchar_t* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    HANDLE h = INVALID_HANDLE_VALUE;
    RetryMomentary(false, [&] {
        h = SysCreateFile(eOp, pszPath, dwAccess, dwShare, dwDisposition, dwFlags);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

bool MoveRetrying(EOsFileOp eOp, const wchar_t* pszFrom, const wchar_t* pszTo, DWORD dwFlags)
{
    return RetryMomentary(true, [&] { return SysMoveFileEx(eOp, pszFrom, pszTo, dwFlags) != FALSE; });
}

bool IdOf(HANDLE h, CFileId* pId, DWORD* pdwAttributes)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info))
        return false;
    *pId = CFileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    *pdwAttributes = info.dwFileAttributes;
    return true;
}

// Symbolic links and junctions lead elsewhere and are refused; other reparse points are files of
// their own (a cloud placeholder of a synchronised folder, a deduplicated file) and are fine.
bool IsLink(HANDLE h, DWORD dwAttributes)
{
    if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;  // asked only of reparse points: not every network file system answers the query
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag))
        return true;  // cannot tell: refused, as a link would be
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

// After an open with FILE_FLAG_OPEN_REPARSE_POINT: only a plain file on a disk will do, never a link,
// a directory or a device. Another reparse point was opened past the filter that serves it (a cloud
// placeholder would not fetch its data), so it is opened once more the normal way and kept only when
// that is still the same file. On failure the handle is closed. The record goes on the list.
OsFile Finish(HANDLE h, const wchar_t* pszPath, DWORD dwAccess, DWORD dwShare)
{
    CFileId id;
    DWORD dwAttributes = 0;
    bool bOk = ::GetFileType(h) == FILE_TYPE_DISK && IdOf(h, &id, &dwAttributes) &&
               (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IsLink(h, dwAttributes);
    if (bOk && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ::CloseHandle(h);
        h = CreateRetrying(FILEOP_OPEN, pszPath, dwAccess, dwShare, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (h == INVALID_HANDLE_VALUE) {
            Fail(::GetLastError());
            return kInvalidFile;
        }
        CFileId idAgain;
        bOk = IdOf(h, &idAgain, &dwAttributes) && idAgain == id;
    }
    if (!bOk) {
        ::CloseHandle(h);
        Fail(ERROR_CANT_ACCESS_FILE);
        return kInvalidFile;
    }
    auto* pFile = new CWinFile;
    pFile->m_hFile = h;
    pFile->m_dwAccess = dwAccess;
    pFile->m_dwShare = dwShare;
    pFile->m_id = id;
    ::lstrcpynW(pFile->m_szPath, pszPath, kWidePath);
    const std::lock_guard<std::mutex> lock(g_filesLock);
    pFile->m_pNext = g_pFiles;
    g_pFiles = pFile;
    return reinterpret_cast<OsFile>(pFile);
}

// Writes all of nCount bytes (fewer only when the device refuses the rest); bAtEnd: at the end of the file.
int WriteAll(EOsFileOp eOp, HANDLE h, const char* pData, int nCount, bool bAtEnd)
{
    int nDone = 0;
    while (nDone < nCount) {
        OVERLAPPED ov{};
        ov.Offset = 0xFFFFFFFFu;
        ov.OffsetHigh = 0xFFFFFFFFu;
        DWORD dwWritten = 0;
        if (!SysWriteFile(eOp, h, pData + nDone, static_cast<DWORD>(nCount - nDone), &dwWritten, bAtEnd ? &ov : nullptr)) {
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

// Closes this process's own handles on the file at pszPath (they would refuse its move) and returns
// their records, at most nMax, for ReopenHeld.
int ReleaseHeld(const wchar_t* pszPath, CWinFile** apHeld, int nMax)
{
    // Attributes only: an open that asks for no data access passes every share mode.
    const HANDLE h = ::CreateFileW(pszPath, FILE_READ_ATTRIBUTES, kReadShare, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    CFileId id;
    DWORD dwAttributes = 0;
    const bool bKnown = IdOf(h, &id, &dwAttributes);
    ::CloseHandle(h);
    int nHeld = 0;
    const std::lock_guard<std::mutex> lock(g_filesLock);
    for (CWinFile* p = g_pFiles; bKnown && p != nullptr && nHeld < nMax; p = p->m_pNext) {
        if (p->m_hFile != INVALID_HANDLE_VALUE && p->m_id == id) {
            ::CloseHandle(p->m_hFile);
            p->m_hFile = INVALID_HANDLE_VALUE;
            apHeld[nHeld++] = p;
        }
    }
    return nHeld;
}

// Opens the released handles again on the file, now at pszPath; one that cannot be had stays
// closed, and every later use of it fails and says why.
void ReopenHeld(CWinFile** apHeld, int nHeld, const wchar_t* pszPath)
{
    for (int i = 0; i < nHeld; ++i) {
        CWinFile* p = apHeld[i];
        p->m_hFile = CreateRetrying(FILEOP_MOVE, pszPath, p->m_dwAccess, p->m_dwShare, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
        ::lstrcpynW(p->m_szPath, pszPath, kWidePath);
    }
}

}  // namespace

OsFile OsFileOpen(const char* pszPath, EFileAccess eAccess, EOpenResult* peResult, ELinkRule eLink)
{
    EOpenResult eDummy;
    EOpenResult& eResult = peResult != nullptr ? *peResult : eDummy;
    eResult = OPEN_FAILED;
    wchar_t szPath[kWidePath];
    if (!WidePath(pszPath, szPath))
        return kInvalidFile;
    const bool bFollow = eLink == LINK_FOLLOWED && eAccess == ACCESS_READ;
    const DWORD dwAccess = eAccess == ACCESS_APPEND ? kAppendAccess : GENERIC_READ;
    const DWORD dwShare = eAccess == ACCESS_APPEND ? kAppendShare : bFollow ? kFollowedShare : kReadShare;
    // A followed open is the plain one, tried once: through a link, an editor may hold the file.
    const HANDLE h = bFollow ? SysCreateFile(FILEOP_OPEN, szPath, dwAccess, dwShare, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL)
                             : CreateRetrying(FILEOP_OPEN, szPath, dwAccess, dwShare, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) {
        // Only "file not found" counts as absent: a missing directory, a refusal or a sharing
        // violation (another writer) never lead to a new file.
        const DWORD dwError = ::GetLastError();
        Fail(dwError);
        eResult = dwError == ERROR_FILE_NOT_FOUND ? OPEN_NOT_FOUND : OPEN_FAILED;
        return kInvalidFile;
    }
    const OsFile hFile = Finish(h, szPath, dwAccess, dwShare);
    if (hFile != kInvalidFile)
        eResult = OPEN_OK;
    return hFile;
}

OsFile OsFileCreate(const char* pszPath)
{
    wchar_t szPath[kWidePath];
    if (!WidePath(pszPath, szPath))
        return kInvalidFile;
    const HANDLE h = CreateRetrying(FILEOP_OPEN, szPath, kAppendAccess, kAppendShare, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(::GetLastError());
        return kInvalidFile;
    }
    return Finish(h, szPath, kAppendAccess, kAppendShare);
}

bool OsFileClose(OsFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    CWinFile* pFile = Record(hFile);
    {
        const std::lock_guard<std::mutex> lock(g_filesLock);
        for (CWinFile** pp = &g_pFiles; *pp != nullptr; pp = &(*pp)->m_pNext) {
            if (*pp == pFile) {
                *pp = pFile->m_pNext;
                break;
            }
        }
    }
    const HANDLE h = pFile->m_hFile;
    delete pFile;
    if (h == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);  // lost in a move: already closed
    return SysCloseHandle(FILEOP_CLOSE, h) != 0 || Fail(::GetLastError());
}

bool OsFileSize(OsFile hFile, int64_t* pnSize)
{
    LARGE_INTEGER size{};
    if (hFile == kInvalidFile)
        return Fail(ERROR_INVALID_HANDLE);
    if (!::GetFileSizeEx(Handle(hFile), &size))
        return Fail(::GetLastError());
    *pnSize = size.QuadPart;
    return true;
}

bool OsFileReadOnce(OsFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnGot)
{
    // The OVERLAPPED offset says where to read; appends never depend on where this leaves the position.
    OVERLAPPED ov{};
    const uint64_t nAt = static_cast<uint64_t>(nOffset);
    ov.Offset = static_cast<DWORD>(nAt & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(nAt >> 32);
    DWORD dwGot = 0;
    if (!SysReadFile(Handle(hFile), pBuf, static_cast<DWORD>(nCount), &dwGot, &ov)) {
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_HANDLE_EOF)
            return Fail(dwError);
        dwGot = 0;
    }
    *pnGot = static_cast<int>(dwGot);
    return true;
}

bool OsFileFailNoFile()
{
    return Fail(ERROR_INVALID_HANDLE);
}

int OsFileAppend(OsFile hFile, const char* pData, int nCount)
{
    if (hFile == kInvalidFile)
        return -1;
    return WriteAll(FILEOP_APPEND, Handle(hFile), pData, nCount, true);
}

bool OsFileFlush(OsFile hFile)
{
    if (hFile == kInvalidFile)
        return Fail(ERROR_INVALID_HANDLE);
    OsFileFlushDelay();
    return SysFlushFileBuffers(Handle(hFile)) != 0 || Fail(::GetLastError());
}

bool OsFileTruncate(OsFile hFile, int64_t nSize)
{
    if (hFile == kInvalidFile || nSize < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    return SysSetEndOfFile(Handle(hFile), nSize) != 0 || Fail(::GetLastError());
}

bool OsFileReplace(const char* pszPath, const char* pData, int nCount)
{
    wchar_t szPath[kWidePath];
    wchar_t szTemp[kWidePath];
    if (!WidePath(pszPath, szPath) || !WidePath(pszPath, szTemp, ".tmp"))
        return false;
    // A temporary file left by a killed run is ours and holds nothing that counts; anything else of
    // that name (a directory, a link) makes CREATE_NEW below fail.
    const DWORD dwAttributes = ::GetFileAttributesW(szTemp);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
        (void)::DeleteFileW(szTemp);
    const HANDLE h = CreateRetrying(FILEOP_REPLACE, szTemp, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(::GetLastError());
    DWORD dwError = 0;
    if (WriteAll(FILEOP_REPLACE, h, pData, nCount, false) != nCount)
        dwError = OsFileLastCode();
    if (dwError == 0 && !SysFlushFileBuffers(h))
        dwError = ::GetLastError();
    if (!SysCloseHandle(FILEOP_REPLACE, h) && dwError == 0)
        dwError = ::GetLastError();
    // Replaces the file, or a link of that name, in one step; the move is on the disk when it returns.
    if (dwError == 0 && !MoveRetrying(FILEOP_REPLACE, szTemp, szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        dwError = ::GetLastError();
    if (dwError != 0) {
        (void)::DeleteFileW(szTemp);
        return Fail(dwError);
    }
    return true;
}

bool OsFileMove(const char* pszFrom, const char* pszTo)
{
    wchar_t szFrom[kWidePath];
    wchar_t szTo[kWidePath];
    if (!WidePath(pszFrom, szFrom) || !WidePath(pszTo, szTo))
        return false;
    // Our own handles on the file share no delete access and would refuse the move: closed first,
    // opened again on the file wherever it is afterwards. The store holds at most a few.
    CWinFile* apHeld[8];
    const int nHeld = ReleaseHeld(szFrom, apHeld, 8);
    // Without MOVEFILE_REPLACE_EXISTING an existing target is never overwritten.
    const bool bMoved = MoveRetrying(FILEOP_MOVE, szFrom, szTo, MOVEFILE_WRITE_THROUGH);
    const DWORD dwError = bMoved ? 0 : ::GetLastError();
    ReopenHeld(apHeld, nHeld, bMoved ? szTo : szFrom);
    return bMoved || Fail(dwError);
}

bool OsFileExists(const char* pszPath)
{
    // GetFileAttributes does not follow a link, so a dangling one exists too.
    wchar_t szPath[kWidePath];
    return WidePath(pszPath, szPath) && ::GetFileAttributesW(szPath) != INVALID_FILE_ATTRIBUTES;
}

bool OsFileInfoOf(OsFile hFile, COsFileInfo* pInfo)
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

bool OsFileRemove(const char* pszPath)
{
    wchar_t szPath[kWidePath];
    if (!WidePath(pszPath, szPath))
        return false;
    return SysDeleteFile(szPath) != 0 || Fail(::GetLastError());
}

bool OsFileListNames(const char* pszDir, const char* pszPrefix, const std::function<void(const char*)>& fnName)
{
    // The folder's name may be Cyrillic: the pattern and the names found go through UTF-16.
    char szPattern[kWidePath * 3];
    const int n = std::snprintf(szPattern, sizeof szPattern, "%s%s", pszDir != nullptr ? pszDir : "", pszPrefix);
    wchar_t szWidePattern[kWidePath];
    if (n <= 0 || n >= static_cast<int>(sizeof szPattern))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (!WidePath(szPattern, szWidePattern, "*"))
        return false;
    WIN32_FIND_DATAW data{};
    const HANDLE hFind = ::FindFirstFileW(szWidePattern, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || Fail(::GetLastError());
    do {
        char szName[MAX_PATH * 3];
        if (::WideCharToMultiByte(CP_UTF8, 0, data.cFileName, -1, szName, sizeof szName, nullptr, nullptr) > 0)
            fnName(szName);
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return true;
}
