// The selection cascade, the totals list and the chart series rules of CBatchDlg, on a store filled directly.
#include <cmath>
#include <numeric>

#include "dlg_fixture.h"

namespace tkdtest {
namespace {

class CCascadeTest : public CDlgTest {
protected:
    void SetUp() override
    {
        StartUp();
        // Slot 0: recipe 1 with doses 1..3, recipe 4 with dose 7 only. Slot 1: recipe 2 with doses 0 and 5.
        for (int nDose = 1; nDose <= 3; ++nDose)
            m_store.SetTuneValue(0, 10 + nDose, 0, 100 * nDose);
        m_store.SetTuneValue(0, 47, 0, 777);
        m_store.SetTuneValue(1, 20, 0, 50);
        m_store.SetTuneValue(1, 25, 0, 55);
        for (int nEntry = 0; nEntry < 100; ++nEntry) {
            m_store.AddTotal(0, nEntry, 1000 + nEntry);
            m_store.AddTotal(1, nEntry, 2000 + nEntry);
        }
        // The indicator list as a search leaves it: the text is the address, the position the slot.
        m_view.ComboAdd(IDC_COMBO_INDICATOR, "42");
        m_view.ComboAdd(IDC_COMBO_INDICATOR, "7");
        m_view.ComboSelect(IDC_COMBO_INDICATOR, 0);
    }

    // n records of recipe r, first dose 0, with value v(i) for dose d and 0 for the others.
    void AddRecords(int nSlot, int nCount, int nRecipe, int nDose, int (*fnValue)(int))
    {
        for (int i = 0; i < nCount; ++i) {
            std::vector<int> anValues(static_cast<size_t>(nDose + 1), 0);
            anValues[static_cast<size_t>(nDose)] = fnValue(i);
            ASSERT_TRUE(m_store.AppendRecord(nSlot, RecordText(nRecipe, 0, anValues).c_str()));
        }
    }
};

TEST_F(CCascadeTest, ChoosingAnIndicatorUsesItsPositionAndRefillsRecipesDosesAndTotals)
{
    m_view.UserSelect(IDC_COMBO_INDICATOR, 1);  // text "7", position 1
    m_dlg.OnSelchangeIndicator();

    EXPECT_EQ(m_store.GetCurrentIndicator(), 1);
    EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), (std::vector<std::string>{"2"}));
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_RECIPE), 0);
    EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), (std::vector<std::string>{"0", "5"}));
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_DOSE), 0);
    EXPECT_EQ(m_store.GetCurrentRecipe(), 2);
    EXPECT_EQ(m_store.GetCurrentDose(), 0);
    // All 100 cells show slot 1: row r, column d + 1 holds entry r x 10 + d.
    for (int nRow = 0; nRow < 10; ++nRow) {
        for (int nDose = 0; nDose < 10; ++nDose)
            EXPECT_EQ(m_view.Cell(nRow, nDose + 1), std::to_string(2000 + nRow * 10 + nDose));
    }

    m_view.UserSelect(IDC_COMBO_INDICATOR, 0);
    m_dlg.OnSelchangeIndicator();
    EXPECT_EQ(m_store.GetCurrentIndicator(), 0);
    EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(m_store.GetCurrentRecipe(), 1);
    EXPECT_EQ(m_store.GetCurrentDose(), 1);
    EXPECT_EQ(m_view.Cell(9, 10), "1099");
    // Both panels were blanked before the series were rebuilt.
    const auto fills = m_view.m_surface.CallsOf(EDrawOp::FillBlack);
    ASSERT_GE(fills.size(), 2u);
    EXPECT_EQ(fills[0].m_nX1, 8);
    EXPECT_EQ(fills[1].m_nX1, 344);
}

TEST_F(CCascadeTest, ChoosingARecipeRefillsOnlyTheDoses)
{
    m_view.UserSelect(IDC_COMBO_INDICATOR, 0);
    m_dlg.OnSelchangeIndicator();
    const int nWrites = m_view.m_nCellWrites;

    m_view.UserSelect(IDC_COMBO_RECIPE, 1);  // "4"
    m_dlg.OnSelchangeRecipe();
    EXPECT_EQ(m_store.GetCurrentRecipe(), 4);
    EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), (std::vector<std::string>{"7"}));
    EXPECT_EQ(m_store.GetCurrentDose(), 7);
    EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(m_view.m_nCellWrites, nWrites);  // the totals list is not refilled
}

TEST_F(CCascadeTest, ChoosingADoseMakesItCurrentAndRebuildsTheCharts)
{
    AddRecords(0, 12, 1, 3, [](int i) { return 290 + i; });
    m_view.UserSelect(IDC_COMBO_INDICATOR, 0);
    m_dlg.OnSelchangeIndicator();
    EXPECT_TRUE(m_chartAll.m_bValid == false);  // dose 1 of those records is 0 everywhere

    m_view.UserSelect(IDC_COMBO_DOSE, 2);  // "3"
    m_dlg.OnSelchangeDose();
    EXPECT_EQ(m_store.GetCurrentDose(), 3);
    ASSERT_TRUE(m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 295.5);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dFinal, 300.0);
}

TEST_F(CCascadeTest, AnIndicatorWithoutTuningLeavesBothListsEmptyAndTheSelectionAsItWas)
{
    m_store.SetCurrentRecipe(4);
    m_store.SetCurrentDose(7);
    m_view.ComboAdd(IDC_COMBO_INDICATOR, "9");  // slot 2 has no tuning at all
    m_view.UserSelect(IDC_COMBO_INDICATOR, 2);
    m_dlg.OnSelchangeIndicator();
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_RECIPE), 0);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_DOSE), 0);
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_RECIPE), -1);
    EXPECT_EQ(m_store.GetCurrentRecipe(), 4);
    EXPECT_EQ(m_store.GetCurrentDose(), 7);
    EXPECT_EQ(m_view.Cell(0, 1), "0");
}

