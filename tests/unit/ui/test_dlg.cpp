// CBatchDlg against a recording view: start-up, painting, About, destroy, the acquisition phases over a simulated line,
// a close during a search, the cascade and the series rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "dlg_rig.h"

namespace tkdtest {
namespace {

// Which of "Поиск", "Старт", "Стоп", the three combo boxes, the totals list and "Выход" are enabled.
std::string Phase(const CRecordingView& view)
{
    std::string str;
    for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_LIST_TOTALS, IDC_EXIT})
        str += view.IsEnabled(nId) ? '1' : '0';
    return str;
}
const char* const kAfterStartup = "10000001";
const char* const kAfterSearch = "11111111";
const char* const kFailedSearch = "10000011";

class CDlgTest : public ::testing::Test {
protected:
    void StartUp()
    {
        ASSERT_TRUE(m_rig.StartLine());
        m_dlg.OnShowWindow();
        ASSERT_TRUE(m_rig.m_port.IsOpen());
    }
    void Choose(int nId, int nIndex)  // a user's choice: the item is selected, then its handler runs
    {
        m_view.m_mapSel[nId] = nIndex;
        nId == IDC_COMBO_INDICATOR ? m_dlg.OnSelchangeIndicator()
        : nId == IDC_COMBO_RECIPE  ? m_dlg.OnSelchangeRecipe()
                                   : m_dlg.OnSelchangeDose();
    }
    void Tick(int nCount)
    {
        while (nCount-- > 0)
            m_dlg.OnTimer();
    }

    CDlgRig m_rig;
    CBatchStore& m_store = m_rig.m_store;
    CRecordingView m_view;
    CBatchDlg m_dlg{m_view, m_rig.Context()};
};

TEST_F(CDlgTest, StartUpThatStopsEarlyLeavesTheControlsAsCreatedAndSearchAndPollingDoNothing)
{
    const struct { bool bSettings, bBaud; const char* pszMessage; } aCases[] = {
        {false, true, "Не могу открыть файл настроек TK4700_TUNE.INI"},
        {true, false, nullptr},  // a rate of 0 keeps the port closed, silently
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.bSettings);
        CDlgRig rig;
        CRecordingView view;
        CBatchDlg dlg(view, rig.Context());
        ASSERT_TRUE(rig.StartLine(c.bSettings, c.bBaud));
        dlg.OnShowWindow();
        EXPECT_EQ(view.m_reporter.m_astrMessages, c.pszMessage ? Strings{c.pszMessage} : Strings{});
        EXPECT_FALSE(rig.m_port.IsOpen());
        EXPECT_EQ(Phase(view), "11111111");
        EXPECT_TRUE(view.m_astrColumns.empty());
        dlg.OnSearch();
        EXPECT_EQ(Phase(view), kFailedSearch);
        dlg.OnStart();
        dlg.OnTimer();
        EXPECT_EQ(view.m_nCellWrites, 0);
        EXPECT_EQ(rig.m_line.CountRequests(), 0);
    }
}

