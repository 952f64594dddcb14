// Search, start, stop and the polling tick of CBatchDlg over a simulated line: the phase table and what each tick shows.
#include <chrono>

#include "dlg_fixture.h"

namespace tkdtest {
namespace {

constexpr CPhase kAfterStartup{true, false, false, false, false, true};
constexpr CPhase kSearching{true, false, false, false, false, true};
constexpr CPhase kAfterSearch{true, true, true, true, true, true};
constexpr CPhase kPolling{false, false, true, true, true, true};
constexpr CPhase kAfterStop{true, true, true, true, true, true};

class CAcquisitionTest : public CDlgTest {
protected:
    // One indicator at address 0: recipe 1 with doses 1 and 2 (final values 500 and 300), recipe 3 with dose 4.
    CSimIndicator& AddIndicator(int nAddress)
    {
        CSimIndicator& ind = m_line.AddIndicator(nAddress);
        ind.ConfigureDoses(1, 1, {500, 300});
        ind.ConfigureDoses(3, 4, {40});
        ind.SetState(1, 0, 0);
        return ind;
    }

    // One batch of recipe 1 in three replies: header at dose 0, leave dose 0 (weight 0), leave dose 1
    // with nWeight and return to 0: a record "..10=0,nWeight" adding nWeight to entry 11.
    static std::vector<CSimStep> Batch(int nWeight)
    {
        return {{1, 0, 0, 1, {}}, {1, 1, 0, 1, {}}, {1, 0, nWeight, 1, {}}};
    }

    void Tick(int nCount)
    {
        for (int i = 0; i < nCount; ++i)
            m_dlg.OnTimer();
    }
};

TEST_F(CAcquisitionTest, ASearchShowsThePhasesAndFillsTheWindowFromTheFirstIndicator)
{
    AddIndicator(0);
    StartUp();
    ExpectPhase(kAfterStartup, "after start-up");

    m_view.m_pump.m_fnHook = [&](int nCall) {
        if (nCall == 50)
            ExpectPhase(kSearching, "while searching");
    };
    m_dlg.OnSearch();

    ExpectPhase(kAfterSearch, "after the search");
    EXPECT_EQ(m_view.Items(IDC_COMBO_INDICATOR), (std::vector<std::string>{"0"}));
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_INDICATOR), 0);
    EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(m_store.GetCurrentRecipe(), 1);
    EXPECT_EQ(m_store.GetCurrentDose(), 1);
    // Both bars moved during the search and ended at 0.
    EXPECT_GE(m_view.m_scan.m_anHistory.size(), 100u);
    EXPECT_EQ(m_view.m_download.m_anHistory.size(), 101u);
    EXPECT_EQ(m_view.m_download.m_anHistory[99], 100);
    EXPECT_EQ(m_view.m_scan.m_nPos, 0);
    EXPECT_EQ(m_view.m_download.m_nPos, 0);
    EXPECT_GT(m_view.m_pump.m_nCalls, 100);
}

