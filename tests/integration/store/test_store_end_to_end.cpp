// Three simulated indicators: a search, a few hundred polls, then tuning files, data files and totals checked, and a second search reloading them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_line_fixture.h"

namespace {

using namespace storeline;

class StoreEndToEnd : public StoreOnLine {};

TEST_F(StoreEndToEnd, SearchPollAndReload)
{
    CSimIndicator* apInd[3];
    for (int i = 0; i < 3; ++i) {
        apInd[i] = &m_line.AddIndicator(i + 1);
        apInd[i]->ApplyDemoTuning();
        apInd[i]->SetTune(40 + i, 0, 100 + i);  // the three tunings differ
        apInd[i]->SetState(5, 0, 0);            // a recipe without doses: nothing followed before polling starts
    }
    ASSERT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr));
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(apInd[i]->StartAuto({.anRecipes = {1, 2, 3}, .nDosePolls = 2, .nIdlePolls = 1, .nSeed = 17u + static_cast<uint32_t>(i)}));
    int nCompletedTicks = 0;
    for (int n = 0; n < 300; ++n)
        nCompletedTicks += Poll().second ? 1 : 0;
    EXPECT_GT(nCompletedTicks, 20);

    // What the simulator says the product should have recorded, indicator by indicator.
    std::string astrFile[3], astrText[3];
    std::vector<int32_t> aanTotals[3];
    const auto ExpectRecordsAndTotals = [&](int s) {
        EXPECT_EQ(std::string(m_store.GetRecordText(s)), astrText[s]);
        EXPECT_EQ(storetest::Totals(m_store, s), aanTotals[s]);
    };
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE("slot " + std::to_string(s));
        const std::vector<CSimBatch> aBatches = apInd[s]->Batches();
        ASSERT_GE(aBatches.size(), 10u);
        aanTotals[s].assign(100, 0);
        for (const CSimBatch& batch : aBatches) {
            const std::string strHeader = kHeaderTime + std::to_string(batch.nRecipe) + std::to_string(batch.nFirstDose) + "=";
            const std::string strLine = (batch.bHeader ? strHeader : "") + batch.ValuesText();
            astrFile[s] += strLine + "\r\n";
            astrText[s] += strLine + "|";
            for (int d = 0; d < 10; ++d)
                aanTotals[s][static_cast<size_t>(batch.nRecipe * 10 + d)] += batch.anDoseWeights[static_cast<size_t>(d)];
        }
        ExpectRecordsAndTotals(s);
        EXPECT_EQ(m_store.GetRecordCount(s), static_cast<int>(aBatches.size()));
        EXPECT_EQ(m_store.GetRunCount(s), static_cast<int>(aBatches.size()));
        m_store.ClearRunCount(s);
        EXPECT_EQ(m_store.GetRunCount(s), 0);
    }

    // A second search: the tunings match, so every data file is reloaded into the same records
    // and the same totals that polling built.
    for (int i = 0; i < 3; ++i)
        apInd[i]->SetState(5, 0, 0);
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(ReadBytes(File("Data_i" + NN(s + 1))), astrFile[s]) << s;
    ASSERT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr));
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE("reloaded slot " + std::to_string(s));
        ExpectRecordsAndTotals(s);
        EXPECT_EQ(m_store.GetRunStart(s), static_cast<int>(astrText[s].size()));
        EXPECT_EQ(m_store.GetRunCount(s), 0);  // a reload is not a run
    }
}

}  // namespace
