// Faults on a real pseudo-terminal during search and polling: silent indicators, garbage, truncated and
// corrupted replies, late replies, a line that never falls quiet, an indicator that vanishes and comes
// back, a tuning that changes, the line hung up. Each case ends with the next search (or the reload of
// the files that a search does) and the checks that no completed record is lost or corrupted and that
// the totals are the sums of the data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "reliability_rig.h"

namespace reliability {
namespace {

using Clock = std::chrono::steady_clock;

// Batches of one of the demo's recipes, 1 (doses 1..3) or 2 (doses 0..4): every state shown nHold
// times, so that a state is never seen only once and a reply lost to a busy machine costs no captured
// weight. The recipe stays the same, so no batch depends on the replies between two batches.
std::vector<CSimStep> Batches(int nCount, int nBase, int nRecipe = 1, int nHold = 3)
{
    std::vector<CSimStep> aSteps;
    const int nLast = nRecipe == 1 ? 3 : 4;
    for (int i = 0; i < nCount; ++i) {
        const int nWeight = nBase + 10 * i;
        aSteps.emplace_back(nRecipe, 0, 0, nHold);
        for (int d = 1; d <= nLast; ++d)
            aSteps.emplace_back(nRecipe, d, nWeight + 100 * d, nHold);
        aSteps.emplace_back(nRecipe, 0, nWeight + 7, nHold);
    }
    return aSteps;
}

class Faults : public CReliabilityRig {
protected:
    // Indicators at addresses 0, 1, 2 with the demo tuning, so that a search stops at address 3.
    void AddThree()
    {
        for (int a = 0; a < 3; ++a) {
            m_apInd[a] = &m_line.AddIndicator(a);
            m_apInd[a]->ApplyDemoTuning();
        }
    }

    // Polls until every scripted indicator has shown all its steps, plus two ticks for the last
    // batch to end; each tick within dTickLimitMs.
    void PollToEnd(double dTickLimitMs, int nMaxTicks = 400)
    {
        for (int nTick = 0; nTick < nMaxTicks; ++nTick) {
            bool bLeft = false;
            for (CSimIndicator* pInd : m_apInd)
                bLeft = bLeft || (pInd != nullptr && pInd->ScriptStepsLeft() > 0);
            if (!bLeft)
                break;
            const auto t0 = Clock::now();
            Poll(1);
            ASSERT_LT(MsSince(t0), dTickLimitMs) << "tick " << nTick;
        }
        Poll(2);
    }

    // The next search finds the indicators again: every record of the files is there, whole, and
    // the totals are their sums.
    void SearchAgainAndCheck(int nIndicators = 3)
    {
        const auto t0 = Clock::now();
        ASSERT_TRUE(Search());
        EXPECT_LT(MsSince(t0), 60000.0);
        EXPECT_EQ(m_store.GetIndicatorCount(), nIndicators);
        ExpectFilesMatchStore();
    }

    // What a search does once the tuning is in: the files of each indicator opened and reloaded.
    void ReloadAndCheck()
    {
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        for (CSimIndicator* pInd : m_apInd)
            if (pInd != nullptr)
                Attach(*pInd);
        ExpectFilesMatchStore();
    }

