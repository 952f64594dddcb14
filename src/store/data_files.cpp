// CBatchStore's data files: tuning-file check and rewrite, data-file reload and appends, record lines and headers.
#include "batch_store.h"

#include <cstdio>
#include <cstring>

#include "record_line.h"

namespace {

// Room for the directory text (at most 259 characters), a file name and a moved-aside suffix.
constexpr int kPathBytes = CBatchStore::kDirBytes + 64;
// Bytes read from a file per call while its lines are walked.
constexpr int kChunkBytes = 16384;

// Hands out each line of a file that ends with CR LF (a CR or an LF on its own is an ordinary
// character). A line is held up to kMaxLineChars characters, CR LF included; a longer one is reported
// as overlong, without its text. Bytes after the last CR LF stay in the walker as the torn tail.
class CLineWalker {
public:
    // Reads exactly nSize bytes from the start of the file and calls onLine(pLine, nLen, bOverlong)
    // for each complete line (nLen counts the CR LF; the text is terminated after it). onLine returns
    // false to stop. False when a read fails or the file ends before nSize bytes.
    template <typename F>
    bool Walk(StoreFile hFile, int64_t nSize, F onLine)
    {
        char achChunk[kChunkBytes];
        int64_t nOffset = 0;
        char cPrev = '\0';
        while (nOffset < nSize) {
            const int64_t nLeft = nSize - nOffset;
            const int nWant = nLeft < kChunkBytes ? static_cast<int>(nLeft) : kChunkBytes;
            int nRead = 0;
            if (!StoreFileReadAt(hFile, nOffset, achChunk, nWant, &nRead) || nRead <= 0)
                return false;
            for (int i = 0; i < nRead; ++i) {
                const char c = achChunk[i];
                if (m_nLen < CBatchStore::kMaxLineChars)
                    m_szLine[m_nLen] = c;
                else
                    m_bOverlong = true;
                ++m_nLen;
                const bool bLineEnd = c == '\n' && (nOffset + i) > 0 && cPrev == '\r';
                cPrev = c;
                if (!bLineEnd)
                    continue;
                const int nLen = m_bOverlong ? CBatchStore::kMaxLineChars : m_nLen;
                m_szLine[nLen] = '\0';
                const bool bGoOn = onLine(m_szLine, nLen, m_bOverlong);
                m_nLen = 0;
                m_bOverlong = false;
                if (!bGoOn)
                    return true;
            }
            nOffset += nRead;
        }
        return true;
    }
    // Characters after the last CR LF (a torn last line).
    int TailLength() const { return m_nLen; }

private:
    char m_szLine[CBatchStore::kMaxLineChars + 1];
    int m_nLen = 0;
    bool m_bOverlong = false;
};

// The tuning-file line of entries nFirst..nFirst + 9: sixty values, each followed by ",", then CR LF.
// pszLine holds at least 60 x 12 + 3 bytes. Returns its length.
int BuildTuneLine(const int32_t (*aTune)[CBatchStore::kTuneValues], int nFirst, char* pszLine)
{
    int nLen = 0;
    for (int e = nFirst; e < nFirst + 10; ++e) {
        for (int k = 0; k < CBatchStore::kTuneValues; ++k) {
            nLen += FormatDecimal(aTune[e][k], pszLine + nLen);
            pszLine[nLen++] = ',';
        }
    }
    pszLine[nLen++] = '\r';
    pszLine[nLen++] = '\n';
    pszLine[nLen] = '\0';
    return nLen;
}

// A calendar field of a header or a file name, held to the two places (or, for the year, four) it has.
int ClampField(long long nValue, int nMax)
{
    return nValue < 0 ? 0 : (nValue > nMax ? nMax : static_cast<int>(nValue));
}

bool MakePath(const char* pszDir, const char* pszName, int nAddress, char* pszPath, int nBytes)
{
    const int n = std::snprintf(pszPath, static_cast<size_t>(nBytes), "%s%s%02d", pszDir, pszName, nAddress);
    return n > 0 && n < nBytes;
}

}  // namespace

bool CBatchStore::MakeTunePath(int nAddress, char* pszPath, int nBytes) const
{
    return MakePath(m_szDirectory, "RecipesTune_i", nAddress, pszPath, nBytes);
}

