// The file layer's portable part: the record of its last failure on each thread, the texts it gives, reads at an offset.
#include "file_access.h"

#include <cstdio>

#include "system_error.h"

namespace {

thread_local unsigned long t_nLastCode = 0;
thread_local char t_szFailedPath[4096] = "";

}  // namespace

bool OsFileFail(unsigned long nCode)
{
    t_nLastCode = nCode;
    t_szFailedPath[0] = '\0';
    return false;
}

bool OsFileFailOn(const char* pszPath, unsigned long nCode)
{
    OsFileFail(nCode);
    std::snprintf(t_szFailedPath, sizeof t_szFailedPath, "%s", pszPath);
    return false;
}

unsigned long OsFileLastCode()
{
    return t_nLastCode;
}

void OsFileLastError(char* pszBuf, int nSize)
{
    OsErrorText(t_nLastCode, pszBuf, nSize);
}

void OsFileLastFailedPath(char* pszBuf, int nSize)
{
    if (pszBuf != nullptr && nSize > 0)
        std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s", t_szFailedPath);
}

OsFile OsFileOpenOrCreate(const char* pszPath)
{
    EOpenResult eResult = OPEN_FAILED;
    const OsFile hFile = OsFileOpen(pszPath, ACCESS_APPEND, &eResult);
    return eResult == OPEN_NOT_FOUND ? OsFileCreate(pszPath) : hFile;
}

bool OsFileReadAt(OsFile hFile, int64_t nOffset, char* pBuf, int nCount, int* pnRead)
{
    *pnRead = 0;
    if (hFile == kInvalidFile || nCount < 0)
        return OsFileFailNoFile();
    while (*pnRead < nCount) {
        int nGot = 0;
        if (!OsFileReadOnce(hFile, nOffset + *pnRead, pBuf + *pnRead, nCount - *pnRead, &nGot))
            return false;
        if (nGot == 0)
            break;
        *pnRead += nGot;
    }
    return true;
}