TEST_F(CCascadeTest, EmptyComboDeletesEveryItem)
{
    m_dlg.EmptyCombo(IDC_COMBO_INDICATOR);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
    m_dlg.EmptyCombo(IDC_COMBO_INDICATOR);  // already empty
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
}

TEST_F(CCascadeTest, EnableControlsTouchesStartStopAndTheCombosOnly)
{
    m_view.EnableControl(IDC_SEARCH, false);
    m_dlg.EnableControls(true);
    ExpectPhase({false, true, true, true, false, true}, "enabled");
    m_view.EnableControl(IDC_LIST_TOTALS, true);
    m_view.EnableControl(IDC_SEARCH, true);
    m_dlg.EnableControls(false);
    ExpectPhase({true, false, false, false, true, true}, "disabled");
}

// ---- The chart series ---------------------------------------------------------------------------

class CSeriesTest : public CCascadeTest {
protected:
    void Choose(int nSlot, int nRecipe, int nDose)
    {
        m_store.SetCurrentIndicator(nSlot);
        m_store.SetCurrentRecipe(nRecipe);
        m_store.SetCurrentDose(nDose);
    }
};

TEST_F(CSeriesTest, FewerThanTenRecordsLeaveTheChartAsItWasAndDrawNothing)
{
    const double adPrevious[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(m_chartAll.Compute(adPrevious, 10, 5));
    AddRecords(0, 9, 1, 2, [](int i) { return 180 + i; });
    Choose(0, 1, 2);
    m_view.m_surface.m_aCalls.clear();
    const int nRepaints = m_view.m_nRepaints;

    m_dlg.BuildAllSeries();
    EXPECT_TRUE(m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 5.5);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dFinal, 5.0);
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());
    EXPECT_EQ(m_view.m_nRepaints, nRepaints);
}

TEST_F(CSeriesTest, TenRecordsOfTheChosenDoseMakeStatisticsWithTheTunedFinalValue)
{
    AddRecords(0, 10, 1, 2, [](int i) { return 190 + 2 * i; });
    Choose(0, 1, 2);
    m_view.m_surface.m_aCalls.clear();
    m_dlg.BuildAllSeries();
    ASSERT_TRUE(m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 199.0);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dFinal, 200.0);  // GetTuneValue(0, 1, 2)
    EXPECT_NEAR(m_chartAll.m_dSigma, std::sqrt(33.0), 1e-9);
    // Redrawn at once: status box and both panels, the all panel with its text line.
    EXPECT_EQ(m_view.m_surface.CallsOf(EDrawOp::FillBlack).size(), 3u);
    EXPECT_NE(m_view.m_surface.FindText("Final"), nullptr);
}

TEST_F(CSeriesTest, OnlyRecordsOfTheChosenRecipeCountAndTooFewOfThemEmptyTheChart)
{
    const double adPrevious[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(m_chartAll.Compute(adPrevious, 10, 5));
    AddRecords(0, 6, 1, 2, [](int i) { return 200 + i; });
    AddRecords(0, 6, 4, 2, [](int i) { return 900 + i; });
    Choose(0, 1, 2);
    m_dlg.BuildAllSeries();  // 12 records, 6 of recipe 1: statistics need 10
    EXPECT_FALSE(m_chartAll.m_bValid);

    AddRecords(0, 4, 1, 2, [](int i) { return 206 + i; });
    m_dlg.BuildAllSeries();  // 10 of recipe 1 now; recipe 4's 900s stay out
    ASSERT_TRUE(m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 204.5);
}

TEST_F(CSeriesTest, AnAllZeroSeriesHandsTheChartNothing)
{
    const double adPrevious[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(m_chartAll.Compute(adPrevious, 10, 5));
    AddRecords(0, 12, 1, 2, [](int) { return 0; });
    Choose(0, 1, 2);
    m_view.m_surface.m_aCalls.clear();
    m_dlg.BuildAllSeries();
    EXPECT_FALSE(m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 0.0);
    // Still redrawn: the panel now shows nothing but black.
    EXPECT_EQ(m_view.m_surface.CallsOf(EDrawOp::FillBlack).size(), 3u);
    EXPECT_EQ(m_view.m_surface.FindText("Final"), nullptr);
}

TEST_F(CSeriesTest, ADoseMissingFromShortRecordsCountsAsZero)
{
    // Ten records with doses 0..1 only, and the chosen dose 3: all values 0, so the chart empties.
    AddRecords(0, 10, 1, 1, [](int i) { return 100 + i; });
    Choose(0, 1, 3);
    m_dlg.BuildAllSeries();
    EXPECT_FALSE(m_chartAll.m_bValid);
    Choose(0, 1, 1);
    m_dlg.BuildAllSeries();
    EXPECT_TRUE(m_chartAll.m_bValid);
}

TEST_F(CSeriesTest, TheCurrentSeriesNeedsTenWeighingsOfTheRun)
{
    // Without polling the run count is 0, whatever the text holds: the current chart stays.
    AddRecords(0, 15, 1, 2, [](int i) { return 200 + i; });
    Choose(0, 1, 2);
    m_dlg.BuildCurrentSeries(m_store.GetRunStart(0));
    EXPECT_FALSE(m_chartCurrent.m_bValid);
    EXPECT_TRUE(m_view.m_surface.CallsOf(EDrawOp::FillBlack).empty());
}

}  // namespace
}  // namespace tkdtest