bool CBatchStore::MakeDataPath(int nAddress, char* pszPath, int nBytes) const
{
    return MakePath(m_szDirectory, "Data_i", nAddress, pszPath, nBytes);
}

StoreFile CBatchStore::OpenFileHandle(StoreFile hOld, const char* pszPath, EDisposition eDisposition)
{
    // A failed close still releases a POSIX descriptor, so the old number is never handed back:
    // the caller would go on writing through a descriptor that may by now belong to another file.
    if (hOld != kInvalidFile && !StoreFileClose(hOld))
        return kInvalidFile;
    return StoreFileOpen(pszPath, eDisposition);
}

bool CBatchStore::WriteTuneFile(int nAddress, StoreFile hFile)
{
    if (hFile == kInvalidFile)
        return false;
    const int nSlot = IndexOfAddress(nAddress);
    if (nSlot >= kMaxSlots)
        return true;  // nothing registered at that address: nothing to write
    char szLine[kMaxLineChars + 1];
    for (int nFirst = 0; nFirst < kEntries; nFirst += 10) {
        const int nLen = BuildTuneLine(m_aTune[nSlot], nFirst, szLine);
        // Not examined: the operation fails only without a file, as the search relies on.
        StoreFileWrite(hFile, szLine, nLen);
    }
    return true;
}

bool CBatchStore::TuneFileMatches(int nSlot, StoreFile hTune, bool* pbReadOk) const
{
    *pbReadOk = false;
    int64_t nSize = 0;
    if (!StoreFileSize(hTune, &nSize))
        return false;
    bool bMatched = false;
    int nFirst = 0;
    char szExpected[kMaxLineChars + 1];
    CLineWalker walker;
    *pbReadOk = walker.Walk(hTune, nSize, [&](const char* pLine, int nLen, bool bOverlong) {
        bMatched = true;
        if (bOverlong || nFirst >= kEntries) {
            bMatched = false;  // an overlong line or an eleventh line never matches
            return false;
        }
        const int nExpected = BuildTuneLine(m_aTune[nSlot], nFirst, szExpected);
        if (nExpected != nLen || std::memcmp(pLine, szExpected, static_cast<size_t>(nLen)) != 0) {
            bMatched = false;
            return false;
        }
        nFirst += 10;
        return true;
    });
    return *pbReadOk && bMatched;
}

bool CBatchStore::LoadDataFile(int nSlot, StoreFile hData)
{
    int64_t nSize = 0;
    bool bOk = StoreFileSize(hData, &nSize);
    CLineWalker walker;
    if (bOk) {
        bOk = walker.Walk(hData, nSize, [&](char* pLine, int nLen, bool bOverlong) {
            // A line over 1,023 characters cannot be a record: it stays in the file and is not loaded.
            if (!bOverlong) {
                pLine[nLen - 2] = '\0';  // drop the CR LF
                LoadRecordLine(nSlot, pLine);
            }
            return true;
        });
    }
    m_anRunStart[nSlot] = m_anRecordLength[nSlot];
    // A torn last line (no CR LF) is not a record and is not loaded; the first append ends it first.
    m_abNeedLineEnd[nSlot] = bOk && walker.TailLength() > 0;
    if (!bOk)
        return false;
    if (!StoreFileSeekEnd(hData)) {
        // Appends would land at the start of the file and overwrite it: give the file up instead.
        StoreFileClose(hData);
        m_ahDataFile[nSlot] = kInvalidFile;
        return false;
    }
    return true;
}

