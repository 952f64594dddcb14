// CBatchStore's model: construction and release of its buffers, Open/Close, per-slot state, record text, pending records, totals.
#include "batch_store.h"

#include <cstring>
#include <new>

#include "line_events.h"
#include "local_clock.h"

CBatchStore::CBatchStore()
{
    for (int s = 0; s < kMaxSlots; ++s) {
        // A failed allocation leaves the buffer absent; Open and Close skip it, the rest refuses to work.
        m_apszRecords[s] = new (std::nothrow) char[kRecordTextBytes];
        m_apszPending[s] = new (std::nothrow) char[kPendingBytes];
    }
}

CBatchStore::~CBatchStore()
{
    for (OsFile& hFile : m_ahDataFile) {
        if (hFile != kInvalidFile)
            OsFileClose(hFile);
        hFile = kInvalidFile;
    }
    ReleaseBuffers();
}

void CBatchStore::Release()
{
    ReleaseBuffers();
}

void CBatchStore::ReleaseBuffers()
{
    for (int s = 0; s < kMaxSlots; ++s) {
        delete[] m_apszRecords[s];
        m_apszRecords[s] = nullptr;
        delete[] m_apszPending[s];
        m_apszPending[s] = nullptr;
        m_anRecordLength[s] = 0;
        m_anPendingLength[s] = 0;
    }
}

bool CBatchStore::HasBuffers() const
{
    for (int s = 0; s < kMaxSlots; ++s) {
        if (m_apszRecords[s] == nullptr || m_apszPending[s] == nullptr)
            return false;
    }
    return true;
}

bool CBatchStore::Open(const char* pszDataDir)
{
    if (pszDataDir == nullptr)
        pszDataDir = "";
    const size_t nDirLen = ::strnlen(pszDataDir, kDirBytes);
    if (nDirLen >= static_cast<size_t>(kDirBytes))
        return false;  // no path could be made from it; nothing is changed

    // Closed under the old directory, so that a failure names the file that failed.
    for (int s = 0; s < kMaxSlots; ++s) {
        if (m_ahDataFile[s] == kInvalidFile)
            continue;
        // A POSIX descriptor is released even when close reports an error; keeping its number could
        // later close a file that reuses it. So the handle is forgotten either way, and the model is
        // reset all the same: records and totals kept from before would be counted again by the reload.
        if (!OsFileClose(m_ahDataFile[s])) {
            char szPath[kDirBytes + 16];
            MakeDataPath(m_anAddress[s], szPath, static_cast<int>(sizeof szPath));
            Fault(FAULT_DATA_CLOSE, m_anAddress[s], szPath);
        }
        m_ahDataFile[s] = kInvalidFile;
    }
    m_nIndicators = 0;
    for (int& nAddress : m_anAddress)
        nAddress = -1;
    std::memset(m_aTune, 0, sizeof(m_aTune));
    std::memmove(m_szDirectory, pszDataDir, nDirLen + 1);  // the caller may hand back our own text

    for (int s = 0; s < kMaxSlots; ++s) {
        if (m_apszRecords[s] != nullptr)
            m_apszRecords[s][0] = '\0';
        m_anRecordLength[s] = 0;
        m_abRecordsFull[s] = false;
        m_anRecordCount[s] = 0;
        m_anRunCount[s] = 0;
        m_anRunStart[s] = 0;
        m_abNeedLineEnd[s] = false;
        m_aszGivenUp[s][0] = '\0';
        m_aeGivenUp[s] = FAULT_KINDS;
        ResetPending(s);
    }
    m_nCurIndicator = 0;
    m_nCurRecipe = 0;
    m_nCurDose = 0;
    ClearTotals();
    return true;
}