    CSimIndicator* m_apInd[3] = {};
};

// ---- Polling ----------------------------------------------------------------------------------------

TEST_F(Faults, PollingThroughEveryFaultClassLosesAndCorruptsNoRecord)
{
    AddThree();
    for (int a = 0; a < 3; ++a) {
        m_apInd[a]->SetScript(Batches(3, 1000 * (a + 1), 1 + a % 2));
        Attach(*m_apInd[a]);
    }
    // Silent, garbage, truncated and corrupted replies on every indicator in the middle of batches.
    // A faulted reply does not advance the indicator, so the product must still see every state.
    const ESimFault aeFaults[] = {ESimFault::kNoAnswer, ESimFault::kGarbage, ESimFault::kTruncated,
                                  ESimFault::kCorrupted};
    for (int nRound = 0; nRound < 4; ++nRound) {
        Poll(3);
        for (int a = 0; a < 3; ++a)
            m_apInd[a]->SetFault(aeFaults[(nRound + a) % 4], 2, 'L');
    }
    // Indicator 1 vanishes in the middle of a batch for ten ticks and comes back.
    Poll(2);
    ASSERT_NE(m_store.GetPending(1)[0], '\0');
    m_apInd[1]->SetFault(ESimFault::kNoAnswer);
    auto t0 = Clock::now();
    Poll(10);
    // A faulted slot costs one conversation, a drain and the silence wait: well under 3 s a tick.
    EXPECT_LT(MsSince(t0), 10 * 3000.0);
    EXPECT_NE(m_store.GetPending(1)[0], '\0') << "the batch was dropped while the indicator was away";
    m_apInd[1]->ClearFault();
    PollToEnd(3000.0);
    std::vector<std::string> aaFirst[3];
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(m_apInd[a]->Batches().size(), 3u);
        ExpectRecordsOfBatches(*m_apInd[a]);
        aaFirst[a] = DataLines(DataPath(a));
    }

    // A line that never falls quiet: every tick stays within its bounded waits; states shown meanwhile
    // are lost to the product, so the records of those batches may differ from the simulator's, but
    // every record is whole and none before is touched.
    for (int a = 0; a < 3; ++a)
        m_apInd[a]->SetScript(Batches(2, 3000 + 500 * a, 1 + a % 2));
    Poll(4);
    m_line.SetStreaming(true);
    for (int i = 0; i < 4; ++i) {
        t0 = Clock::now();
        Poll(1);
        // Per slot: the read (74 ms), the bounded drain (300 ms), the silence wait (50 ms).
        EXPECT_LT(MsSince(t0), 3 * (20 + 74 + 300 + 50) + 2000.0);
    }
    m_line.SetStreaming(false);
    Poll(12);

    // The line hung up in the middle of batches: ticks fail at once, nothing already written changes.
    std::vector<std::string> aaBefore[3];
    for (int a = 0; a < 3; ++a) {
        aaBefore[a] = DataLines(DataPath(a));
        ASSERT_GT(aaBefore[a].size(), aaFirst[a].size());
        EXPECT_TRUE(std::equal(aaFirst[a].begin(), aaFirst[a].end(), aaBefore[a].begin()));
    }
    m_line.HangUp();
    t0 = Clock::now();
    EXPECT_EQ(Poll(5), 0);
    EXPECT_LT(MsSince(t0), 5 * 3 * 50 + 3000.0);
    RestoreLine();
    SearchAgainAndCheck();
    for (int a = 0; a < 3; ++a)
        EXPECT_EQ(DataLines(DataPath(a)), aaBefore[a]) << "indicator " << a;
}

TEST_F(Faults, LateRepliesSurfaceInTheNextReadOfTheSameIndicator)
{
    m_apInd[0] = &m_line.AddIndicator(0);
    CSimIndicator& ind = *m_apInd[0];
    ind.ApplyDemoTuning();
    ind.SetScript(Batches(3, 2000, 2));
    // Later than the read (20 + 74 ms) and its drain, earlier than the next request (after the 50 ms
    // silence wait): the reply waits in the driver and comes first in the next read.
    ind.SetLateMs(130);
    Attach(ind);
    for (int i = 0; i < 6; ++i) {
        Poll(4);
        ind.SetFault(ESimFault::kLate, 1, 'L');
    }
    PollToEnd(3000.0);
    EXPECT_EQ(ind.Batches().size(), 3u);
    ExpectRecordsOfBatches(ind);
    ReloadAndCheck();
}

// The link accepts a reply by its shape, whatever its address byte. Indicator 0's late reply, read after
// the request to indicator 1, must not become indicator 1's state (it did until the store checked the
// address).
TEST_F(Faults, ALateReplyOfOneIndicatorIsNotTakenForTheNextOnesState)
{
    AddThree();
    for (int a = 0; a < 3; ++a) {
        m_apInd[a]->SetScript(Batches(2, 700 * (a + 1), 1 + a % 2));
        m_apInd[a]->SetLateMs(130);
        Attach(*m_apInd[a]);
    }
    for (int i = 0; i < 5; ++i) {
        Poll(3);
        m_apInd[0]->SetFault(ESimFault::kLate, 1, 'L');
    }
    PollToEnd(5000.0);
    for (CSimIndicator* pInd : m_apInd)
        ExpectRecordsOfBatches(*pInd);
    ReloadAndCheck();
}

// ---- Search -----------------------------------------------------------------------------------------

// The tail of a late reply from the last polling tick (a read takes at most 64 bytes; a late reply
// glued to the next one leaves two) must not spoil the search's first request: the indicator at
// address 0 was not found until the search cleared the line first.
TEST_F(Faults, BytesLeftFromPollingDoNotHideTheIndicatorAtAddressZero)
{
    AddThree();
    m_apInd[0]->SetScript(Batches(1, 100));
    m_apInd[0]->SetLateMs(130);
    Attach(*m_apInd[0]);
    Poll(4);
    m_apInd[0]->SetFault(ESimFault::kLate, 1, 'L');
    Poll(2);  // the late reply and the next one arrive together: 66 bytes, 64 read
    SearchAgainAndCheck();
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 0);
}

