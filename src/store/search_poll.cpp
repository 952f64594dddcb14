// CBatchStore::Search and CBatchStore::Poll: finding the indicators, downloading their tuning, following their batches.
#include "batch_store.h"

#include <cstring>

#include "record_line.h"
#include "reply_shape.h"
#include "sleep.h"

namespace {

constexpr int kScanAddresses = 100;  // bus addresses 0..99
constexpr int kDownloadRetries = 3;

// A state-code byte goes into the record header as it is, where a record line holds the recipe and
// dose digits. Any other byte makes a line that is no record line: a terminator would cut the record, a
// "|" would split it in the record text, CR LF would split its line in the data file, and "=" or a
// letter would move its values to other entries when it is loaded. Such an answer cannot be recorded
// and is passed over like one naming no configured recipe.
bool IsRecordable(char c)
{
    return c >= '0' && c <= '9';
}

// One conversation whose reply must come from the indicator that was asked, or an indicator's state
// or tuning would land in another's slot: a reply of another is drained with whatever follows it and
// counts as no answer.
bool ExchangeWith(CComPort& port, int nKind, int nAddress, int nParam, uint8_t* pReply, int* pnLen)
{
    if (!port.Exchange(nKind, nAddress, nParam, pReply, pnLen))
        return false;
    if (IsReplyFrom(pReply, *pnLen, nKind == REQ_HT, nAddress, nParam))
        return true;
    port.Drain();
    pReply[0] = 0;
    *pnLen = 0;
    return false;
}

void SetBar(IProgressBar* pBar, int nPos)
{
    if (pBar != nullptr)
        pBar->SetPos(nPos);
}

}  // namespace

bool CBatchStore::Search(CComPort port, IProgressBar* pScanBar, IProgressBar* pDownloadBar)
{
    bool bResult = false;
    if (port.IsOpen()) {
        const int nWaitMs = port.Timing().nSilenceWaitMs;
        int nFound = 0;
        uint8_t abyReply[CComPort::kMaxBlock] = {};
        int nLen = 0;
        // Bytes left on the line by an earlier conversation (a late reply) would spoil the first request.
        port.Drain();
        for (int nAddress = 0; nAddress < kScanAddresses; ++nAddress) {
            SetBar(pScanBar, nAddress + 1);
            if (nFound == kMaxSlots || m_bStopRequested)
                break;
            if (!ExchangeWith(port, REQ_HL, nAddress, 0, abyReply, &nLen))
                continue;
            // The state code the indicator showed, handed back to it after the download.
            const char achState[2] = {static_cast<char>(abyReply[kReplyPosRecipe]), static_cast<char>(abyReply[kReplyPosDose])};
            bool bAbandoned = false;
            for (int nEntry = 0; nEntry < kEntries; ++nEntry) {
                bool bOk = ExchangeWith(port, REQ_HT, nAddress, nEntry, abyReply, &nLen);
                for (int nRetry = 0; !bOk && nRetry < kDownloadRetries; ++nRetry) {
                    if (m_bStopRequested)
                        break;
                    OsSleepMs(nWaitMs);
                    bOk = ExchangeWith(port, REQ_HT, nAddress, nEntry, abyReply, &nLen);
                }
                if (!bOk) {
                    bAbandoned = true;
                    break;
                }
                SetBar(pDownloadBar, nEntry + 1);
                int32_t anValues[kTuneValues];
                // Every accepted reply has at least 29 bytes, so positions 6..26 are its own bytes.
                ParseTuneRow(abyReply + kReplyPosTuneDigits, anValues);
                for (int k = 0; k < kTuneValues; ++k)
                    SetTuneValue(nFound, nEntry, k, anValues[k]);
                // A stop asked for during the download: the safe point is the state code below.
                if (m_bStopRequested) {
                    bAbandoned = true;
                    break;
                }
            }
            port.Exchange(REQ_HT, nAddress, ReadDecimal(achState, 2), abyReply, &nLen);
            if (bAbandoned)
                continue;  // its tuning in slot nFound is overwritten by the next indicator found
            // The search's own count decides the slot, as the tuning went to slot nFound.
            m_nIndicators = nFound;
            RegisterIndicator(nAddress);
            ++nFound;
            OpenIndicatorFiles(nAddress);
            bResult = true;
        }
    }
    SetBar(pScanBar, 0);
    SetBar(pDownloadBar, 0);
    return bResult;
}