void CBatchStore::Close()
{
    m_nIndicators = 0;
    for (int& nAddress : m_anAddress)
        nAddress = -1;
    std::memset(m_aTune, 0, sizeof(m_aTune));
    m_szDirectory[0] = '\0';
    for (int s = 0; s < kMaxSlots; ++s) {
        if (m_ahDataFile[s] != kInvalidFile)
            OsFileClose(m_ahDataFile[s]);
        m_ahDataFile[s] = kInvalidFile;
        m_abNeedLineEnd[s] = false;
        m_aszGivenUp[s][0] = '\0';
        m_aeGivenUp[s] = FAULT_KINDS;
        if (m_apszRecords[s] != nullptr)
            m_apszRecords[s][0] = '\0';
        m_anRecordLength[s] = 0;
        m_abRecordsFull[s] = false;
        m_aszLastState[s][0] = '\0';
        if (m_apszPending[s] != nullptr)
            std::memset(m_apszPending[s], 0, 4);
        m_anPendingLength[s] = 0;
        m_abPendingFull[s] = false;
    }
}

void CBatchStore::ResetPending(int nSlot)
{
    m_aszLastState[nSlot][0] = '\0';
    for (int32_t& nWeight : m_aDoseWeight[nSlot])
        nWeight = 0;
    if (m_apszPending[nSlot] != nullptr)
        std::memset(m_apszPending[nSlot], 0, 4);
    m_anPendingLength[nSlot] = 0;
    m_abPendingFull[nSlot] = false;
}

int CBatchStore::GetIndicatorAddress(int nSlot) const
{
    if (nSlot < 0 || nSlot >= kMaxSlots)
        return -1;
    return m_anAddress[nSlot];
}

int CBatchStore::IndexOfAddress(int nAddress) const
{
    for (int s = 0; s < kMaxSlots; ++s) {
        if (m_anAddress[s] == nAddress)
            return s;
    }
    return kMaxSlots;
}

int CBatchStore::RegisterIndicator(int nAddress)
{
    if (m_nIndicators < 0 || m_nIndicators >= kMaxSlots)
        return -1;
    const int nSlot = m_nIndicators++;
    m_anAddress[nSlot] = nAddress;
    return nSlot;
}

bool CBatchStore::AppendRecord(int nSlot, const char* pszText)
{
    // The record must fit the 128-byte working buffer once its trailing comma became "|": measure
    // no further than that could ever allow.
    const int nLen = static_cast<int>(::strnlen(pszText, kWorkBytes));
    int nKeep = nLen;
    if (nKeep > 0 && pszText[nKeep - 1] == ',')
        --nKeep;
    if (nKeep + 2 > kWorkBytes)
        return false;
    return AppendRecordRaw(nSlot, pszText, nKeep);
}

bool CBatchStore::AppendRecordRaw(int nSlot, const char* pszText, int nLen)
{
    char* pszRecords = m_apszRecords[nSlot];
    if (pszRecords == nullptr)
        return false;
    const int nOld = m_anRecordLength[nSlot];
    // A full record text stops holding records; the data file and the totals still get every one.
    if (m_abRecordsFull[nSlot] || nOld + nLen + 2 > kRecordTextBytes) {
        m_abRecordsFull[nSlot] = true;
        return false;
    }
    std::memcpy(pszRecords + nOld, pszText, static_cast<size_t>(nLen));
    pszRecords[nOld + nLen] = '|';
    pszRecords[nOld + nLen + 1] = '\0';
    m_anRecordLength[nSlot] = nOld + nLen + 1;
    ++m_anRecordCount[nSlot];
    return true;
}

bool CBatchStore::AppendPending(int nSlot, const char* pszText)
{
    char* pszPending = m_apszPending[nSlot];
    if (pszPending == nullptr || m_abPendingFull[nSlot])
        return false;
    const int nOld = m_anPendingLength[nSlot];
    const int nLen = static_cast<int>(::strnlen(pszText, kPendingBytes));
    if (nOld + nLen > kMaxPendingChars) {
        m_abPendingFull[nSlot] = true;
        return false;
    }
    std::memcpy(pszPending + nOld, pszText, static_cast<size_t>(nLen));
    pszPending[nOld + nLen] = '\0';
    m_anPendingLength[nSlot] = nOld + nLen;
    return true;
}

