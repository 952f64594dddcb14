// AppendRecordLines: one write and one flush of record lines, and the cut that keeps a torn write from gluing records together.
#include "record_append.h"

#include <cstring>

namespace {

// A pending record never exceeds 255 characters.
constexpr size_t kMaxPendingChars = 255;

// True when the file ends inside a line (its last byte is not LF): a record appended now would be
// glued to that line, e.g. one another program appended without its line end.
bool EndsInsideLine(OsFile hFile)
{
    int64_t nSize = 0;
    char c = '\n';
    int nRead = 0;
    return OsFileSize(hFile, &nSize) && nSize > 0 && OsFileReadAt(hFile, nSize - 1, &c, 1, &nRead) &&
           nRead == 1 && c != '\n';
}

}  // namespace

bool AddRecordLine(std::string& strLines, const char* pszPending)
{
    const size_t nLen = ::strnlen(pszPending, kMaxPendingChars + 1);
    if (nLen > kMaxPendingChars)
        return false;
    strLines.append(pszPending, nLen > 0 ? nLen - 1 : 0);
    strLines.append("\r\n");
    return true;
}

bool IsStillNamed(OsFile hFile, const char* pszPath)
{
    COsFileInfo open;
    if (!OsFileInfoOf(hFile, &open))
        return true;
    if (open.nLinks == 0)
        return false;
    EOpenResult eResult = OPEN_OK;
    const OsFile hNamed = OsFileOpen(pszPath, ACCESS_READ, &eResult);
    if (hNamed == kInvalidFile)
        return eResult != OPEN_NOT_FOUND;
    COsFileInfo named;
    const bool bSame = !OsFileInfoOf(hNamed, &named) || (named.nDevice == open.nDevice && named.nFileId == open.nFileId);
    OsFileClose(hNamed);
    return bSame;
}

EAppendResult AppendRecordLines(OsFile hFile, const char* pData, int nCount, bool* pbNeedLineEnd)
{
    if (hFile == kInvalidFile || nCount < 0)
        return APPEND_NOT_WRITTEN;
    if (!*pbNeedLineEnd && EndsInsideLine(hFile))
        *pbNeedLineEnd = true;
    std::string strWrite;
    const char* pWrite = pData;
    int nWrite = nCount;
    if (*pbNeedLineEnd) {
        strWrite.reserve(static_cast<size_t>(nCount) + 2);
        strWrite.append("\r\n").append(pData, static_cast<size_t>(nCount));
        pWrite = strWrite.data();
        nWrite = static_cast<int>(strWrite.size());
    }
    int64_t nBefore = -1;
    if (!OsFileSize(hFile, &nBefore))
        nBefore = -1;
    const int nWritten = OsFileAppend(hFile, pWrite, nWrite);
    if (nWritten == nWrite) {
        *pbNeedLineEnd = false;
        return OsFileFlush(hFile) ? APPEND_OK : APPEND_NOT_FLUSHED;
    }
    // A record written only in part would glue the next one to its torn end: cut it off again.
    int64_t nNow = -1;
    if (nWritten <= 0 && OsFileSize(hFile, &nNow) && nNow == nBefore)
        return APPEND_NOT_WRITTEN;
    if (nBefore >= 0 && OsFileTruncate(hFile, nBefore))
        return APPEND_NOT_WRITTEN;
    *pbNeedLineEnd = true;
    return APPEND_TORN;
}