TEST_F(Faults, SearchPastSilentGarbledAbandonedIndicatorsAndANoisyStretch)
{
    // 0 silent; 1 garbage for two tuning requests; 2 corrupted four times in a row (abandoned);
    // 3 truncated three times (the retries get it); 4 sound, with 100 ms of noise on the line in the
    // middle of its download, shorter than its three retries.
    for (int a = 0; a < 5; ++a)
        m_line.AddIndicator(a).ApplyDemoTuning();
    m_line.Find(0)->SetFault(ESimFault::kNoAnswer);
    m_line.Find(1)->SetFault(ESimFault::kGarbage, 2, 'T');
    m_line.Find(2)->SetFault(ESimFault::kCorrupted, 4, 'T');
    m_line.Find(3)->SetFault(ESimFault::kTruncated, 3, 'T');
    std::thread noise([this] {
        m_line.WaitForRequests(40, 60000, 4, 'T');
        m_line.SetStreaming(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_line.SetStreaming(false);
    });
    const auto t0 = Clock::now();
    const bool bFound = Search();
    noise.join();
    ASSERT_TRUE(bFound);
    EXPECT_LT(MsSince(t0), 60000.0);
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 1);
    EXPECT_EQ(m_store.GetIndicatorAddress(1), 3);
    EXPECT_EQ(m_store.GetIndicatorAddress(2), 4);
    for (int s = 0; s < 3; ++s) {
        const CSimIndicator& ind = *m_line.Find(m_store.GetIndicatorAddress(s));
        for (int e = 0; e < CBatchStore::kEntries; ++e)
            for (int k = 0; k < CBatchStore::kTuneValues; ++k)
                ASSERT_EQ(m_store.GetTuneValueAt(s, e, k), ind.Tune(e, k)) << "slot " << s << " entry " << e;
    }
    EXPECT_FALSE(tkdtest::FileExists(m_dir.File("Data_i00")));
    EXPECT_FALSE(tkdtest::FileExists(m_dir.File("Data_i02")));
    ExpectFilesMatchStore();
}

