// CBatchStore::Search over the simulated line: scan order, slots, downloads, retries, abandoned indicators, bars and pump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_rig.h"

namespace tkdtest {
namespace {

struct CCountingPump : IMessagePump { void PumpOneMessage() override { ++m_nCalls; } int m_nCalls = 0; };
struct CRecordingBar : IProgressBar { void SetPos(int nPos) override { m_anPos.push_back(nPos); } std::vector<int> m_anPos; };

class StoreSearch : public CStoreRig {
protected:
    // The parameters of the HT requests the line received from an address, in order.
    std::vector<int> HtParams(int nAddress) const
    {
        std::vector<int> an;
        for (const CSimLogEntry& entry : m_line.Log())
            if (entry.eDir == CSimLogEntry::kIn && entry.cKind == 'T' && entry.nAddress == nAddress)
                an.push_back(static_cast<unsigned char>(entry.strBytes[3]));
        return an;
    }
    // The head, nRuns runs of nFrom..nTo, and the tail.
    static std::vector<int> Seq(std::vector<int> an, int nRuns, int nFrom, int nTo, int nTail)
    {
        for (int i = 0; i < nRuns; ++i)
            for (int n = nFrom; n <= nTo; ++n)
                an.push_back(n);
        an.push_back(nTail);
        return an;
    }
    // Its tuning file (written from the slot's tuning) as downloaded, its data file fresh and open.
    void ExpectSlot(int nSlot, const CSimIndicator& ind)
    {
        EXPECT_EQ(m_store.GetIndicatorAddress(nSlot), ind.Address());
        char szTune[512];
        ASSERT_TRUE(m_store.MakeTunePath(ind.Address(), szTune, sizeof szTune));
        EXPECT_EQ(ReadBytes(szTune), TuningFileOf(ind));
        EXPECT_TRUE(FileExists(DataPath(ind.Address())) && ReadBytes(DataPath(ind.Address())).empty());
        EXPECT_NE(m_store.GetDataFile(nSlot), kInvalidFile);
    }
    CCountingPump m_pump;
    CRecordingBar m_scanBar;
    CRecordingBar m_downloadBar;
};

TEST_F(StoreSearch, ThreeIndicatorsTakeSlotsInAddressOrderAndTheScanStops)
{
    CSimIndicator& a = m_line.AddIndicator(3);
    CSimIndicator& b = m_line.AddIndicator(17);
    CSimIndicator& c = m_line.AddIndicator(40);
    m_line.AddIndicator(41).ApplyDemoTuning();  // never asked: the scan stops first
    a.ApplyDemoTuning();
    b.ConfigureDoses(4, 2, {1111, 2222});
    c.ConfigureDoses(9, 9, {99999});
    a.SetState(2, 3, 100);
    b.SetState(0, 0, 0);
    c.SetState(9, 9, 5);
    b.SetFault(ESimFault::kCorrupted, 2, 'T');  // two bad replies: retried after a pump and a wait each
    EXPECT_TRUE(m_store.Search(&m_pump, m_port, &m_scanBar, &m_downloadBar));

    EXPECT_EQ(m_store.GetIndicatorCount(), 3);
    ExpectSlot(0, a);
    ExpectSlot(1, b);
    ExpectSlot(2, c);
    for (int nAddress = 0; nAddress <= 40; ++nAddress)
        EXPECT_EQ(m_line.CountRequests(nAddress, 'L'), 1) << nAddress;
    for (const CSimLogEntry& entry : m_line.Log())
        EXPECT_TRUE(entry.eDir != CSimLogEntry::kIn || entry.nAddress <= 40) << entry.strNote;
    // Entries 0..99 (entry 0 of address 17 twice more), then the final request with the remembered state code.
    EXPECT_EQ(HtParams(3), Seq({}, 1, 0, 99, 23));
    EXPECT_EQ(HtParams(17), Seq({0, 0}, 1, 0, 99, 0));
    EXPECT_EQ(HtParams(40), Seq({}, 1, 0, 99, 99));
    EXPECT_EQ(m_scanBar.m_anPos, Seq({}, 1, 1, 42, 0));
    EXPECT_EQ(m_downloadBar.m_anPos, Seq({}, 3, 1, 100, 0));
    EXPECT_EQ(m_pump.m_nCalls, 42 + 300 + 2);  // per address, per entry, per retry
}

TEST_F(StoreSearch, AnIndicatorWhoseDownloadFailsTakesNoSlot)
{
    CSimIndicator& bad = m_line.AddIndicator(0);
    bad.ApplyDemoTuning();
    bad.SetState(3, 4, 0);
    bad.SetFault(ESimFault::kNoAnswer, -1, 'T');
    for (int n = 1; n <= 3; ++n)
        m_line.AddIndicator(n).ConfigureDoses(n, 1, {10 * n});
    EXPECT_TRUE(m_store.Search(&m_pump, m_port, &m_scanBar, &m_downloadBar));
    for (int s = 0; s < 3; ++s)
        ExpectSlot(s, *m_line.Find(s + 1));  // address 1 downloaded again into the abandoned slot
    EXPECT_EQ(m_store.IndexOfAddress(0), 3);
    // Entry 0 asked four times (three retries), then the final request with state code 34.
    EXPECT_EQ(HtParams(0), (std::vector<int>{0, 0, 0, 0, 34}));
    EXPECT_EQ(m_pump.m_nCalls, 5 + 300 + 3);
    EXPECT_FALSE(FileExists(File("RecipesTune_i00")) || FileExists(File("Data_i00")));
    EXPECT_EQ(m_scanBar.m_anPos.back() + m_downloadBar.m_anPos.back(), 0);
}

TEST_F(StoreSearch, AClosedPortSendsNothingAndResetsTheBars)
{
    m_line.AddIndicator(0).ApplyDemoTuning();
    m_port.Close();
    EXPECT_FALSE(m_store.Search(&m_pump, m_port, &m_scanBar, &m_downloadBar));
    EXPECT_EQ(m_scanBar.m_anPos, std::vector<int>{0});
    EXPECT_EQ(m_downloadBar.m_anPos, std::vector<int>{0});
    EXPECT_EQ(m_pump.m_nCalls + m_line.CountRequests() + m_store.GetIndicatorCount(), 0);
    EXPECT_FALSE(m_store.Search(nullptr, m_port, nullptr, nullptr));  // no pump and no bars are fine too
}

}  // namespace
}  // namespace tkdtest
