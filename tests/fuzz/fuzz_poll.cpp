// Fuzz target: the polling state machine fed arbitrary sequences of HL replies (well-formed ones with
// any state and weight bytes, silence, raw bytes, replies with bytes after them) through a real
// pseudo-terminal, with the store's bounds checked after every poll and its data file at the end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <unistd.h>

#include "batch_store.h"
#include "com_port.h"
#include "fixed_clock.h"
#include "fuzz_check.h"
#include "pty_peer.h"
#include "temp_dir.h"
#include "port_params.h"

namespace {

constexpr int kAddress = 7;

// Every reply is in the driver before the poll asks, so no wait is needed: a read ends as soon as the
// block is in, a silent indicator costs 1 ms, and draining and the silence pause cost nothing.
CLineTiming ZeroTiming()
{
    CLineTiming t;
    t.nReplyPauseMs = 0;
    t.nReadGapMs = 0;
    t.nReadPerByteMs = 0;
    t.nReadConstMs = 1;
    t.nDrainReadMs = 0;
    t.nDrainLimitMs = 5;
    t.nSilenceWaitMs = 0;
    return t;
}

struct CRig {
    tkdtest::CTempDir dir;
    tkdtest::CPtyPeer peer;
    CComPort port{ZeroTiming()};
    CBatchStore store;
    std::string strDir = dir.Path() + "/";

    CRig()
    {
        tkdtest::CScopedChdir chdir(dir.Path());
        FUZZ_CHECK(peer.IsReady() && peer.LinkAs(dir.Path(), 1));
        FUZZ_CHECK(port.Open(tkdtest::SimPortParams(1)));
    }