bool CBatchStore::MoveDataFileAside(const char* pszDataPath)
{
    if (!StoreFileExists(pszDataPath))
        return true;
    // Opening takes the writer lock: a data file that another program is writing is left alone.
    StoreFile hOld = StoreFileOpen(pszDataPath, DISP_OPEN_EXISTING);
    if (hOld == kInvalidFile)
        return false;
    int64_t nSize = 0;
    bool bDone = StoreFileSize(hOld, &nSize) && nSize == 0;  // an empty file holds nothing to keep
    if (!bDone && nSize > 0) {
        std::tm tmNow;
        LocalTime(&tmNow);
        const int nYear = ClampField(tmNow.tm_year + 1900LL, 9999);
        char szAside[kPathBytes];
        for (int nCopy = 1; nCopy <= 99 && !bDone; ++nCopy) {
            char szSuffix[8] = "";
            if (nCopy > 1)
                std::snprintf(szSuffix, sizeof(szSuffix), "-%d", nCopy);
            const int n = std::snprintf(szAside, sizeof(szAside), "%s.%04d%02d%02d-%02d%02d%02d%s", pszDataPath,
                                        nYear, ClampField(tmNow.tm_mon + 1LL, 99), ClampField(tmNow.tm_mday, 99),
                                        ClampField(tmNow.tm_hour, 99), ClampField(tmNow.tm_min, 99),
                                        ClampField(tmNow.tm_sec, 99), szSuffix);
            if (n <= 0 || n >= static_cast<int>(sizeof(szAside)))
                break;
            if (!StoreFileExists(szAside))
                bDone = StoreFileRename(pszDataPath, szAside);
        }
    }
    StoreFileClose(hOld);
    return bDone;
}

bool CBatchStore::CloseSlotDataFile(int nSlot)
{
    // The slot's own handle would hold the writer lock and keep the old file from being moved aside.
    if (m_ahDataFile[nSlot] == kInvalidFile)
        return true;
    const bool bClosed = StoreFileClose(m_ahDataFile[nSlot]);
    m_ahDataFile[nSlot] = kInvalidFile;
    return bClosed;
}

bool CBatchStore::OpenIndicatorFiles(int nAddress)
{
    char szTunePath[kPathBytes];
    char szDataPath[kPathBytes];
    const int nSlot = IndexOfAddress(nAddress);
    if (nSlot >= kMaxSlots || !MakeTunePath(nAddress, szTunePath, kPathBytes)
        || !MakeDataPath(nAddress, szDataPath, kPathBytes))
        return false;

    bool bResult = false;
    StoreFile hTune = StoreFileOpen(szTunePath, DISP_OPEN_EXISTING);
    bool bMatched = false;
    bool bReadOk = true;
    if (hTune != kInvalidFile)
        bMatched = TuneFileMatches(nSlot, hTune, &bReadOk);

    if (!bReadOk) {
        bResult = false;  // unreadable tuning file: no data file for this indicator
    } else if (bMatched) {
        m_ahDataFile[nSlot] = OpenFileHandle(m_ahDataFile[nSlot], szDataPath, DISP_OPEN_EXISTING);
        if (m_ahDataFile[nSlot] == kInvalidFile)
            m_ahDataFile[nSlot] = OpenFileHandle(kInvalidFile, szDataPath, DISP_CREATE_ALWAYS);
        if (m_ahDataFile[nSlot] != kInvalidFile)
            bResult = LoadDataFile(nSlot, m_ahDataFile[nSlot]);
    } else if (CloseSlotDataFile(nSlot) && MoveDataFileAside(szDataPath)) {
        // Missing or different tuning: the old records belong to another tuning. They were moved aside
        // above; the tuning file is rewritten only then, so that a data file that could not be moved is
        // never paired with the new tuning.
        hTune = OpenFileHandle(hTune, szTunePath, DISP_CREATE_ALWAYS);
        if (hTune != kInvalidFile && WriteTuneFile(nAddress, hTune)) {
            m_ahDataFile[nSlot] = OpenFileHandle(m_ahDataFile[nSlot], szDataPath, DISP_CREATE_ALWAYS);
            m_abNeedLineEnd[nSlot] = false;
            bResult = m_ahDataFile[nSlot] != kInvalidFile;
        }
    }
    if (hTune != kInvalidFile)
        StoreFileClose(hTune);
    return bResult;
}