TEST_F(CAcquisitionTest, StartStopAndTicksFollowThePhaseTableAndShowCompletedWeighings)
{
    CSimIndicator& ind = AddIndicator(0);
    StartUp();
    m_dlg.OnSearch();
    ASSERT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 1);

    m_view.m_surface.m_aCalls.clear();
    m_dlg.OnStart();
    ExpectPhase(kPolling, "polling");
    EXPECT_EQ(m_view.m_nRunningTimer, 3);
    EXPECT_EQ(m_view.m_nPeriodMs, 300);
    EXPECT_EQ(m_dlg.TimerId(), 3);
    const CDrawCall* pLamp = m_view.m_surface.FindText("Опрос");
    ASSERT_NE(pLamp, nullptr);
    EXPECT_EQ(pLamp->m_rgbText, (CRgb{255, 0, 0}));
    m_dlg.OnStart();  // a second start (impossible from the window) starts no second timer
    EXPECT_EQ(m_view.m_nTimerStarts, 1);

    // A steady state: ticks complete nothing and change nothing.
    m_view.m_surface.m_aCalls.clear();
    const int nWrites = m_view.m_nCellWrites;
    Tick(3);
    EXPECT_EQ(m_view.m_nCellWrites, nWrites);
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());

    // One batch: row 1 of the totals list is rewritten from the store; the panels are blanked, but
    // with fewer than ten weighings neither chart is recomputed.
    ind.SetScript(Batch(510));
    Tick(3);
    EXPECT_EQ(m_store.GetRunCount(0), 1);
    EXPECT_EQ(m_view.Cell(1, 2), "510");
    EXPECT_EQ(m_view.Cell(1, 1), "0");
    EXPECT_EQ(m_view.m_surface.CallsOf(EDrawOp::FillBlack).size(), 2u);
    EXPECT_FALSE(m_chartCurrent.m_bValid);

    // "Стоп": timer killed, lamp off, everything on again, run count and pending batch dropped.
    ind.SetScript({{1, 0, 0, 1, {}}, {1, 1, 0, 1, {}}});
    Tick(2);
    EXPECT_STRNE(m_store.GetLastState(0), "");
    m_view.m_surface.m_aCalls.clear();
    m_dlg.OnStop();
    ExpectPhase(kAfterStop, "after stop");
    EXPECT_EQ(m_view.m_nRunningTimer, 0);
    EXPECT_EQ(m_dlg.TimerId(), 0);
    EXPECT_EQ(m_store.GetRunCount(0), 0);
    EXPECT_STREQ(m_store.GetLastState(0), "");
    EXPECT_EQ(m_view.m_surface.FindText("Опрос"), nullptr);
    EXPECT_EQ(m_view.m_surface.CallsOf(EDrawOp::FillBlack).size(), 3u);  // status box and both panels

    // "Стоп" while idle: no timer call, no drawing, the buttons on.
    m_view.m_surface.m_aCalls.clear();
    m_view.EnableControl(IDC_START, false);
    m_dlg.OnStop();
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());
    EXPECT_TRUE(m_view.IsEnabled(IDC_START));
}

TEST_F(CAcquisitionTest, TheTenthWeighingOfARunBuildsTheCurrentChartFromThatRunOnly)
{
    CSimIndicator& ind = AddIndicator(0);
    StartUp();
    m_dlg.OnSearch();
    m_dlg.OnStart();
    std::vector<CSimStep> aSteps;
    for (int i = 0; i < 10; ++i) {
        const std::vector<CSimStep> aBatch = Batch(500 + i);
        aSteps.insert(aSteps.end(), aBatch.begin(), aBatch.end());
    }
    ind.SetScript(aSteps);
    Tick(27);  // nine batches
    EXPECT_EQ(m_store.GetRunCount(0), 9);
    EXPECT_FALSE(m_chartCurrent.m_bValid);
    Tick(3);
    ASSERT_EQ(m_store.GetRunCount(0), 10);
    ASSERT_TRUE(m_chartCurrent.m_bValid);
    EXPECT_DOUBLE_EQ(m_chartCurrent.m_dMean, 504.5);
    EXPECT_DOUBLE_EQ(m_chartCurrent.m_dFinal, 500.0);
    ASSERT_TRUE(m_chartAll.m_bValid);
    EXPECT_EQ(m_view.Cell(1, 2), std::to_string(5045));

    // A second run after Stop: the run count restarts, the run start stays, so twenty records follow
    // it; the current chart takes the ten of this run, the all chart every record.
    m_dlg.OnStop();
    m_dlg.OnStart();
    aSteps.clear();
    for (int i = 0; i < 10; ++i) {
        const std::vector<CSimStep> aBatch = Batch(700 + i);
        aSteps.insert(aSteps.end(), aBatch.begin(), aBatch.end());
    }
    ind.SetScript(aSteps);
    Tick(30);
    ASSERT_EQ(m_store.GetRunCount(0), 10);
    EXPECT_EQ(m_store.GetRecordCount(0), 20);
    EXPECT_DOUBLE_EQ(m_chartCurrent.m_dMean, 704.5);
    EXPECT_DOUBLE_EQ(m_chartAll.m_dMean, 604.5);
}

