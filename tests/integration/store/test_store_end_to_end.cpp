// Three simulated indicators: a search, a few hundred polls, then tuning files, data files and totals checked, and a second search reloading them.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "store_line_fixture.h"

namespace {

using storeline::kHeaderTime;
using storeline::TuningFileOf;
using tkdtest::ReadBytes;

class StoreEndToEnd : public storeline::StoreOnLine {};

// The data-file line the product must write for a batch that the simulator ran.
std::string LineOf(const CSimBatch& batch)
{
    std::string str;
    if (batch.bHeader)
        str = std::string(kHeaderTime) + std::to_string(batch.nRecipe) + std::to_string(batch.nFirstDose) + "=";
    return str + batch.ValuesText();
}

TEST_F(StoreEndToEnd, SearchPollAndReload)
{
    const int anAddress[3] = {1, 2, 3};
    CSimIndicator* apInd[3];
    for (int i = 0; i < 3; ++i) {
        apInd[i] = &m_line.AddIndicator(anAddress[i]);
        apInd[i]->ApplyDemoTuning();
        apInd[i]->SetTune(40 + i, 0, 100 + i);  // the three tunings differ
        apInd[i]->SetState(5, 0, 0);            // a recipe without doses: nothing followed before polling starts
    }
    ASSERT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr));
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);

    for (int i = 0; i < 3; ++i) {
        CSimAutoPlan plan;
        plan.anRecipes = {1, 2, 3};
        plan.nDosePolls = 2;
        plan.nIdlePolls = 1;
        plan.nSeed = 17u + static_cast<uint32_t>(i);
        ASSERT_TRUE(apInd[i]->StartAuto(plan));
    }
    constexpr int kPolls = 300;
    int nCompletedTicks = 0;
    for (int n = 0; n < kPolls; ++n) {
        int nRow = -1;
        bool bCompleted = false;
        m_store.Poll(m_port, &nRow, &bCompleted);
        nCompletedTicks += bCompleted ? 1 : 0;
    }
    EXPECT_GT(nCompletedTicks, 20);

    // What the simulator says the product should have recorded, indicator by indicator.
    std::array<std::string, 3> astrFile;
    std::array<std::array<int32_t, 100>, 3> aanTotals{};
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE("slot " + std::to_string(s));
        const std::vector<CSimBatch> aBatches = apInd[s]->Batches();
        ASSERT_GE(aBatches.size(), 10u);
        std::string strText;
        for (const CSimBatch& batch : aBatches) {
            astrFile[static_cast<size_t>(s)] += LineOf(batch) + "\r\n";
            strText += LineOf(batch) + "|";
            for (int d = 0; d < 10; ++d)
                aanTotals[static_cast<size_t>(s)][static_cast<size_t>(d + batch.nRecipe * 10)] += batch.anDoseWeights[static_cast<size_t>(d)];
        }
        EXPECT_EQ(std::string(m_store.GetRecordText(s)), strText);
        EXPECT_EQ(m_store.GetRecordCount(s), static_cast<int>(aBatches.size()));
        EXPECT_EQ(m_store.GetRunCount(s), static_cast<int>(aBatches.size()));
        for (int e = 0; e < 100; ++e)
            EXPECT_EQ(m_store.GetTotal(s, e), aanTotals[static_cast<size_t>(s)][static_cast<size_t>(e)]) << "entry " << e;
    }
    std::array<std::string, 3> astrText;
    for (int s = 0; s < 3; ++s)
        astrText[static_cast<size_t>(s)] = m_store.GetRecordText(s);

    // A second search: the tunings match, so every data file is reloaded into the same records and
    // the same totals that polling built.
    for (int i = 0; i < 3; ++i)
        apInd[i]->SetState(5, 0, 0);
    ASSERT_TRUE(m_store.Open(m_strDataDir.c_str()));
    for (int s = 0; s < 3; ++s)
        m_store.ClearRunCount(s);
    for (int s = 0; s < 3; ++s) {
        char szNN[3];
        std::snprintf(szNN, sizeof szNN, "%02d", anAddress[s]);
        EXPECT_EQ(ReadBytes(File(std::string("Data_i") + szNN)), astrFile[static_cast<size_t>(s)]) << szNN;
        EXPECT_EQ(ReadBytes(File(std::string("RecipesTune_i") + szNN)), TuningFileOf(*apInd[s])) << szNN;
    }
    ASSERT_TRUE(m_store.Search(nullptr, m_port, nullptr, nullptr));
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE("reloaded slot " + std::to_string(s));
        EXPECT_EQ(std::string(m_store.GetRecordText(s)), astrText[static_cast<size_t>(s)]);
        EXPECT_EQ(m_store.GetRunStart(s), static_cast<int>(astrText[static_cast<size_t>(s)].size()));
        EXPECT_EQ(m_store.GetRunCount(s), 0);
        for (int e = 0; e < 100; ++e)
            EXPECT_EQ(m_store.GetTotal(s, e), aanTotals[static_cast<size_t>(s)][static_cast<size_t>(e)]) << "entry " << e;
    }
}

}  // namespace
