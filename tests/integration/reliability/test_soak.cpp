// Soak: polls with batches completing on three indicators, record texts filled to capacity on the way;
// memory stays flat, every completed batch is one line of its data file, the totals are the sums of
// the files. TKD_SOAK_POLLS sets the number of conversations (CI: 900; the full soak: 100,000).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "reliability_rig.h"

namespace reliability {
namespace {

constexpr int kIndicators = 3;
// A record line of the prefilled data files: 41 characters, 42 in the record text with its "|".
const std::string kOldRecord = "05.12.2026,14:03:27,10=1190,790,1510,1007";

long RssKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string strLine; std::getline(status, strLine);)
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::atol(strLine.c_str() + 6);
    return -1;
}

// Faster than the short profile, for a soak of 100,000 conversations: the simulator answers within
// a millisecond, so the reply pause still exceeds its answer time.
CLineTiming SoakTiming()
{
    CLineTiming t = CLineTiming::Short();
    t.nReplyPauseMs = 8;
    t.nReadGapMs = 3;
    return t;
}

class Soak : public CReliabilityRig {
protected:
    Soak() : CReliabilityRig(SoakTiming()) {}
};

TEST_F(Soak, PollsWithBatchesOnThreeIndicatorsKeepFilesTotalsAndMemory)
{
    const char* pszPolls = std::getenv("TKD_SOAK_POLLS");
    const int nPolls = pszPolls != nullptr && *pszPolls != '\0' ? std::atoi(pszPolls) : 900;
    const int nTicks = (nPolls + kIndicators - 1) / kIndicators;
    // A batch takes five replies (recipes 1 and 3 of the demo tuning have three doses): the record
    // texts are prefilled so that they fill up about half-way through the soak.
    const int nExpectedBatches = nTicks / 5;
    const int nRoomBytes = nExpectedBatches / 2 * 42;
    const int nPrefill = (CBatchStore::kRecordTextBytes - 1 - nRoomBytes) / 42;

    for (int a = 0; a < kIndicators; ++a) {
        CSimIndicator& ind = m_line.AddIndicator(a);
        ind.ApplyDemoTuning();
        CSimAutoPlan plan;
        plan.anRecipes = {1, 3};
        plan.nDosePolls = 1;
        plan.nIdlePolls = 1;
        plan.nSeed = 5u + static_cast<unsigned>(a);
        ASSERT_TRUE(ind.StartAuto(plan));
        Attach(ind);  // writes the tuning file, so the prefilled data file below is kept
    }
    m_store.Close();
    std::string strPrefill;
    for (int i = 0; i < nPrefill; ++i)
        strPrefill += kOldRecord + "\r\n";
    for (int a = 0; a < kIndicators; ++a)
        ASSERT_TRUE(tkdtest::WriteBytes(DataPath(a), strPrefill));
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    for (int a = 0; a < kIndicators; ++a) {
        Attach(*m_line.Find(a));
        ASSERT_EQ(m_store.GetRecordCount(a), nPrefill);
    }

    const auto t0 = std::chrono::steady_clock::now();
    constexpr int kWarmUpTicks = 30;
    int nCompleted = Poll(kWarmUpTicks);  // warm-up: every code path has run once
    const long nRssBefore = RssKb();
    long nRssFull = -1;  // once all three record texts are full
    size_t nSimBatches = 0;
    for (int nTick = 0; nTick < nTicks; ++nTick) {
        nCompleted += Poll(1);
        if (nTick % 500 == 499 || nTick == nTicks - 1) {
            // The simulator's own log and batch list would grow; count and drop them.
            for (int a = 0; a < kIndicators; ++a) {
                nSimBatches += m_line.Find(a)->Batches().size();
                m_line.Find(a)->ClearBatches();
            }
            m_line.ClearLog();
            bool bAllFull = true;
            for (int a = 0; a < kIndicators; ++a) {
                ASSERT_LT(m_store.GetRecordTextLength(a), CBatchStore::kRecordTextBytes);
                ASSERT_LE(static_cast<int>(std::strlen(m_store.GetPending(a))), CBatchStore::kMaxPendingChars);
                bAllFull = bAllFull && m_store.GetRecordTextLength(a) + CBatchStore::kWorkBytes > CBatchStore::kRecordTextBytes;
            }
            if (bAllFull && nRssFull < 0)
                nRssFull = RssKb();
        }
    }
    const long nRssAfter = RssKb();
    const double dSeconds = MsSince(t0) / 1000.0;

    // Every completed batch is one line of its data file, after the prefilled ones.
    int nRecords = 0;
    for (int a = 0; a < kIndicators; ++a) {
        SCOPED_TRACE("indicator " + std::to_string(a));
        size_t nTail = 0;
        const std::vector<std::string> aLines = DataLines(DataPath(a), &nTail);
        EXPECT_EQ(nTail, 0u);
        ASSERT_GE(aLines.size(), static_cast<size_t>(nPrefill));
        EXPECT_EQ(static_cast<int>(aLines.size()) - nPrefill, m_store.GetRunCount(a));
        nRecords += static_cast<int>(aLines.size()) - nPrefill;
        // The record text filled up on the way and kept its oldest records.
        EXPECT_GT(m_store.GetRecordTextLength(a) + CBatchStore::kWorkBytes, CBatchStore::kRecordTextBytes);
    }
    EXPECT_EQ(nRecords, nCompleted);
    EXPECT_GE(nCompleted, nExpectedBatches * 3 / 4);
    // A fresh store reloads them: totals equal the sums of the files.
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    for (int a = 0; a < kIndicators; ++a)
        Attach(*m_line.Find(a));
    ExpectFilesMatchStore();

    std::printf("soak: %d conversations (%d ticks, warm-up included) in %.0f s; batches completed %d (simulator: "
                "%zu); records per file %d + %d prefilled; VmRSS %ld kB after warm-up, %ld kB once the record texts "
                "were full, %ld kB at the end\n",
                (nTicks + kWarmUpTicks) * kIndicators, nTicks + kWarmUpTicks, dSeconds, nCompleted, nSimBatches,
                nRecords / kIndicators, nPrefill, nRssBefore, nRssFull, nRssAfter);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory in quarantine; LeakSanitizer checks for leaks instead.
#else
    // Until the texts are full, polling touches the rest of their fixed buffers; after that, nothing.
    EXPECT_LT(nRssAfter - nRssBefore, 2048) << "memory grew while polling";
    if (nRssFull >= 0) {
        EXPECT_LT(nRssAfter - nRssFull, 256) << "memory grew while polling with full record texts";
    }
#endif
}

}  // namespace
}  // namespace reliability