TEST_F(CAcquisitionTest, ATickShowsTheCurrentIndicatorsRowWhicheverIndicatorCompleted)
{
    AddIndicator(0);
    CSimIndicator& second = AddIndicator(1);
    CSimIndicator& third = AddIndicator(2);  // three found: the scan stops at address 3
    third.ConfigureDoses(2, 0, {10});
    StartUp();
    m_dlg.OnSearch();
    ASSERT_EQ(m_view.Items(IDC_COMBO_INDICATOR), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(m_line.CountRequests(3), 0);

    m_dlg.OnStart();
    second.SetScript(Batch(321));
    Tick(3);
    // The store added 321 to slot 1's entry 11; the row shows slot 0, the current indicator.
    EXPECT_EQ(m_store.GetTotal(1, 11), 321);
    EXPECT_EQ(m_view.Cell(1, 2), "0");

    m_view.UserSelect(IDC_COMBO_INDICATOR, 1);
    m_dlg.OnSelchangeIndicator();
    EXPECT_EQ(m_view.Cell(1, 2), "321");
}

TEST_F(CAcquisitionTest, WhenTheTimerCannotStartTheLampStaysDarkUntilStop)
{
    StartUp();
    m_view.m_bTimerWorks = false;
    m_view.m_surface.m_aCalls.clear();
    m_dlg.OnStart();
    EXPECT_EQ(m_dlg.TimerId(), 0);
    EXPECT_EQ(m_view.m_surface.FindText("Опрос"), nullptr);
    EXPECT_FALSE(m_view.IsEnabled(IDC_SEARCH));
    EXPECT_FALSE(m_view.IsEnabled(IDC_START));
    m_dlg.OnStop();
    EXPECT_TRUE(m_view.IsEnabled(IDC_SEARCH));
    EXPECT_TRUE(m_view.IsEnabled(IDC_START));
}

TEST_F(CAcquisitionTest, ASearchThatFindsNobodyLeavesAcquisitionOffAndTheListAsItWas)
{
    AddIndicator(0);
    StartUp();
    m_dlg.OnSearch();
    m_view.UserSelect(IDC_COMBO_INDICATOR, 0);
    const std::string strCell = m_view.Cell(1, 2);
    m_line.Find(0)->SetFault(ESimFault::kNoAnswer);

    m_dlg.OnSearch();
    ExpectPhase({true, false, false, false, true, true}, "failed search after a good one");
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_RECIPE), 0);
    EXPECT_EQ(m_view.Cell(1, 2), strCell);
}

// ---- The mended faults: a click or a close that the search's own pump dispatches ------------------

TEST_F(CAcquisitionTest, ASearchClickedDuringASearchDoesNothing)
{
    AddIndicator(0);
    StartUp();
    m_view.m_pump.m_fnHook = [this](int nCall) {
        if (nCall == 5 || nCall == 150)
            m_dlg.OnSearch();
    };
    m_dlg.OnSearch();
    // One scan from address 1 up: an inner search would have started the bar again from 1.
    int nStarts = 0;
    for (int nPos : m_view.m_scan.m_anHistory)
        nStarts += nPos == 1 ? 1 : 0;
    EXPECT_EQ(nStarts, 1);
    EXPECT_EQ(m_line.CountRequests(0, 'L'), 1);
    ExpectPhase(kAfterSearch, "after the search");
    EXPECT_EQ(m_view.Items(IDC_COMBO_INDICATOR), (std::vector<std::string>{"0"}));
}

TEST_F(CAcquisitionTest, ACloseDuringASearchEndsItPromptlyAndClosesAfterwards)
{
    AddIndicator(0);
    StartUp();
    bool bRefused = false;
    int nRequestsAtClose = 0;
    std::chrono::steady_clock::time_point tClose;
    m_view.m_pump.m_fnHook = [&](int nCall) {
        if (nCall == 20) {  // in the middle of the tuning download of address 0
            nRequestsAtClose = m_line.CountRequests();
            tClose = std::chrono::steady_clock::now();
            bRefused = !m_dlg.OnCloseRequest();
            EXPECT_FALSE(m_dlg.OnCloseRequest());  // asked again: still refused, nothing new
        }
    };
    m_dlg.OnSearch();
    const auto nMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tClose).count();

    EXPECT_TRUE(bRefused);
    EXPECT_TRUE(m_dlg.IsCloseRequested());
    EXPECT_FALSE(m_dlg.IsSearching());
    EXPECT_EQ(m_view.m_nCloses, 1);  // the window is closed once the search has returned
    // Nothing more went out on the line after the close. The rest of the search (80 entries and 99
    // addresses, some 6 s at this timing) ended at once, but for the download's three retry pauses.
    EXPECT_LE(m_line.CountRequests(), nRequestsAtClose + 1);
    EXPECT_LT(nMs, 2000);
    EXPECT_FALSE(m_port.IsOpen());
    // The window was not filled and nothing was released yet: the store still has its buffers.
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
    EXPECT_TRUE(m_store.HasBuffers());
    EXPECT_TRUE(m_dlg.OnCloseRequest());
    m_dlg.OnDestroy();
    EXPECT_FALSE(m_store.HasBuffers());
}

}  // namespace
}  // namespace tkdtest
