// Fuzz target: the polling state machine fed sequences of HL replies (well-formed ones with any state and
// weight bytes, silence, raw bytes, replies with bytes after them) through a real pseudo-terminal, with
// the store's bounds checked after every poll and its data file at the end.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include <unistd.h>

#include "batch_store.h"
#include "com_port.h"
#include "fixed_clock.h"
#include "fuzz_check.h"
#include "port_params.h"
#include "pty_peer.h"
#include "temp_dir.h"

namespace {

// Recipe 1: doses 1..3; recipe 2: doses 0..4; recipe 3: doses 1, 2 and 5; recipe 0 has dose 0 only (so
// that a state byte that is no digit, which reads as 0, is followed); the rest none.
int32_t FinalValue(int nEntry)
{
    static constexpr int32_t anFinals[4][10] = {{500}, {0, 1200, 800, 1500}, {300, 1000, 900, 700, 400},
                                                {0, 2500, 600, 0, 0, 350}};
    return nEntry < 40 ? anFinals[nEntry / 10][nEntry % 10] : 0;
}

std::string HlReply(FuzzedDataProvider& fdp, bool bRawState)
{
    std::string str = "\x07HL\r\nCD" + std::string(24, '0') + "\r\n";
    for (int i : {8, 9})
        str[i] = static_cast<char>(bRawState ? fdp.ConsumeIntegral<uint8_t>() : '0' + fdp.ConsumeIntegralInRange<int>(0, 9));
    static constexpr char kWeightChars[] = "0123456789 -+";
    for (int i = 22; i < 27; ++i)
        str[static_cast<size_t>(i)] = kWeightChars[fdp.ConsumeIntegralInRange<size_t>(0, sizeof kWeightChars - 2)];
    return str;
}

void CheckBounds(const CBatchStore& store)
{
    FUZZ_CHECK(std::strlen(store.GetPending(0)) <= static_cast<size_t>(CBatchStore::kMaxPendingChars));
    const int nLen = store.GetRecordTextLength(0);
    const char* pszText = store.GetRecordText(0);
    FUZZ_CHECK(nLen >= 0 && nLen < CBatchStore::kRecordTextBytes && static_cast<int>(std::strlen(pszText)) == nLen);
    FUZZ_CHECK(nLen == 0 || pszText[nLen - 1] == '|');
    // One "|" per record (no record holds one), one record per completed batch.
    FUZZ_CHECK(std::count(pszText, pszText + nLen, '|') == store.GetRecordCount(0));
    FUZZ_CHECK(store.GetRecordCount(0) == store.GetRunCount(0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static tkdtest::CTempDir s_dir;
    static tkdtest::CPtyPeer s_peer;
    // Every reply is in the driver before the poll asks: a read ends as soon as the block is in, a silent
    // indicator costs 1 ms, and draining and the silence pause cost nothing.
    static CComPort s_port{CLineTiming{.nReplyPauseMs = 0, .nReadGapMs = 0, .nReadPerByteMs = 0, .nReadConstMs = 1,
                                       .nDrainReadMs = 0, .nDrainLimitMs = 5, .nSilenceWaitMs = 0}};
    static CBatchStore s_store;
    static std::string s_strFrames;  // what the port wrote, as far as it has crossed the pseudo-terminal
    auto takeFrames = [] {
        char ach[256];
        for (ssize_t n; (n = ::read(s_peer.MasterFd(), ach, sizeof ach)) > 0;)
            s_strFrames.append(ach, static_cast<size_t>(n));
    };
    if (!s_port.IsOpen()) {
        tkdtest::CScopedChdir chdir(s_dir.Path());
        FUZZ_CHECK(s_peer.LinkAs(s_dir.Path(), 1) && s_port.Open(tkdtest::SimPortParams(1)));
    }
    const std::string strDataPath = s_dir.File("Data_i07");
    std::remove(strDataPath.c_str());
    FUZZ_CHECK(s_store.Open((s_dir.Path() + "/").c_str()));
    s_store.SetClock(tkdtest::FixedClock);
    FUZZ_CHECK(s_store.RegisterIndicator(7) == 0);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        s_store.SetTuneValue(0, e, 0, FinalValue(e));
    FUZZ_CHECK(s_store.OpenIndicatorFiles(7));
    takeFrames();  // the frames cross on a kernel worker: the last input's may come late
    s_strFrames.clear();

    FuzzedDataProvider fdp(pData, nSize);
    int nPolls = 0;
    for (; fdp.remaining_bytes() > 0 && nPolls < 200; ++nPolls) {
        const int nOp = fdp.ConsumeIntegralInRange<int>(0, 9);
        std::string strBytes;  // nOp 7: the indicator stays silent
        if (nOp <= 6)
            strBytes = HlReply(fdp, nOp == 6);
        else if (nOp == 8)
            strBytes = fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<size_t>(0, 70));
        else if (nOp == 9)
            strBytes = HlReply(fdp, false) + fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<size_t>(1, 40));
        FUZZ_CHECK(strBytes.empty() || s_peer.WriteMaster(strBytes));
        int nRow = -2;
        bool bCompleted = false;
        s_store.Poll(s_port, &nRow, &bCompleted);
        takeFrames();
        FUZZ_CHECK(nRow >= -1 && nRow <= 9);
        CheckBounds(s_store);
    }

    // The frames that reached the indicator are whole HL frames to its address. Not every one arrives: the
    // purge after a refused reply also drops what the port sent and the pty had not yet passed on.
    takeFrames();
    const std::string strFrame("\x07HL\r\n", 5);
    FUZZ_CHECK(s_strFrames.size() % 5 == 0 && s_strFrames.size() <= 5 * static_cast<size_t>(nPolls + 1));
    for (size_t i = 0; i < s_strFrames.size(); i += 5)
        FUZZ_CHECK(s_strFrames.compare(i, 5, strFrame) == 0);

    // The data file holds exactly the records of the text, one CR LF line each, in the same order, each a
    // record line: the fixed clock's header with a two-digit state code, or none; integer values.
    static const std::regex kRecordLine("(05\\.12\\.2026,14:03:27,[0-9]{2}=)?-?[0-9]+(,-?[0-9]+)*");
    const std::string strFile = tkdtest::ReadBytes(strDataPath);
    std::string strAsText;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFile.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2) {
        const std::string strLine = strFile.substr(nStart, nEnd - nStart);
        FUZZ_CHECK(std::regex_match(strLine, kRecordLine));
        strAsText += strLine + "|";
    }
    FUZZ_CHECK(nStart == strFile.size() && strAsText == s_store.GetRecordText(0));
    return 0;
}
