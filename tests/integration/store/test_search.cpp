// CBatchStore::Search over the simulated line: scan order, slots, downloads, retries, abandoned indicators, and bars.
#include <gtest/gtest.h>

#include <utility>

#include "line_rig.h"

namespace tkdtest {
namespace {

struct CRecordingBar : IProgressBar { void SetPos(int nPos) override { m_anPos.push_back(nPos); } std::vector<int> m_anPos; };

// The head, nRuns runs of nFrom..nTo, and the tail.
std::vector<int> Seq(std::vector<int> an, int nRuns, int nFrom, int nTo, int nTail)
{
    for (int i = 0; i < nRuns; ++i)
        for (int n = nFrom; n <= nTo; ++n)
            an.push_back(n);
    an.push_back(nTail);
    return an;
}

class StoreSearch : public CLineRig {
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
    // Each slot's address, its tuning file as downloaded, its data file fresh and open.
    void ExpectSlots(const std::vector<int>& anAddresses)
    {
        for (int s = 0; s < 3; ++s) {
            const int nAddress = anAddresses[static_cast<size_t>(s)];
            EXPECT_EQ(m_store.GetIndicatorAddress(s), nAddress);
            EXPECT_EQ(ReadBytes(File("RecipesTune_i" + std::to_string(nAddress + 100).substr(1))), TuningFileOf(*m_line.Find(nAddress)));
            EXPECT_TRUE(FileExists(DataPath(nAddress)) && ReadBytes(DataPath(nAddress)).empty());
            EXPECT_NE(m_store.GetDataFile(s), kInvalidFile);
        }
    }
    bool SearchWith() { return m_store.Search(m_port, &m_scanBar, &m_downloadBar); }
    CRecordingBar m_scanBar, m_downloadBar;
};

TEST_F(StoreSearch, ThreeIndicatorsTakeSlotsInAddressOrderAndTheScanStops)
{
    m_line.AddIndicator(3).ApplyDemoTuning();
    m_line.AddIndicator(17).ConfigureDoses(4, 2, {1111, 2222});
    m_line.AddIndicator(40).ConfigureDoses(9, 9, {99999});
    m_line.AddIndicator(41).ApplyDemoTuning();  // never asked: the scan stops first
    m_line.Find(3)->SetState(2, 3, 100);
    m_line.Find(40)->SetState(9, 9, 5);
    m_line.Find(17)->SetFault(ESimFault::kCorrupted, 2, 'T');  // two bad replies: retried after a wait each
    EXPECT_TRUE(SearchWith());
    EXPECT_EQ(m_store.GetIndicatorCount(), 3);
    ExpectSlots({3, 17, 40});
    for (int nAddress = 0; nAddress <= 41; ++nAddress)
        EXPECT_EQ(m_line.CountRequests(nAddress, 'L'), nAddress <= 40 ? 1 : 0) << nAddress;
    // Entries 0..99 (entry 0 of address 17 twice more), then the final request with the remembered state code.
    EXPECT_EQ(HtParams(3), Seq({}, 1, 0, 99, 23));
    EXPECT_EQ(HtParams(17), Seq({0, 0}, 1, 0, 99, 0));
    EXPECT_EQ(HtParams(40), Seq({}, 1, 0, 99, 99));
    EXPECT_EQ(m_scanBar.m_anPos, Seq({}, 1, 1, 42, 0));
    EXPECT_EQ(m_downloadBar.m_anPos, Seq({}, 3, 1, 100, 0));
}

// An indicator whose download fails takes no slot (the next one found takes it), and a closed port sends nothing.
TEST_F(StoreSearch, AnIndicatorWhoseDownloadFailsTakesNoSlotAndAClosedPortSendsNothing)
{
    m_line.AddIndicator(0).ApplyDemoTuning();
    m_line.Find(0)->SetState(3, 4, 0);
    m_line.Find(0)->SetFault(ESimFault::kNoAnswer, -1, 'T');
    for (int n = 1; n <= 3; ++n)
        m_line.AddIndicator(n).ConfigureDoses(n, 1, {10 * n});
    EXPECT_TRUE(SearchWith());
    ExpectSlots({1, 2, 3});
    // Entry 0 asked four times (three retries), then the final request with state code 34.
    EXPECT_EQ(HtParams(0), (std::vector<int>{0, 0, 0, 0, 34}));
    EXPECT_FALSE(FileExists(File("RecipesTune_i00")) || FileExists(File("Data_i00")));
    m_port.Close();
    m_line.ClearLog();
    EXPECT_FALSE(Search());
    EXPECT_EQ(std::pair(m_line.CountRequests(), m_store.GetIndicatorCount()), std::pair(0, 0));
    EXPECT_EQ(std::pair(m_scanBar.m_anPos.back(), m_downloadBar.m_anPos.back()), std::pair(0, 0));
}

}  // namespace
}  // namespace tkdtest
