// CBatchStore::Search over the simulated line: scan order, slots, downloads, retries, abandoned indicators, bars and pump.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "store_line_fixture.h"

namespace {

using storeline::CCountingPump;
using storeline::CRecordingBar;
using storeline::TuningFileOf;
using tkdtest::FileExists;
using tkdtest::ReadBytes;

class StoreSearch : public storeline::StoreOnLine {
protected:
    // The parameters of the HT requests the line received from an address, in order.
    std::vector<int> HtParams(int nAddress) const
    {
        std::vector<int> anParams;
        for (const CSimLogEntry& entry : m_line.Log()) {
            if (entry.eDir == CSimLogEntry::kIn && entry.cKind == 'T' && entry.nAddress == nAddress)
                anParams.push_back(static_cast<unsigned char>(entry.strBytes[3]));
        }
        return anParams;
    }
    std::vector<int> ExpectedDownload(int nFinalParam, int nFailuresOfEntry0 = 0) const
    {
        std::vector<int> an(static_cast<size_t>(nFailuresOfEntry0), 0);
        for (int e = 0; e < 100; ++e)
            an.push_back(e);
        an.push_back(nFinalParam);
        return an;
    }
    void ExpectTuning(int nSlot, const CSimIndicator& ind)
    {
        for (int e = 0; e < 100; ++e)
            for (int k = 0; k < 6; ++k)
                ASSERT_EQ(m_store.GetTuneValueAt(nSlot, e, k), ind.Tune(e, k)) << "slot " << nSlot << " entry " << e;
    }
};

TEST_F(StoreSearch, ThreeIndicatorsTakeSlotsInAddressOrderAndTheScanStops)
{
    CSimIndicator& a = m_line.AddIndicator(3);
    CSimIndicator& b = m_line.AddIndicator(17);
    CSimIndicator& c = m_line.AddIndicator(40);
    CSimIndicator& d = m_line.AddIndicator(41);  // never asked: the scan stops first
    a.ApplyDemoTuning();
    b.ConfigureDoses(4, 2, {1111, 2222});
    c.ConfigureDoses(9, 9, {99999});
    d.ApplyDemoTuning();
    a.SetState(2, 3, 100);
    b.SetState(0, 0, 0);
    c.SetState(9, 9, 5);
    b.SetFault(ESimFault::kCorrupted, 2, 'T');  // two bad replies: retried after a pump and a wait each

    CCountingPump pump;
    CRecordingBar scanBar;
    CRecordingBar downloadBar;
    EXPECT_TRUE(m_store.Search(&pump, m_port, &scanBar, &downloadBar));

    EXPECT_EQ(m_store.GetIndicatorCount(), 3);
    EXPECT_EQ(m_store.GetIndicatorAddress(0), 3);
    EXPECT_EQ(m_store.GetIndicatorAddress(1), 17);
    EXPECT_EQ(m_store.GetIndicatorAddress(2), 40);
    ExpectTuning(0, a);
    ExpectTuning(1, b);
    ExpectTuning(2, c);

    // Every address up to 40 asked once, in order; nothing above 40.
    for (int nAddress = 0; nAddress <= 40; ++nAddress)
        EXPECT_EQ(m_line.CountRequests(nAddress, 'L'), 1) << nAddress;
    for (const CSimLogEntry& entry : m_line.Log()) {
        if (entry.eDir == CSimLogEntry::kIn) {
            EXPECT_LE(entry.nAddress, 40) << entry.strNote;
        }
    }
    // Downloads: entries 0..99 (entry 0 of address 17 three times), then the remembered state code.
    EXPECT_EQ(HtParams(3), ExpectedDownload(23));
    EXPECT_EQ(HtParams(17), ExpectedDownload(0, 2));
    EXPECT_EQ(HtParams(40), ExpectedDownload(99));

    std::vector<int> anScan;
    for (int n = 1; n <= 42; ++n)
        anScan.push_back(n);
    anScan.push_back(0);
    EXPECT_EQ(scanBar.m_anPos, anScan);
    std::vector<int> anDownload;
    for (int i = 0; i < 3; ++i)
        for (int n = 1; n <= 100; ++n)
            anDownload.push_back(n);
    anDownload.push_back(0);
    EXPECT_EQ(downloadBar.m_anPos, anDownload);
    EXPECT_EQ(pump.m_nCalls, 42 + 300 + 2);  // per address, per entry, per retry

    // Files: each tuning file as downloaded, each data file fresh and open.
    for (const CSimIndicator* p : {&a, &b, &c}) {
        char szNN[3];
        std::snprintf(szNN, sizeof szNN, "%02d", p->Address());
        EXPECT_EQ(ReadBytes(File(std::string("RecipesTune_i") + szNN)), TuningFileOf(*p)) << szNN;
        bool bFound = false;
        EXPECT_EQ(ReadBytes(File(std::string("Data_i") + szNN), &bFound), "");
        EXPECT_TRUE(bFound) << szNN;
    }
    for (int s = 0; s < 3; ++s)
        EXPECT_NE(m_store.GetDataFile(s), kInvalidFile);
    EXPECT_FALSE(FileExists(File("RecipesTune_i41")));
}

TEST_F(StoreSearch, AnIndicatorWhoseDownloadFailsTakesNoSlot)
{
    CSimIndicator& bad = m_line.AddIndicator(0);
    CSimIndicator& good1 = m_line.AddIndicator(1);
    CSimIndicator& good2 = m_line.AddIndicator(2);
    CSimIndicator& good3 = m_line.AddIndicator(3);
    bad.ApplyDemoTuning();
    bad.SetState(3, 4, 0);
    bad.SetFault(ESimFault::kNoAnswer, -1, 'T');
    good1.ConfigureDoses(1, 1, {10});
    good2.ConfigureDoses(2, 1, {20});
    good3.ConfigureDoses(3, 1, {30});

    CCountingPump pump;
    CRecordingBar scanBar;
    CRecordingBar downloadBar;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(m_store.Search(&pump, m_port, &scanBar, &downloadBar));
    const double dMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart).count();

