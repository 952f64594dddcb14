// Faults of the line while polling and searching, on a real pseudo-terminal: silent, garbled, truncated and corrupted
// replies, an indicator that vanishes mid-batch, late replies of another indicator or entry, bytes left on the line.
// Each ends with the files checked: every completed record whole, once, and a reload equal to what polling built.
#include <gtest/gtest.h>

#include <thread>

#include "line_rig.h"

namespace tkdtest {
namespace {

// Batches of recipe 1 (doses 1..3) or 2 (doses 0..4), every state shown nHold times so that a lost
// reply costs no captured weight.
std::vector<CSimStep> Batches(int nCount, int nBase, int nRecipe)
{
    std::vector<CSimStep> aSteps;
    for (int i = 0; i < nCount; ++i)
        for (int d = 0; d <= (nRecipe == 1 ? 4 : 5); ++d)  // the last state is dose 0 again: the batch ends
            aSteps.emplace_back(nRecipe, d % (nRecipe == 1 ? 4 : 5), d == 0 ? 0 : nBase + 10 * i + 100 * d, 3);
    return aSteps;
}

class LineFaults : public CLineRig {
protected:
    // Indicators at 0, 1, 2 with the demo tuning, each attached, scripted with batches.
    void AddThree(int nBatches)
    {
        for (int a = 0; a < 3; ++a) {
            m_apInd[a] = &m_line.AddIndicator(a);
            m_apInd[a]->ApplyDemoTuning();
            m_apInd[a]->SetScript(Batches(nBatches, 1000 * (a + 1), 1 + a % 2));
            Attach(*m_apInd[a]);
        }
    }
    // Polls until every script has run out, then the records are the simulator's batches, the store
    // holds what the files hold (polling's totals included), and so does a fresh reload.
    void PollToEndAndCheck()
    {
        for (int nTick = 0; nTick < 400 && (m_apInd[0]->ScriptStepsLeft() + m_apInd[1]->ScriptStepsLeft() +
                                            m_apInd[2]->ScriptStepsLeft()) > 0; ++nTick)
            Poll();
        Poll(2);
        for (CSimIndicator* pInd : m_apInd)
            ExpectRecordsOfBatches(*pInd);
        ExpectFilesMatchStore();
        ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
        for (CSimIndicator* pInd : m_apInd)
            Attach(*pInd);
        ExpectFilesMatchStore();
    }
    CSimIndicator* m_apInd[3] = {};
};

// Indicator 0's late reply, read after the request to indicator 1, must not become indicator 1's state.
TEST_F(LineFaults, EveryFaultClassWhilePollingLosesNoRecord)
{
    AddThree(3);
    for (CSimIndicator* pInd : m_apInd)
        pInd->SetLateMs(130);  // after the read and its drain, before the next request
    const ESimFault aeFaults[] = {ESimFault::kNoAnswer, ESimFault::kGarbage, ESimFault::kTruncated, ESimFault::kCorrupted};
    for (int nRound = 0; nRound < 4; ++nRound) {
        Poll(3);
        for (int a = 0; a < 3; ++a)
            m_apInd[a]->SetFault(aeFaults[(nRound + a) % 4], 2, 'L');
    }
    // Indicator 1 vanishes in the middle of a batch for ten ticks and comes back.
    Poll(2);
    ASSERT_NE(m_store.GetPending(1)[0], '\0');
    m_apInd[1]->SetFault(ESimFault::kNoAnswer);
    Poll(10);
    EXPECT_NE(m_store.GetPending(1)[0], '\0') << "the batch was dropped while the indicator was away";
    m_apInd[1]->ClearFault();
    for (int i = 0; i < 5; ++i) {
        Poll(3);
        m_apInd[0]->SetFault(ESimFault::kLate, 1, 'L');
    }
    PollToEndAndCheck();
    // The tail of a late reply left by polling (66 bytes, 64 read) must not hide address 0 from the next search.
    m_apInd[0]->SetFault(ESimFault::kLate, 1, 'L');
    Poll(2);
    ASSERT_TRUE(Search());
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 0);
}

// A tuning reply too late for its request, arriving after the retry was answered, must not be read as the next
// entry's. Replies come 20 ms after a request; a retry about 150 ms after the request it repeats; the late reply
// 168 ms + 20 ms after its own. Entries 11, 21, 23 and 31 differ from the entries after them.
TEST_F(LineFaults, ALateTuningReplyIsNotTakenForTheNextEntry)
{
    for (int a = 0; a < 3; ++a)
        m_line.AddIndicator(a).ApplyDemoTuning();
    m_line.SetReplyDelayMs(20);
    m_line.Find(0)->SetLateMs(168);
    std::thread faults([this] {
        int nFaults = 0;
        for (int nEntry : {11, 21, 23, 31}) {
            m_line.WaitForRequests(nEntry + nFaults++, 20000, 0, 'T');
            m_line.Find(0)->SetFault(ESimFault::kLate, 1, 'T');
        }
    });
    const bool bFound = Search();
    faults.join();
    ASSERT_TRUE(bFound);
    for (int e = 0; e < CBatchStore::kEntries; ++e)
        for (int k = 0; k < CBatchStore::kTuneValues; ++k)
            ASSERT_EQ(m_store.GetTuneValueAt(0, e, k), m_line.Find(0)->Tune(e, k)) << "entry " << e;
}

}  // namespace
}  // namespace tkdtest