// A tuning reply that comes too late for its request, after the retry was answered, must not be read
// as the next entry's tuning (it was, until the store checked the entry at position 3: the slot's
// tuning and the tuning file were wrong, and the next search moved the data file aside).
TEST_F(Faults, ALateTuningReplyIsNotTakenForTheNextEntry)
{
    AddThree();
    // Replies D = 20 ms after the request. A retry comes about 150 ms after the request it repeats
    // (20 + 74 + 5 + 50 ms) and ends D + 8 ms later, when the next entry is asked; that one's reply
    // comes D after. The late reply (168 ms + D after its request) falls into that window of D.
    // Entries 11, 21, 23 and 31 are configured and differ from the entries after them; each late
    // reply costs one retry, so entry e is asked by request e + 1 + the faults before.
    m_line.SetReplyDelayMs(20);
    m_apInd[0]->SetLateMs(168);
    std::thread faults([this] {
        int nFaults = 0;
        for (int nEntry : {11, 21, 23, 31}) {
            m_line.WaitForRequests(nEntry + nFaults, 20000, 0, 'T');
            m_apInd[0]->SetFault(ESimFault::kLate, 1, 'T');
            ++nFaults;
        }
    });
    const bool bFound = Search();
    faults.join();
    ASSERT_TRUE(bFound);
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            ASSERT_EQ(m_store.GetTuneValueAt(0, e, k), m_apInd[0]->Tune(e, k)) << "entry " << e;
}

TEST_F(Faults, ATuningChangedBetweenTwoSearchesMovesTheOldDataAside)
{
    AddThree();
    CSimIndicator& ind = *m_apInd[0];
    ind.SetScript(Batches(2, 100));
    Attach(ind);
    PollToEnd(3000.0);
    const std::string strOld = tkdtest::ReadBytes(DataPath(0));
    ASSERT_EQ(DataLines(DataPath(0)), ExpectedLines(ind.Batches()));

    ind.ConfigureDoses(1, 1, {1250, 800, 1500});  // one final value changed on the indicator
    SearchAgainAndCheck();
    // The old records under a dated name, byte for byte; a fresh data file; the new tuning file.
    EXPECT_EQ(tkdtest::ReadBytes(DataPath(0) + ".20261205-140327"), strOld);
    bool bFound = false;
    EXPECT_EQ(tkdtest::ReadBytes(DataPath(0), &bFound), "");
    EXPECT_TRUE(bFound);
    EXPECT_EQ(m_store.GetRecordCount(0), 0);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        EXPECT_EQ(m_store.GetTotal(0, e), 0);
    const std::vector<std::string> aTune = DataLines(m_dir.File("RecipesTune_i00"));
    ASSERT_EQ(aTune.size(), 10u);
    EXPECT_NE(aTune[1].find(",1250,"), std::string::npos);

    // Polling goes on into the fresh file.
    ind.ClearBatches();
    ind.SetScript(Batches(1, 900));
    PollToEnd(3000.0);
    ExpectRecordsOfBatches(ind);
    ReloadAndCheck();
}

TEST_F(Faults, TheLineHungUpDuringASearch)
{
    AddThree();
    m_apInd[0]->SetScript(Batches(2, 600));
    Attach(*m_apInd[0]);
    PollToEnd(3000.0);
    const std::vector<std::string> aBefore = DataLines(DataPath(0));
    ASSERT_EQ(aBefore.size(), 2u);

    // The line goes in the middle of indicator 0's download.
    std::thread hangUp([this] {
        m_line.WaitForRequests(30, 20000, 0, 'T');
        m_line.HangUp();
    });
    const auto t0 = Clock::now();
    EXPECT_FALSE(Search());
    hangUp.join();
    // Every request fails at once; only the retries of the entry in progress wait.
    EXPECT_LT(MsSince(t0), 20000.0);
    EXPECT_EQ(m_store.GetIndicatorCount(), 0);
    EXPECT_EQ(DataLines(DataPath(0)), aBefore);

    RestoreLine();
    SearchAgainAndCheck();
    EXPECT_EQ(DataLines(DataPath(0)), aBefore);
}

}  // namespace
}  // namespace reliability