void CBatchStore::Poll(CComPort port, int* pnRow, bool* pbCompleted, const std::function<bool()>& fnBreak)
{
    *pnRow = -1;
    for (int s = 0; s < m_nIndicators && s < kMaxSlots && !port.IsDead(); ++s) {
        PollSlot(port, s, pnRow, pbCompleted);
        if (m_bStopRequested || (fnBreak && fnBreak()))
            break;
    }
    // A vanished line is reported once, when it is first seen, and asked nothing more until a search
    // reopens it: each request would otherwise cost the tick its waits.
    if (port.IsDead() && !m_bLineDeadReported) {
        m_bLineDeadReported = true;
        char szError[256];
        port.LastErrorText(szError, sizeof szError);
        if (m_pFaults != nullptr)
            m_pFaults->Report(FAULT_LINE_DEAD, -1, port.Name(), szError);
    } else if (!port.IsDead()) {
        m_bLineDeadReported = false;
    }
}

void CBatchStore::PollSlot(CComPort& port, int nSlot, int* pnRow, bool* pbCompleted)
{
    uint8_t abyReply[CComPort::kMaxBlock] = {};
    int nLen = 0;
    if (!ExchangeWith(port, REQ_HL, m_anAddress[nSlot], 0, abyReply, &nLen)) {
        if (!port.IsDead())
            OsSleepMs(port.Timing().nSilenceWaitMs);
        return;
    }
    const char achState[3] = {static_cast<char>(abyReply[kReplyPosRecipe]), static_cast<char>(abyReply[kReplyPosDose]), '\0'};
    // Recipe and dose are each one character read as a number: 0..9, and 0 for anything but a digit.
    const int nRecipe = ReadDecimal(achState, 1);
    const int nDose = ReadDecimal(achState + 1, 1);
    const int32_t nWeight = ReadDecimal(reinterpret_cast<const char*>(abyReply + kReplyPosWeight), kReplyWeightChars);

    if (!IsRecordable(achState[0]) || !IsRecordable(achState[1]))
        return;
    if (!HasRecipe(nSlot, nRecipe))
        return;  // a recipe without configured doses is not followed
    char* pszLast = m_aszLastState[nSlot];
    if (pszLast[0] == '\0') {
        char szHeader[kHeaderChars + 1];
        FormatRecordHeader(achState, szHeader);
        szHeader[kHeaderChars] = '\0';
        AppendPending(nSlot, szHeader);
        std::memcpy(pszLast, achState, 3);
        return;
    }
    if (pszLast[0] == achState[0] && pszLast[1] == achState[1])
        return;
    if (pszLast[0] != achState[0]) {
        // A new recipe in the middle of a batch: what was gathered is dropped, and the batch goes on
        // without a header.
        ResetPending(nSlot);
        std::memcpy(pszLast, achState, 3);
        return;
    }
    const int nLeft = ReadDecimal(pszLast + 1, 1);
    m_aDoseWeight[nSlot][nLeft] = nWeight;
    std::memcpy(pszLast, achState, 3);

    char szValue[16];
    const int nChars = FormatDecimal(nWeight, szValue);
    szValue[nChars] = ',';
    szValue[nChars + 1] = '\0';
    AppendPending(nSlot, szValue);
    if (nDose != 0) {
        for (int d = nLeft + 1; d < nDose; ++d)
            AppendPending(nSlot, "0,");  // a dose the indicator skipped
        return;
    }

    // Dose digit back to 0: the batch is complete.
    const char* pszPending = GetPending(nSlot);
    const int nRow = ApplyBatch(nSlot, pszPending, nRecipe, m_aDoseWeight[nSlot]);
    if (m_fnBatchSink)
        m_fnBatchSink(nSlot, pszPending, nRecipe, m_aDoseWeight[nSlot]);
    else
        AppendDataLine(nSlot, pszPending);
    if (nRow != -1)
        *pnRow = nRow;
    ResetPending(nSlot);
    *pbCompleted = true;
}