    EXPECT_EQ(m_store.GetIndicatorAddress(0), 1);
    EXPECT_EQ(m_store.GetIndicatorAddress(1), 2);
    EXPECT_EQ(m_store.GetIndicatorAddress(2), 3);
    EXPECT_EQ(m_store.IndexOfAddress(0), 3);
    ExpectTuning(0, good1);  // the abandoned indicator's slot, downloaded again
    // Entry 0 asked four times (three retries), then the final request with state code 34.
    EXPECT_EQ(HtParams(0), (std::vector<int>{0, 0, 0, 0, 34}));
    EXPECT_GE(dMs, 3 * m_port.Timing().nSilenceWaitMs);
    EXPECT_EQ(pump.m_nCalls, 5 + 300 + 3);
    EXPECT_FALSE(FileExists(File("RecipesTune_i00")));
    EXPECT_FALSE(FileExists(File("Data_i00")));
    EXPECT_EQ(scanBar.m_anPos.back(), 0);
    EXPECT_EQ(downloadBar.m_anPos.back(), 0);
}

TEST_F(StoreSearch, AClosedPortSendsNothingAndResetsTheBars)
{
    m_line.AddIndicator(0).ApplyDemoTuning();
    m_port.Close();
    CCountingPump pump;
    CRecordingBar scanBar;
    CRecordingBar downloadBar;
    EXPECT_FALSE(m_store.Search(&pump, m_port, &scanBar, &downloadBar));
    EXPECT_EQ(scanBar.m_anPos, std::vector<int>{0});
    EXPECT_EQ(downloadBar.m_anPos, std::vector<int>{0});
    EXPECT_EQ(pump.m_nCalls, 0);
    EXPECT_EQ(m_line.CountRequests(), 0);
    EXPECT_EQ(m_store.GetIndicatorCount(), 0);
    // No pump and no bars are fine too.
    EXPECT_FALSE(m_store.Search(nullptr, m_port, nullptr, nullptr));
}

}  // namespace