TEST_F(CDlgTest, StartUpLaysOutTheListOncePaintDrawsUnlessMinimisedAboutAndDestroy)
{
    StartUp();
    m_dlg.OnShowWindow();  // runs once
    EXPECT_EQ(Phase(m_view), kAfterStartup);
    Strings astrColumns = {"РЦ/30"};
    for (int nDose = 0; nDose < 10; ++nDose)
        astrColumns.push_back("Доза " + std::to_string(nDose) + "/72");
    EXPECT_EQ(m_view.m_astrColumns, astrColumns);
    ASSERT_EQ(m_view.m_aRows.size(), 10u);
    for (int nRow = 0; nRow < 10; ++nRow)
        EXPECT_EQ(m_view.m_aRows[static_cast<size_t>(nRow)], Strings({std::to_string(nRow), "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));

    m_view.m_surface.m_aCalls.clear();
    m_dlg.OnPaint();  // the status box, then both panels
    const auto fills = m_view.m_surface.CallsOf(EDrawOp::FillBlack);
    ASSERT_EQ(fills.size(), 3u);
    EXPECT_EQ((std::array<int, 3>{fills[0].m_nX1 + fills[0].m_nY2, fills[1].m_nX1 + fills[1].m_nX2, fills[2].m_nX1 + fills[2].m_nX2}),
              (std::array<int, 3>{690 + 94, 8 + 333, 344 + 663}));
    EXPECT_EQ(m_view.m_surface.FindText("Опрос"), nullptr);
    m_view.m_surface.m_aCalls.clear();
    m_view.m_bMinimized = true;  // the window shows its icon
    m_dlg.OnPaint();
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());
    for (int nCommand : {16, 16 | 0x3, 0xF060 /* SC_CLOSE */, 32})  // the low four bits are the system's
        m_dlg.OnSysCommand(nCommand);
    EXPECT_EQ(m_view.m_nAbouts, 2);

    m_dlg.OnStart();
    ASSERT_NE(m_view.m_nRunningTimer, 0);
    EXPECT_TRUE(m_dlg.OnCloseRequest());  // no search runs
    m_dlg.OnDestroy();
    EXPECT_EQ(m_view.m_nRunningTimer + m_dlg.TimerId(), 0);
    EXPECT_FALSE(m_rig.m_port.IsOpen());
    EXPECT_FALSE(m_store.HasBuffers());
    m_dlg.OnDestroy();  // again, as the window's destructor would: the sanitizer build sees any double free
}

// Batches of recipe 1, three replies each (header at dose 0, leave dose 0 with 0, leave dose 1 with the
// weight): each a record "..10=0,w" adding w to entry 11, shown in row 1, column 2.
std::vector<CSimStep> Batches(int nFirstWeight, int nCount)
{
    std::vector<CSimStep> aSteps;
    for (int i = 0; i < nCount; ++i)
        aSteps.insert(aSteps.end(), {{1, 0, 0}, {1, 1, 0}, {1, 0, nFirstWeight + i}});
    return aSteps;
}

TEST_F(CDlgTest, SearchStartTicksAndStopFollowThePhaseTableAndShowCompletedWeighings)
{
    std::vector<CSimIndicator*> apInd;
    for (int nAddress : {0, 1, 2}) {  // three found: the scan stops at address 3
        apInd.push_back(&m_rig.m_line.AddIndicator(nAddress));
        apInd.back()->ConfigureDoses(1, 1, {500, 300});  // recipe 1: doses 1 and 2; recipe 3: dose 4
        apInd.back()->ConfigureDoses(3, 4, {40});
        apInd.back()->SetState(1, 0, 0);
    }
    CSimIndicator& ind = *apInd[0];
    StartUp();
    std::string strWhileSearching;
    m_view.m_pump.m_fnHook = [&] { strWhileSearching = Phase(m_view); };
    m_dlg.OnSearch();
    EXPECT_EQ(strWhileSearching, kAfterStartup);
    EXPECT_EQ(Phase(m_view), kAfterSearch);
    EXPECT_EQ(m_view.Items(IDC_COMBO_INDICATOR), Strings({"0", "1", "2"}));
    EXPECT_EQ(m_rig.m_line.CountRequests(3), 0);
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_INDICATOR), 0);
    EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), Strings({"1", "3"}));
    EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), Strings({"1", "2"}));
    EXPECT_EQ(std::pair(m_store.GetCurrentRecipe(), m_store.GetCurrentDose()), std::pair(1, 1));
    EXPECT_GT(m_view.m_pump.m_nCalls, 300);

    m_dlg.OnStart();
    EXPECT_EQ(Phase(m_view), "00111111");
    EXPECT_EQ(m_dlg.TimerId(), 3);
    EXPECT_NE(m_view.m_surface.FindText("Опрос"), nullptr);
    m_dlg.OnStart();  // a second start (impossible from the window) starts no second timer
    EXPECT_EQ(m_view.m_nTimerStarts, 1);

    // A batch of slot 1: the row shows slot 0, the current indicator, until slot 1 is chosen.
    apInd[1]->SetScript(Batches(321, 1));
    Tick(3);
    EXPECT_EQ(m_store.GetTotal(1, 11), 321);
    EXPECT_EQ(m_view.Cell(1, 2), "0");
    Choose(IDC_COMBO_INDICATOR, 1);
    EXPECT_EQ(m_view.Cell(1, 2), "321");
    Choose(IDC_COMBO_INDICATOR, 0);

    // Ten batches of slot 0: each rewrites row 1 and blanks the panels, but neither chart is
    // recomputed before the tenth weighing of the run.
    ind.SetScript(Batches(500, 10));
    m_view.m_surface.m_aCalls.clear();
    Tick(3);
    EXPECT_EQ(m_view.Cell(1, 2), "500");
    EXPECT_EQ(m_view.Cell(1, 1), "0");
    EXPECT_EQ(m_view.Fills(), 2u);
    Tick(24);
    EXPECT_EQ(m_store.GetRunCount(0), 9);
    EXPECT_FALSE(m_rig.m_chartCurrent.m_bValid);
    Tick(3);
    ASSERT_EQ(m_store.GetRunCount(0), 10);
    ASSERT_TRUE(m_rig.m_chartCurrent.m_bValid);
    EXPECT_DOUBLE_EQ(m_rig.m_chartCurrent.m_dMean, 504.5);
    EXPECT_DOUBLE_EQ(m_rig.m_chartCurrent.m_dFinal, 500.0);
    EXPECT_TRUE(m_rig.m_chartAll.m_bValid);
    EXPECT_EQ(m_view.Cell(1, 2), "5045");

    // "Стоп" with a batch under way drops the run count and the pending batch; while idle it draws nothing.
    ind.SetScript({{1, 0, 0}, {1, 1, 0}});
    Tick(2);
    EXPECT_STRNE(m_store.GetLastState(0), "");
    m_dlg.OnStop();
    EXPECT_EQ(Phase(m_view), kAfterSearch);
    EXPECT_EQ(m_store.GetRunCount(0), 0);
    EXPECT_STREQ(m_store.GetLastState(0), "");
    m_view.m_surface.m_aCalls.clear();
    m_view.EnableControl(IDC_START, false);
    m_dlg.OnStop();
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());
    EXPECT_TRUE(m_view.IsEnabled(IDC_START));

    // A second run: the run start stays, so twenty records follow it; the current chart takes the ten
    // of this run, the all chart every record.
    m_dlg.OnStart();
    ind.SetScript(Batches(700, 10));
    Tick(30);
    ASSERT_EQ(m_store.GetRunCount(0), 10);
    EXPECT_EQ(m_store.GetRecordCount(0), 20);
    EXPECT_DOUBLE_EQ(m_rig.m_chartCurrent.m_dMean, 704.5);
    EXPECT_DOUBLE_EQ(m_rig.m_chartAll.m_dMean, 604.5);

    // A search that finds nobody (the port is gone) leaves acquisition off and the list as it was.
    m_rig.m_port.Close();
    m_dlg.OnSearch();
    EXPECT_EQ(Phase(m_view), kFailedSearch);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR) + m_view.ComboCount(IDC_COMBO_RECIPE), 0);
    EXPECT_EQ(m_view.Cell(1, 2), "12090");
}

