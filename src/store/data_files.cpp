// CBatchStore's data files: tuning-file check and rewrite, data-file reload and appends, record lines and headers.
#include "batch_store.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "record_append.h"
#include "record_line.h"

namespace {

// Room for the directory text (at most 259 characters), a file name and a moved-aside suffix.
constexpr int kPathBytes = CBatchStore::kDirBytes + 64;
// Bytes read from a file per call while its lines are walked.
constexpr int kChunkBytes = 16384;

// Hands out each line of a file that ends with LF, with or without a CR before it (a CR on its own is
// an ordinary character): files converted to LF line ends, and lines appended with "echo >>", hold
// records like the store's own CR LF lines. A line is held up to kMaxLineChars characters, its line end
// included; a longer one is reported as overlong, without its text. Bytes after the last LF stay in
// the walker as the torn tail.
class CLineWalker {
public:
    // Reads exactly nSize bytes from the start of the file and calls onLine(pLine, nLen, bOverlong)
    // for each complete line (nLen counts the line end; the text is terminated after it). onLine returns
    // false to stop. False when a read fails or the file ends before nSize bytes.
    template <typename F>
    bool Walk(OsFile hFile, int64_t nSize, F onLine)
    {
        char achChunk[kChunkBytes];
        int64_t nOffset = 0;
        while (nOffset < nSize) {
            const int64_t nLeft = nSize - nOffset;
            const int nWant = nLeft < kChunkBytes ? static_cast<int>(nLeft) : kChunkBytes;
            int nRead = 0;
            if (!OsFileReadAt(hFile, nOffset, achChunk, nWant, &nRead) || nRead <= 0)
                return false;
            for (int i = 0; i < nRead; ++i) {
                const char c = achChunk[i];
                if (m_nLen < CBatchStore::kMaxLineChars)
                    m_szLine[m_nLen] = c;
                else
                    m_bOverlong = true;
                ++m_nLen;
                if (c != '\n')
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
    // Characters after the last LF (a torn last line).
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

// True when nCount bytes of file A at nOffsetA equal those of file B at nOffsetB.
bool SameBytes(OsFile hA, int64_t nOffsetA, OsFile hB, int64_t nOffsetB, int64_t nCount)
{
    char achA[4096];
    char achB[4096];
    for (int64_t nDone = 0; nDone < nCount;) {
        const int nWant = nCount - nDone < 4096 ? static_cast<int>(nCount - nDone) : 4096;
        int nReadA = 0;
        int nReadB = 0;
        if (!OsFileReadAt(hA, nOffsetA + nDone, achA, nWant, &nReadA) || nReadA != nWant ||
            !OsFileReadAt(hB, nOffsetB + nDone, achB, nWant, &nReadB) || nReadB != nWant ||
            std::memcmp(achA, achB, static_cast<size_t>(nWant)) != 0)
            return false;
        nDone += nWant;
    }
    return true;
}

// A kill between the copy of a torn tail and the cut of the data file leaves the fragment in both: as
// the side file's last entry (the fragment, CR LF, after a line end) written after the data file was
// last written. Copying it again would double it. The same fragment torn anew later is written after
// the side file, and is copied.
bool TornTailAlreadyCopied(OsFile hData, OsFile hTorn, int64_t nWhole, int64_t nSize)
{
    COsFileInfo data;
    COsFileInfo torn;
    const int64_t nFragment = nSize - nWhole;
    if (!OsFileInfoOf(hData, &data) || !OsFileInfoOf(hTorn, &torn) || torn.nModified < data.nModified ||
        torn.nSize < nFragment + 2)
        return false;
    const int64_t nEntry = torn.nSize - nFragment - 2;
    char achEnd[2] = {};
    int nRead = 0;
    if (!OsFileReadAt(hTorn, nEntry + nFragment, achEnd, 2, &nRead) || nRead != 2 || achEnd[0] != '\r' ||
        achEnd[1] != '\n')
        return false;
    if (nEntry > 0 && (!OsFileReadAt(hTorn, nEntry - 1, achEnd, 1, &nRead) || nRead != 1 || achEnd[0] != '\n'))
        return false;
    return SameBytes(hData, nWhole, hTorn, nEntry, nFragment);
}

// A moved-aside name: the data file's name, ".", YYYYMMDD-HHMMSS and perhaps "-2", "-3"...
bool IsMovedAsideSuffix(const char* pszSuffix)
{
    for (int i = 0; i < 15; ++i) {
        const char c = pszSuffix[i];
        if (i == 8 ? c != '-' : (c < '0' || c > '9'))
            return false;
    }
    const char* p = pszSuffix + 15;
    if (*p == '\0')
        return true;
    if (*p++ != '-' || *p == '\0')
        return false;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
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

bool CBatchStore::Fault(EStoreFault eKind, int nAddress, const char* pszPath)
{
    char szError[256];
    OsFileLastError(szError, sizeof szError);
    // A failure on another file than the one named (a replacement's temporary file) names that file.
    char szFailed[kPathBytes + 8];
    OsFileLastFailedPath(szFailed, sizeof szFailed);
    if (m_pFaults != nullptr)
        m_pFaults->Report(eKind, nAddress, szFailed[0] != '\0' ? szFailed : pszPath, szError);
    // The failures of a search that leave the slot without a data file: why, for the notices of the
    // records that then stay in memory only.
    const int nSlot = IndexOfAddress(nAddress);
    if (nSlot < kMaxSlots && (eKind == FAULT_DATA_OPEN || eKind == FAULT_TUNE_READ || eKind == FAULT_TUNE_WRITE ||
                              eKind == FAULT_MOVE_ASIDE || eKind == FAULT_DATA_READ || eKind == FAULT_TORN_TAIL))
    {
        CFaultNotices::FormatGivenUp(eKind, szError, m_aszGivenUp[nSlot], static_cast<int>(sizeof m_aszGivenUp[nSlot]));
        m_aeGivenUp[nSlot] = eKind;
    }
    return false;
}

bool CBatchStore::TuneFileMatches(int nSlot, OsFile hTune, bool* pbReadOk) const
{
    *pbReadOk = false;
    int64_t nSize = 0;
    if (!OsFileSize(hTune, &nSize))
        return false;
    bool bMatched = true;
    int nFirst = 0;
    char szExpected[kMaxLineChars + 1];
    CLineWalker walker;
    *pbReadOk = walker.Walk(hTune, nSize, [&](const char* pLine, int nLen, bool bOverlong) {
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
    // All ten lines and nothing after them: a short file (a rewrite cut off) would otherwise let two
    // tunings' records share one data file.
    return *pbReadOk && bMatched && nFirst == kEntries && walker.TailLength() == 0;
}

bool CBatchStore::MoveTornTailAside(int nSlot, OsFile hData, int64_t nWhole, int64_t nSize)
{
    char szTorn[kPathBytes];
    const int nAddress = m_anAddress[nSlot];
    if (!MakeDataPath(nAddress, szTorn, kPathBytes - 8))
        return false;
    std::strcat(szTorn, ".torn");
    const OsFile hTorn = OsFileOpenOrCreate(szTorn);
    if (hTorn == kInvalidFile)
        return Fault(FAULT_TORN_TAIL, nAddress, szTorn);
    // The fragment's bytes as they were, each fragment on a line of its own; then the data file is
    // cut back to its whole lines, never before the bytes are safe on the disk.
    char achChunk[kChunkBytes];
    bool bOk = true;
    const bool bCopied = TornTailAlreadyCopied(hData, hTorn, nWhole, nSize);
    for (int64_t nOffset = nWhole; bOk && !bCopied && nOffset < nSize;) {
        const int nWant = nSize - nOffset < kChunkBytes ? static_cast<int>(nSize - nOffset) : kChunkBytes;
        int nRead = 0;
        bOk = OsFileReadAt(hData, nOffset, achChunk, nWant, &nRead) && nRead == nWant &&
              OsFileAppend(hTorn, achChunk, nRead) == nRead;
        nOffset += nRead;
    }
    bOk = bOk && (bCopied || OsFileAppend(hTorn, "\r\n", 2) == 2) && OsFileFlush(hTorn);
    if (!bOk) {
        Fault(FAULT_TORN_TAIL, nAddress, szTorn);
        OsFileClose(hTorn);
        return false;
    }
    OsFileClose(hTorn);
    char szData[kPathBytes];
    MakeDataPath(nAddress, szData, kPathBytes);
    if (!OsFileTruncate(hData, nWhole) || !OsFileFlush(hData))
        return Fault(FAULT_TORN_TAIL, nAddress, szData);
    if (m_pFaults != nullptr) {
        char szCount[24];
        std::snprintf(szCount, sizeof szCount, "%lld", static_cast<long long>(nSize - nWhole));
        m_pFaults->Report(FAULT_TORN_MOVED, nAddress, szData, szCount);
    }
    return true;
}

bool CBatchStore::LoadDataFile(int nSlot, OsFile hData)
{
    int64_t nSize = 0;
    bool bOk = OsFileSize(hData, &nSize);
    CLineWalker walker;
    if (bOk) {
        bOk = walker.Walk(hData, nSize, [&](char* pLine, int nLen, bool bOverlong) {
            // A line over 1,023 characters cannot be a record: it stays in the file and is not loaded.
            if (!bOverlong) {
                const int nText = nLen >= 2 && pLine[nLen - 2] == '\r' ? nLen - 2 : nLen - 1;
                pLine[nText] = '\0';  // drop the line end
                LoadRecordLine(nSlot, pLine);
            }
            return true;
        });
    }
    m_anRunStart[nSlot] = m_anRecordLength[nSlot];
    char szData[kPathBytes];
    MakeDataPath(m_anAddress[nSlot], szData, kPathBytes);
    // A file that cannot be read whole (a failing disk, a file cut short meanwhile) is given up: the
    // next records would otherwise follow lines that were never seen.
    if (!bOk)
        Fault(FAULT_DATA_READ, m_anAddress[nSlot], szData);
    // A torn last line (no LF) is not a record: it is not loaded, and it goes to its side file.
    else if (walker.TailLength() > 0)
        bOk = MoveTornTailAside(nSlot, hData, nSize - walker.TailLength(), nSize);
    if (!bOk) {
        OsFileClose(hData);
        m_ahDataFile[nSlot] = kInvalidFile;
    }
    return bOk;
}

bool CBatchStore::FindMovedAsideName(int nAddress, OsFile hData, char* pszName, int nBytes) const
{
    COsFileInfo data;
    if (!OsFileInfoOf(hData, &data) || data.nLinks != 2)
        return false;
    char szPrefix[16];
    std::snprintf(szPrefix, sizeof szPrefix, "Data_i%02d.", nAddress % 100);
    bool bFound = false;
    OsFileListNames(m_szDirectory, szPrefix, [&](const char* pszEntry) {
        if (bFound || !IsMovedAsideSuffix(pszEntry + std::strlen(szPrefix)))
            return;
        const int n = std::snprintf(pszName, static_cast<size_t>(nBytes), "%s%s", m_szDirectory, pszEntry);
        if (n <= 0 || n >= nBytes)
            return;
        const OsFile hOther = OsFileOpen(pszName, ACCESS_READ, nullptr);
        COsFileInfo other;
        bFound = hOther != kInvalidFile && OsFileInfoOf(hOther, &other) && other.nDevice == data.nDevice &&
                 other.nFileId == data.nFileId;
        OsFileClose(hOther);
    });
    return bFound;
}

bool CBatchStore::MoveDataFileAside(int nAddress, const char* pszDataPath)
{
    if (!OsFileExists(pszDataPath))
        return true;
    // Opening takes the writer lock: a data file that another program is writing is left alone.
    OsFile hOld = OsFileOpen(pszDataPath, ACCESS_APPEND, nullptr);
    if (hOld == kInvalidFile)
        return false;
    // A kill inside a move made of a link and an unlink left the file under a moved-aside name as well:
    // the move is finished by removing the data file's name, not made once more under another name.
    char szAside[kPathBytes];
    if (FindMovedAsideName(nAddress, hOld, szAside, kPathBytes)) {
        const bool bRemoved = OsFileRemove(pszDataPath);
        OsFileClose(hOld);
        return bRemoved;
    }
    int64_t nSize = 0;
    bool bDone = OsFileSize(hOld, &nSize) && nSize == 0;  // an empty file holds nothing to keep
    if (!bDone && nSize > 0) {
        std::tm tmNow;
        LocalTime(&tmNow);
        const int nYear = ClampField(tmNow.tm_year + 1900LL, 9999);
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
            if (!OsFileExists(szAside) && !OsFileMove(pszDataPath, szAside))
                break;  // refused for another reason than a taken name: trying more names will not help
            bDone = !OsFileExists(pszDataPath);
        }
    }
    OsFileClose(hOld);
    return bDone;
}

bool CBatchStore::CloseSlotDataFile(int nSlot)
{
    // The slot's own handle would hold the writer lock and keep the old file from being moved aside.
    if (m_ahDataFile[nSlot] == kInvalidFile)
        return true;
    const bool bClosed = OsFileClose(m_ahDataFile[nSlot]);
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
    CloseSlotDataFile(nSlot);
    m_abNeedLineEnd[nSlot] = false;

    // Compared through a read-only open: a tuning file that cannot be written may still match.
    EOpenResult eTune = OPEN_FAILED;
    const OsFile hTune = OsFileOpen(szTunePath, ACCESS_READ, &eTune);
    bool bMatched = false;
    if (hTune != kInvalidFile) {
        bool bReadOk = false;
        bMatched = TuneFileMatches(nSlot, hTune, &bReadOk);
        OsFileClose(hTune);
        if (!bReadOk)
            return Fault(FAULT_TUNE_READ, nAddress, szTunePath);
    } else if (eTune != OPEN_NOT_FOUND) {
        return Fault(FAULT_TUNE_READ, nAddress, szTunePath);  // exists, unreadable: not shown to differ
    }

    if (!bMatched) {
        // A missing or different tuning: the old records belong to another tuning. They are moved
        // aside first, so that a data file that could not be moved is never paired with the new tuning.
        if (!MoveDataFileAside(nAddress, szDataPath))
            return Fault(FAULT_MOVE_ASIDE, nAddress, szDataPath);
        char szTune[10 * (kMaxLineChars + 1)];
        int nLen = 0;
        for (int nFirst = 0; nFirst < kEntries; nFirst += 10)
            nLen += BuildTuneLine(m_aTune[nSlot], nFirst, szTune + nLen);
        if (!OsFileReplace(szTunePath, szTune, nLen))
            return Fault(FAULT_TUNE_WRITE, nAddress, szTunePath);
    }

    const OsFile hData = OsFileOpenOrCreate(szDataPath);  // only "no such file" creates one
    if (hData == kInvalidFile)
        return Fault(FAULT_DATA_OPEN, nAddress, szDataPath);
    m_ahDataFile[nSlot] = hData;
    if (!LoadDataFile(nSlot, hData))
        return false;
    m_aszGivenUp[nSlot][0] = '\0';
    m_aeGivenUp[nSlot] = FAULT_KINDS;
    if (m_pFaults != nullptr) {
        for (EStoreFault eKind : {FAULT_DATA_OPEN, FAULT_TUNE_READ, FAULT_TUNE_WRITE, FAULT_MOVE_ASIDE, FAULT_DATA_READ,
                                  FAULT_TORN_TAIL, FAULT_NO_DATA_FILE, FAULT_TORN_MOVED})
            m_pFaults->Cleared(eKind, nAddress);
    }
    return true;
}

void CBatchStore::LoadRecordLine(int nSlot, const char* pszLine)
{
    // Only a line that can be held as a record counts: longer ones were never written by the store,
    // and taking their values into the totals alone would make the totals disagree with the records.
    const int nLen = static_cast<int>(::strnlen(pszLine, kWorkBytes));
    int nKeep = nLen;
    if (nKeep > 0 && pszLine[nKeep - 1] == ',')
        --nKeep;
    if (nKeep + 2 > kWorkBytes)
        return;

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
}

bool CBatchStore::WriteRecordLine(OsFile hFile, const char* pszPending)
{
    std::string strLine;
    if (hFile == kInvalidFile || !AddRecordLine(strLine, pszPending))
        return false;
    const int nLen = static_cast<int>(strLine.size());
    return OsFileAppend(hFile, strLine.data(), nLen) == nLen;
}

bool CBatchStore::AppendDataLine(int nSlot, const char* pszPending)
{
    const OsFile hFile = m_ahDataFile[nSlot];
    const int nAddress = m_anAddress[nSlot];
    char szPath[kPathBytes];
    MakeDataPath(nAddress, szPath, kPathBytes);
    if (hFile == kInvalidFile) {
        if (m_pFaults != nullptr)
            m_pFaults->Report(FAULT_NO_DATA_FILE, nAddress, szPath, m_aszGivenUp[nSlot]);
        return false;
    }
    std::string strLine;
    if (!AddRecordLine(strLine, pszPending))
        return Fault(FAULT_RECORD_WRITE, nAddress, szPath);
    bool bNeedLineEnd = m_abNeedLineEnd[nSlot];
    const EAppendResult eResult =
        AppendRecordLines(hFile, strLine.data(), static_cast<int>(strLine.size()), &bNeedLineEnd);
    m_abNeedLineEnd[nSlot] = bNeedLineEnd;
    if (eResult == APPEND_OK) {
        if (m_pFaults != nullptr)
            m_pFaults->Cleared(FAULT_RECORD_WRITE, nAddress);
        return true;
    }
    return Fault(FAULT_RECORD_WRITE, nAddress, szPath);
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