    // What the port wrote, as far as it has crossed the pseudo-terminal (it crosses on a kernel
    // worker, so it may lag; the leftovers of one input are taken at the start of the next).
    std::string strFrames;
    void TakeFrames()
    {
        char ach[256];
        for (ssize_t n; (n = ::read(peer.MasterFd(), ach, sizeof ach)) > 0;)
            strFrames.append(ach, static_cast<size_t>(n));
    }
};

// Recipe 1: doses 1..3; recipe 2: doses 0..4; recipe 3: doses 1, 2 and 5; recipe 0 has dose 0 only
// (so that a non-digit state byte, which reads as 0, is followed); the rest none.
int32_t FinalValue(int nEntry)
{
    static constexpr int32_t anFinals[4][10] = {{500, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                {0, 1200, 800, 1500, 0, 0, 0, 0, 0, 0},
                                                {300, 1000, 900, 700, 400, 0, 0, 0, 0, 0},
                                                {0, 2500, 600, 0, 0, 350, 0, 0, 0, 0}};
    return nEntry < 40 ? anFinals[nEntry / 10][nEntry % 10] : 0;
}

char StateChar(FuzzedDataProvider& fdp, bool bRaw)
{
    if (bRaw)
        return static_cast<char>(fdp.ConsumeIntegral<uint8_t>());
    return static_cast<char>('0' + fdp.ConsumeIntegralInRange<int>(0, 9));
}

std::string HlReply(FuzzedDataProvider& fdp, bool bRawState)
{
    std::string str(33, '0');
    str[0] = static_cast<char>(kAddress);
    str.replace(1, 6, "HL\r\nCD");
    str[8] = StateChar(fdp, bRawState);
    str[9] = StateChar(fdp, bRawState);
    static constexpr char kWeightChars[] = "0123456789 -+";
    for (int i = 22; i < 27; ++i)
        str[static_cast<size_t>(i)] = kWeightChars[fdp.ConsumeIntegralInRange<size_t>(0, sizeof kWeightChars - 2)];
    str.replace(31, 2, "\r\n");
    return str;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "dd.mm.yyyy,hh:mm:ss,RD=" (the fixed clock's) and values, or values alone; values "-"? digits, by ",".
bool IsRecordLine(const std::string& strLine)
{
    size_t nPos = 0;
    if (strLine.compare(0, 20, "05.12.2026,14:03:27,") == 0) {
        if (strLine.size() < 23 || !IsDigit(strLine[20]) || !IsDigit(strLine[21]) || strLine[22] != '=')
            return false;
        nPos = 23;
    }
    for (;;) {
        if (nPos < strLine.size() && strLine[nPos] == '-')
            ++nPos;
        const size_t nDigits = nPos;
        while (nPos < strLine.size() && IsDigit(strLine[nPos]))
            ++nPos;
        if (nPos == nDigits)
            return false;
        if (nPos == strLine.size())
            return true;
        if (strLine[nPos++] != ',')
            return false;
    }
}

void CheckBounds(const CBatchStore& store)
{
    FUZZ_CHECK(std::strlen(store.GetPending(0)) <= static_cast<size_t>(CBatchStore::kMaxPendingChars));
    const int nLen = store.GetRecordTextLength(0);
    const char* pszText = store.GetRecordText(0);
    FUZZ_CHECK(nLen >= 0 && nLen < CBatchStore::kRecordTextBytes);
    FUZZ_CHECK(static_cast<int>(std::strlen(pszText)) == nLen);
    FUZZ_CHECK(nLen == 0 || pszText[nLen - 1] == '|');
    int nBars = 0;
    for (int i = 0; i < nLen; ++i)
        nBars += pszText[i] == '|';
    FUZZ_CHECK(nBars == store.GetRecordCount(0));  // one "|" per record: no record holds one
    FUZZ_CHECK(store.GetRecordCount(0) == store.GetRunCount(0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CRig s_rig;
    CBatchStore& store = s_rig.store;
    const std::string strDataPath = s_rig.dir.File("Data_i07");
    std::remove(strDataPath.c_str());
    FUZZ_CHECK(store.Open(s_rig.strDir.c_str()));
    store.SetClock(tkdtest::FixedClock);
    FUZZ_CHECK(store.RegisterIndicator(kAddress) == 0);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        store.SetTuneValue(0, e, 0, FinalValue(e));
    FUZZ_CHECK(store.OpenIndicatorFiles(kAddress));
    s_rig.TakeFrames();
    s_rig.strFrames.clear();

    FuzzedDataProvider fdp(pData, nSize);
    int nPolls = 0;
    while (fdp.remaining_bytes() > 0 && nPolls < 200) {
        ++nPolls;
        const int nOp = fdp.ConsumeIntegralInRange<int>(0, 9);
        std::string strBytes;
        if (nOp <= 6)
            strBytes = HlReply(fdp, nOp == 6);
        else if (nOp == 8)
            strBytes = fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<size_t>(0, 70));
        else if (nOp == 9)
            strBytes = HlReply(fdp, false) + fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<size_t>(1, 40));
        // nOp 7: the indicator stays silent.
        FUZZ_CHECK(strBytes.empty() || s_rig.peer.WriteMaster(strBytes));
        int nRow = -2;
        bool bCompleted = false;
        store.Poll(s_rig.port, &nRow, &bCompleted);
        s_rig.TakeFrames();
        FUZZ_CHECK(nRow >= -1 && nRow <= 9);
        CheckBounds(store);
    }

    // The frames that reached the indicator are whole HL frames to its address. Not every one arrives:
    // the purge after a refused reply also drops what the port sent and the pty had not yet passed on.
    s_rig.TakeFrames();
    const std::string strFrame("\x07HL\r\n", 5);
    FUZZ_CHECK(s_rig.strFrames.size() % strFrame.size() == 0);
    FUZZ_CHECK(s_rig.strFrames.size() <= strFrame.size() * static_cast<size_t>(nPolls + 1));
    for (size_t i = 0; i < s_rig.strFrames.size(); i += strFrame.size())
        FUZZ_CHECK(s_rig.strFrames.compare(i, strFrame.size(), strFrame) == 0);

    // The data file holds exactly the records of the text, one CR LF line each, in the same order,
    // each a record line: the header's state code two digits, every value an integer.
    const std::string strFile = tkdtest::ReadBytes(strDataPath);
    std::string strAsText;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFile.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2) {
        const std::string strLine = strFile.substr(nStart, nEnd - nStart);
        if (!IsRecordLine(strLine))
            std::fprintf(stderr, "not a record line: \"%s\"\n", strLine.c_str());
        FUZZ_CHECK(IsRecordLine(strLine));
        strAsText += strLine + "|";
    }
    FUZZ_CHECK(nStart == strFile.size());
    FUZZ_CHECK(strAsText == store.GetRecordText(0));
    return 0;
}