bool CBatchStore::LoadRecordLine(int nSlot, const char* pszLine)
{
    // Only a line that can be held as a record counts: longer ones were never written by the store,
    // and taking their values into the totals alone would make the totals disagree with the records.
    const int nLen = static_cast<int>(::strnlen(pszLine, kWorkBytes));
    int nKeep = nLen;
    if (nKeep > 0 && pszLine[nKeep - 1] == ',')
        --nKeep;
    if (nKeep + 2 > kWorkBytes)
        return false;

    CRecordFields fields;
    SplitRecord(pszLine, nLen, &fields);
    const int32_t nBase = fields.nHeaderLen > 20
        ? ReadDecimal(fields.pHeader + 20, fields.nHeaderLen > 21 ? 2 : 1) : 0;
    for (int k = 0; k < fields.nFields; ++k) {
        // The state code of a header is read as a number: a header such as 95 with ten values, or a
        // negative or garbled code, would point past the table. Only entries 0..99 take values.
        const int64_t nEntry = static_cast<int64_t>(nBase) + k;
        if (nEntry >= 0 && nEntry < kEntries)
            AddTotal(nSlot, static_cast<int>(nEntry), fields.anValues[k]);
    }
    AppendRecordRaw(nSlot, pszLine, nKeep);
    return false;
}

bool CBatchStore::WriteRecordLine(StoreFile hFile, const char* pszPending)
{
    if (hFile == kInvalidFile)
        return false;
    const int nLen = static_cast<int>(::strnlen(pszPending, kPendingBytes));
    if (nLen >= kPendingBytes)
        return false;  // not a pending record: those are at most 255 characters
    char szLine[kPendingBytes + 2];
    const int nKeep = nLen > 0 ? nLen - 1 : 0;
    std::memcpy(szLine, pszPending, static_cast<size_t>(nKeep));
    szLine[nKeep] = '\r';
    szLine[nKeep + 1] = '\n';
    return StoreFileWrite(hFile, szLine, nKeep + 2) == nKeep + 2;
}

bool CBatchStore::AppendDataLine(int nSlot, const char* pszPending)
{
    const StoreFile hFile = m_ahDataFile[nSlot];
    if (hFile == kInvalidFile)
        return false;
    if (m_abNeedLineEnd[nSlot]) {
        if (StoreFileWrite(hFile, "\r\n", 2) != 2)
            return false;
        m_abNeedLineEnd[nSlot] = false;
    }
    int64_t nBefore = -1;
    if (!StoreFileSize(hFile, &nBefore))
        nBefore = -1;
    if (WriteRecordLine(hFile, pszPending))
        return true;
    // A record written only in part would glue the next one to its torn end: cut it off again, and
    // when even that fails, start the next record on a line of its own.
    if (nBefore < 0 || !StoreFileTruncate(hFile, nBefore))
        m_abNeedLineEnd[nSlot] = true;
    return false;
}

int CBatchStore::FormatRecordHeader(const char* pszState, char* pBuf) const
{
    std::tm tmNow;
    LocalTime(&tmNow);
    char szNumber[12];
    char szTwo[3];
    int nPos = 0;
    auto putTwo = [&](long long nValue) {
        FormatDecimal(ClampField(nValue, 99), szNumber);
        PadTwoDigits(szNumber, szTwo);
        pBuf[nPos++] = szTwo[0];
        pBuf[nPos++] = szTwo[1];
    };
    putTwo(tmNow.tm_mday);
    pBuf[nPos++] = '.';
    putTwo(tmNow.tm_mon + 1LL);
    pBuf[nPos++] = '.';
    // The header is always 23 characters: the year keeps its four places whatever the clock says.
    const int nYear = ClampField(tmNow.tm_year + 1900LL, 9999);
    pBuf[nPos++] = static_cast<char>('0' + nYear / 1000);
    pBuf[nPos++] = static_cast<char>('0' + nYear / 100 % 10);
    pBuf[nPos++] = static_cast<char>('0' + nYear / 10 % 10);
    pBuf[nPos++] = static_cast<char>('0' + nYear % 10);
    pBuf[nPos++] = ',';
    putTwo(tmNow.tm_hour);
    pBuf[nPos++] = ':';
    putTwo(tmNow.tm_min);
    pBuf[nPos++] = ':';
    putTwo(tmNow.tm_sec);
    pBuf[nPos++] = ',';
    pBuf[nPos++] = pszState[0];
    pBuf[nPos++] = pszState[1];
    pBuf[nPos++] = '=';
    return nPos;
}