// A close during a search: a second "Поиск" dispatched by the pump does nothing; the search stops at its
// next safe point, the indicator being downloaded gets its state code (17) back as the last frame, then
// the view is told to close. Pump call 1 is address 0; during a download, call k follows entry k - 2.
TEST_F(CDlgTest, CloseDuringASearchStopsItAtTheNextSafePointThenCloses)
{
    const struct { int nHookAt; bool bAnswers; Strings astrLast; } aCases[] = {
        {20, true, {"HT 00 17", "HT 00 18", "HT 00 17"}},     // during the download: after entry 18
        {3, false, {"HT 00 0", "HT 00 0", "HT 00 17"}},        // during the retries of entry 0: no more tries
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.nHookAt);
        CDlgRig rig;
        CRecordingView view;
        CBatchDlg dlg(view, rig.Context());
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(1, 0, {500});
        ind.SetState(1, 7, 0);
        if (!c.bAnswers)
            ind.SetFault(ESimFault::kNoAnswer, -1, 'T');
        rig.m_line.AddIndicator(1).ConfigureDoses(1, 0, {500});
        ASSERT_TRUE(rig.StartLine());
        dlg.OnShowWindow();
        size_t nRequestsAtClose = 0;
        view.m_pump.m_nHookAt = c.nHookAt;
        view.m_pump.m_fnHook = [&] {
            dlg.OnSearch();
            nRequestsAtClose = rig.Requests().size();
            EXPECT_TRUE(dlg.IsSearching());
            EXPECT_FALSE(dlg.OnCloseRequest());
            EXPECT_EQ(view.m_nCloses, 0);
        };
        dlg.OnSearch();
        const Strings astr = rig.Requests();
        ASSERT_GE(astr.size(), 3u);
        EXPECT_EQ(astr.size(), nRequestsAtClose + 1);  // the state code only
        EXPECT_EQ(Strings(astr.end() - 3, astr.end()), c.astrLast);
        EXPECT_EQ(rig.m_line.CountRequests(1), 0);
        EXPECT_EQ(view.m_nCloses, 1);
        EXPECT_EQ(view.ComboCount(IDC_COMBO_INDICATOR), 0);
        EXPECT_TRUE(rig.m_port.IsOpen());  // closed by the destroy handler, which runs next
    }
}