void CBatchStore::AddTotal(int nSlot, int nEntry, int32_t nValue)
{
    // Saturate rather than overflow: a total pinned at the limit is visibly wrong, a wrapped one is not.
    const int64_t nSum = static_cast<int64_t>(m_aTotals[nSlot][nEntry]) + nValue;
    if (nSum > INT32_MAX)
        m_aTotals[nSlot][nEntry] = INT32_MAX;
    else if (nSum < INT32_MIN)
        m_aTotals[nSlot][nEntry] = INT32_MIN;
    else
        m_aTotals[nSlot][nEntry] = static_cast<int32_t>(nSum);
}

void CBatchStore::ClearTotals()
{
    std::memset(m_aTotals, 0, sizeof(m_aTotals));
}

void CBatchStore::SetClock(LocalClockFn fnClock)
{
    m_fnClock = std::move(fnClock);
}

void CBatchStore::LocalTime(std::tm* ptm) const
{
    *ptm = std::tm{};
    if (m_fnClock)
        m_fnClock(ptm);
    else
        OsLocalTimeNow(ptm);
}

int CBatchStore::ApplyBatch(int nSlot, const char* pszPending, int nRecipe, const int32_t* anDoseWeight)
{
    AppendRecord(nSlot, pszPending);
    int nRow = -1;
    for (int d = 0; d < kDoses; ++d) {
        if (anDoseWeight[d] != 0) {
            AddTotal(nSlot, nRecipe * 10 + d, anDoseWeight[d]);
            nRow = nRecipe;
        }
    }
    ++m_anRunCount[nSlot];
    return nRow;
}

void CBatchStore::ExportSlot(int nSlot, CSlotImage* pImage) const
{
    pImage->nAddress = m_anAddress[nSlot];
    pImage->anTune.assign(&m_aTune[nSlot][0][0], &m_aTune[nSlot][0][0] + kEntries * kTuneValues);
    pImage->strRecords.assign(GetRecordText(nSlot), static_cast<size_t>(m_anRecordLength[nSlot]));
    pImage->nRecordCount = m_anRecordCount[nSlot];
    pImage->bRecordsFull = m_abRecordsFull[nSlot];
    pImage->anTotals.assign(m_aTotals[nSlot], m_aTotals[nSlot] + kEntries);
}

void CBatchStore::ImportSlot(const CSlotImage& image)
{
    const int nSlot = RegisterIndicator(image.nAddress);
    if (nSlot < 0)
        return;
    if (image.anTune.size() == static_cast<size_t>(kEntries * kTuneValues))
        std::memcpy(m_aTune[nSlot], image.anTune.data(), sizeof(m_aTune[nSlot]));
    if (image.anTotals.size() == static_cast<size_t>(kEntries))
        std::memcpy(m_aTotals[nSlot], image.anTotals.data(), sizeof(m_aTotals[nSlot]));
    char* pszRecords = m_apszRecords[nSlot];
    // Both stores have texts of the same size; a text that would not fit is not taken.
    if (pszRecords != nullptr && image.strRecords.size() < static_cast<size_t>(kRecordTextBytes)) {
        std::memcpy(pszRecords, image.strRecords.data(), image.strRecords.size());
        pszRecords[image.strRecords.size()] = '\0';
        m_anRecordLength[nSlot] = static_cast<int>(image.strRecords.size());
        m_anRecordCount[nSlot] = image.nRecordCount;
        m_abRecordsFull[nSlot] = image.bRecordsFull;
    }
}

OsFile CBatchStore::TakeDataFile(int nSlot, bool* pbNeedLineEnd)
{
    const OsFile hFile = m_ahDataFile[nSlot];
    *pbNeedLineEnd = m_abNeedLineEnd[nSlot];
    m_ahDataFile[nSlot] = kInvalidFile;
    m_abNeedLineEnd[nSlot] = false;
    return hFile;
}
