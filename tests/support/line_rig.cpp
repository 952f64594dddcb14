// The line rig: a simulated line under the files rig, and the checks of data files against the simulator.
#include "line_rig.h"

namespace tkdtest {

std::string TuningFileOf(const CSimIndicator& ind)
{
    return TuningText(10, [&ind](int e, int k) { return ind.Tune(e, k); });
}

std::vector<std::string> ExpectedLines(const std::vector<CSimBatch>& aBatches)
{
    std::vector<std::string> aLines;
    for (const CSimBatch& batch : aBatches) {
        const std::string strHeader = kHeaderTime + std::to_string(batch.nRecipe) + std::to_string(batch.nFirstDose) + "=";
        aLines.push_back((batch.bHeader ? strHeader : "") + batch.ValuesText());
    }
    return aLines;
}

void CLineRig::SetUp()
{
    CFilesRig::SetUp();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(m_line.Start());
    ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    ASSERT_TRUE(OpenPort());
}

int CLineRig::Poll(int nTicks)
{
    int nCompleted = 0;
    const auto Runs = [this] { return m_store.GetRunCount(0) + m_store.GetRunCount(1) + m_store.GetRunCount(2); };
    for (int i = 0; i < nTicks; ++i) {
        const int nBefore = Runs();
        int nRow = -1;
        bool bCompleted = false;
        m_store.Poll(m_port, &nRow, &bCompleted);
        EXPECT_EQ(bCompleted, Runs() > nBefore);
        nCompleted += Runs() - nBefore;
    }
    return nCompleted;
}

int CLineRig::Attach(CSimIndicator& ind)
{
    const int nSlot = RegisterWithTuning(ind.Address(), [&ind](int e, int k) { return ind.Tune(e, k); });
    EXPECT_TRUE(m_store.OpenIndicatorFiles(ind.Address()));
    return nSlot;
}

void CLineRig::ExpectRecordsOfBatches(CSimIndicator& ind)
{
    EXPECT_EQ(DataLines(DataPath(ind.Address())), ExpectedLines(ind.Batches())) << "indicator " << ind.Address();
}

}  // namespace tkdtest