TEST_F(CDlgTest, EnableControlsAndATimerThatCannotStartFollowThePhaseTable)
{
    StartUp();
    m_view.EnableControl(IDC_SEARCH, false);
    m_dlg.EnableControls(true);  // touches Start, Stop and the combos only
    EXPECT_EQ(Phase(m_view), "01111101");
    m_view.m_bTimerWorks = false;
    m_dlg.OnStart();
    EXPECT_EQ(m_dlg.TimerId(), 0);
    EXPECT_EQ(m_view.m_surface.FindText("Опрос"), nullptr);  // the lamp stays dark
    EXPECT_EQ(Phase(m_view), "00111101");
    m_dlg.OnStop();
    EXPECT_EQ(Phase(m_view), "11111101");
}

// ---- The cascade and the series, on a store filled directly ---------------------------------------

class CCascadeTest : public CDlgTest {
protected:
    static constexpr double kPrevious[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    void SetUp() override
    {
        StartUp();
        // Slot 0: recipe 1 with doses 1..3, recipe 4 with dose 7. Slot 1: recipe 2 with doses 0 and 5.
        for (int nDose = 1; nDose <= 3; ++nDose)
            m_store.SetTuneValue(0, 10 + nDose, 0, 100 * nDose);
        m_store.SetTuneValue(0, 47, 0, 777);
        m_store.SetTuneValue(1, 20, 0, 50);
        m_store.SetTuneValue(1, 25, 0, 55);
        for (int nEntry = 0; nEntry < 100; ++nEntry) {
            m_store.AddTotal(0, nEntry, 1000 + nEntry);
            m_store.AddTotal(1, nEntry, 2000 + nEntry);
        }
        // As a search leaves the list: the text is the address, the position the slot.
        m_view.ComboAdd(IDC_COMBO_INDICATOR, "42");
        m_view.ComboAdd(IDC_COMBO_INDICATOR, "7");
        m_view.ComboSelect(IDC_COMBO_INDICATOR, 0);
        ASSERT_TRUE(m_rig.m_chartAll.Compute(kPrevious, 10, 5));
    }

    // nCount records of recipe nRecipe, doses 0..nDose, dose nDose holding nBase + nStep * i, the others 0.
    void AddRecords(int nCount, int nRecipe, int nDose, int nBase, int nStep)
    {
        for (int i = 0; i < nCount; ++i) {
            std::string str = "01.02.2026,10:20:30," + std::to_string(nRecipe) + "0=";
            for (int d = 0; d <= nDose; ++d)
                str += std::to_string(d == nDose ? nBase + nStep * i : 0) + ",";
            ASSERT_TRUE(m_store.AppendRecord(0, str.c_str()));
        }
    }
};

TEST_F(CCascadeTest, IndicatorByPositionRefillsAllRecipeRefillsDosesDoseRebuildsTheCharts)
{
    const auto expectCascade = [this](const Strings& astrRecipes, const Strings& astrDoses, int nRecipe, int nDose) {
        EXPECT_EQ(m_view.Items(IDC_COMBO_RECIPE), astrRecipes);
        EXPECT_EQ(m_view.Items(IDC_COMBO_DOSE), astrDoses);
        EXPECT_EQ(std::pair(m_store.GetCurrentRecipe(), m_store.GetCurrentDose()), std::pair(nRecipe, nDose));
    };
    Choose(IDC_COMBO_INDICATOR, 1);  // text "7", position 1
    EXPECT_EQ(m_store.GetCurrentIndicator(), 1);
    expectCascade({"2"}, {"0", "5"}, 2, 0);
    EXPECT_EQ(std::pair(m_view.ComboCurSel(IDC_COMBO_RECIPE), m_view.ComboCurSel(IDC_COMBO_DOSE)), std::pair(0, 0));
    for (int nRow = 0; nRow < 10; ++nRow)  // row r, column d + 1: entry r x 10 + d of slot 1
        for (int nDose = 0; nDose < 10; ++nDose)
            EXPECT_EQ(m_view.Cell(nRow, nDose + 1), std::to_string(2000 + nRow * 10 + nDose));

    AddRecords(12, 1, 3, 290, 1);
    m_view.m_surface.m_aCalls.clear();
    Choose(IDC_COMBO_INDICATOR, 0);
    expectCascade({"1", "4"}, {"1", "2", "3"}, 1, 1);
    EXPECT_EQ(m_view.Cell(9, 10), "1099");
    const auto fills = m_view.m_surface.CallsOf(EDrawOp::FillBlack);  // both panels blanked first
    ASSERT_GE(fills.size(), 2u);
    EXPECT_EQ(std::pair(fills[0].m_nX1, fills[1].m_nX1), std::pair(8, 344));
    EXPECT_FALSE(m_rig.m_chartAll.m_bValid);  // dose 1 of those records is 0 everywhere

    Choose(IDC_COMBO_DOSE, 2);  // "3"
    EXPECT_EQ(m_store.GetCurrentDose(), 3);
    ASSERT_TRUE(m_rig.m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(m_rig.m_chartAll.m_dMean, 295.5);
    EXPECT_DOUBLE_EQ(m_rig.m_chartAll.m_dFinal, 300.0);

    const int nWrites = m_view.m_nCellWrites;
    Choose(IDC_COMBO_RECIPE, 1);  // "4"
    expectCascade({"1", "4"}, {"7"}, 4, 7);
    EXPECT_EQ(m_view.m_nCellWrites, nWrites);  // the totals list is not refilled

    m_view.ComboAdd(IDC_COMBO_INDICATOR, "9");  // slot 2 has no tuning at all: the selection stays
    Choose(IDC_COMBO_INDICATOR, 2);
    expectCascade({}, {}, 4, 7);
    EXPECT_EQ(m_view.ComboCurSel(IDC_COMBO_RECIPE), -1);
    EXPECT_EQ(m_view.Cell(0, 1), "0");
}

// The series rules: the chart starts from ten values 1..10 with the final value 5.
struct CSeriesCase {
    const char* pszName;
    std::vector<std::array<int, 5>> aRecords;  // AddRecords arguments: count, recipe, dose, base, step
    int nDose;              // the chosen dose of recipe 1, slot 0
    bool bCurrent, bValid;  // bCurrent: BuildCurrentSeries (run count 0) instead of BuildAllSeries
    double dMean, dFinal, dSigma;  // dSigma < 0: not checked
    bool bRedrawn;
};

const CSeriesCase kSeries[] = {
    {"fewer than ten: kept, not redrawn", {{9, 1, 2, 180, 1}}, 2, false, true, 5.5, 5.0, -1, false},
    {"ten: final value from the tuning", {{10, 1, 2, 190, 2}}, 2, false, true, 199.0, 200.0, std::sqrt(33.0), true},
    {"only the chosen recipe counts: six are too few", {{6, 1, 2, 200, 1}, {6, 4, 2, 900, 1}}, 2, false, false, 0, 0, -1, true},
    {"ten of the recipe among others", {{6, 1, 2, 200, 1}, {6, 4, 2, 900, 1}, {4, 1, 2, 206, 1}}, 2, false, true, 204.5, 200.0, -1, true},
    {"all zero: emptied", {{12, 1, 2, 0, 0}}, 2, false, false, 0.0, 0, -1, true},
    {"a dose missing from short records counts as zero", {{10, 1, 1, 100, 1}}, 3, false, false, 0.0, 0, -1, true},
    {"current chart: no weighing of the run yet", {{15, 1, 2, 200, 1}}, 2, true, true, 5.5, 5.0, -1, false},
};

void PrintTo(const CSeriesCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class CSeriesTest : public CCascadeTest, public ::testing::WithParamInterface<CSeriesCase> {};

TEST_P(CSeriesTest, Rule)
{
    const CSeriesCase& c = GetParam();
    if (c.bCurrent) {
        ASSERT_TRUE(m_rig.m_chartCurrent.Compute(kPrevious, 10, 5));
    }
    for (const auto& an : c.aRecords)
        AddRecords(an[0], an[1], an[2], an[3], an[4]);
    m_store.SetCurrentIndicator(0);
    m_store.SetCurrentRecipe(1);
    m_store.SetCurrentDose(c.nDose);
    m_view.m_surface.m_aCalls.clear();
    const int nRepaints = m_view.m_nRepaints;
    c.bCurrent ? m_dlg.BuildCurrentSeries(m_store.GetRunStart(0)) : m_dlg.BuildAllSeries();
    const CWeighChart& chart = c.bCurrent ? m_rig.m_chartCurrent : m_rig.m_chartAll;
    EXPECT_EQ(chart.m_bValid, c.bValid);
    EXPECT_DOUBLE_EQ(chart.m_dMean, c.dMean);
    if (c.bValid) {
        EXPECT_DOUBLE_EQ(chart.m_dFinal, c.dFinal);
        EXPECT_NEAR(chart.m_dSigma, c.dSigma < 0 ? chart.m_dSigma : c.dSigma, 1e-9);
    }
    EXPECT_EQ(m_view.Fills(), c.bRedrawn ? 3u : 0u);  // status box and both panels
    EXPECT_EQ(m_view.m_nRepaints > nRepaints, c.bRedrawn);
    EXPECT_EQ(m_view.m_surface.FindText("Final") != nullptr, c.bRedrawn && c.bValid);
}

INSTANTIATE_TEST_SUITE_P(Series, CSeriesTest, ::testing::ValuesIn(kSeries));

}  // namespace
}  // namespace tkdtest
