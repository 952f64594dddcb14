// CBatchDlg against a recording view: start-up, painting, About, destroy, the acquisition phases over a simulated line,
// a close during a search, the cascade and the series rules.
#include <gtest/gtest.h>

#include <algorithm>
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

// A dialog on its own rig and view; Start() is the state after a normal start.
struct CDlg {
    CDlgRig m_rig;
    CRecordingView m_view;
    CBatchDlg m_dlg{m_view, m_rig.Context()};
    void Start(bool bSettings = true, bool bBaud = true)
    {
        ASSERT_TRUE(m_rig.StartLine(bSettings, bBaud));
        m_dlg.OnShowWindow();
    }
    void Choose(int nId, int nIndex)  // a user's choice: the item is selected, then its handler runs
    {
        m_view.m_mapSel[nId] = nIndex;
        nId == IDC_COMBO_INDICATOR ? m_dlg.OnSelchangeIndicator() : nId == IDC_COMBO_RECIPE ? m_dlg.OnSelchangeRecipe() : m_dlg.OnSelchangeDose();
    }
    bool Until(const std::function<bool()>& done) { return RunUntil(m_dlg, m_view, done); }
    // "Поиск", then the window's loop until the search has ended.
    void Search()
    {
        m_dlg.OnSearch();
        EXPECT_TRUE(Until([&] { return !m_dlg.IsSearching(); }));
    }
    // The window's loop while the line makes nPasses more requests to the indicator at nAddress.
    void Passes(int nAddress, int nPasses)
    {
        const int nTarget = m_rig.m_line.CountRequests(nAddress) + nPasses;
        EXPECT_TRUE(Until([&] { return m_rig.m_line.CountRequests(nAddress) >= nTarget; }));
        RunUntil(m_dlg, m_view, [] { return false; }, 20);  // what those passes reported
    }
};

TEST(CDlgTest, StartUpThatStopsEarlyLeavesTheControlsAsCreatedAndSearchAndPollingDoNothing)
{
    for (bool bSettings : {false, true}) {  // no settings file; a file without BAUD (a rate of 0 keeps the port closed)
        CDlg d;
        d.Start(bSettings, false);
        EXPECT_EQ(d.m_view.m_astrMessages, bSettings ? Strings{} : Strings{"Не могу открыть файл настроек TK4700_TUNE.INI"});
        EXPECT_EQ(Phase(d.m_view) + std::to_string(d.m_view.m_astrColumns.size()), "111111110");
        d.Search();
        d.m_dlg.OnStart();
        RunUntil(d.m_dlg, d.m_view, [] { return false; }, 100);
        EXPECT_EQ(Phase(d.m_view), "00000011");  // failed search, then "Старт"
        EXPECT_EQ(d.m_rig.m_line.CountRequests(), 0);
        // With settings, the search tried the port again, and said that it failed.
        EXPECT_EQ(d.m_view.m_astrWarnings.size(), bSettings ? 2u : 0u);
    }
}

TEST(CDlgTest, StartUpLaysOutTheListOncePaintDrawsUnlessMinimisedAboutAndDestroy)
{
    CDlg d;
    d.Start();
    d.m_dlg.OnShowWindow();  // runs once
    EXPECT_EQ(Phase(d.m_view), "10000001");
    ASSERT_EQ(d.m_view.m_aRows.size() + d.m_view.m_astrColumns.size(), 21u);  // headings and cells: the window test
    EXPECT_EQ(d.m_view.m_astrColumns[5] + d.m_view.m_aRows[9][0] + d.m_view.m_aRows[9][10], "Доза 4/7290");
    d.m_view.m_surface.m_aCalls.clear();
    d.m_dlg.OnPaint();  // the status box, then both panels
    const auto fills = d.m_view.m_surface.CallsOf(EDrawOp::FillBlack);
    ASSERT_EQ(fills.size(), 3u);
    EXPECT_EQ((std::array<int, 3>{fills[0].m_nX1 + fills[0].m_nY2, fills[1].m_nX1 + fills[1].m_nX2, fills[2].m_nX1 + fills[2].m_nX2}),
              (std::array<int, 3>{690 + 94, 8 + 333, 344 + 663}));
    EXPECT_FALSE(d.m_view.m_surface.HasText("Опрос"));
    d.m_view.m_surface.m_aCalls.clear();
    d.m_view.m_bMinimized = true;  // the window shows its icon
    d.m_dlg.OnPaint();
    EXPECT_TRUE(d.m_view.m_surface.m_aCalls.empty());
    for (int nCommand : {16, 16 | 0x3, 0xF060 /* SC_CLOSE */, 32})  // the low four bits are the system's
        d.m_dlg.OnSysCommand(nCommand);
    EXPECT_EQ(d.m_view.m_nAbouts, 2);
    // While polling Enter and Escape end nothing, and a close asks first ("Нет" is the default);
    // "Да" stops the line, then the window is told to close.
    d.m_dlg.OnStart();
    ASSERT_TRUE(d.m_dlg.IsPolling());
    EXPECT_FALSE(d.m_dlg.OnCloseKey());
    d.m_view.m_bAnswerYes = false;
    EXPECT_FALSE(d.m_dlg.OnCloseRequest());
    RunUntil(d.m_dlg, d.m_view, [] { return false; }, 100);
    EXPECT_TRUE(d.m_dlg.IsPolling() && d.m_view.m_nCloses == 0);
    d.m_view.m_bAnswerYes = true;
    EXPECT_FALSE(d.m_dlg.OnCloseRequest());
    EXPECT_EQ(d.m_view.m_astrQuestions, Strings(2, "Идёт опрос. Остановить сбор данных и выйти?"));
    EXPECT_TRUE(d.Until([&] { return d.m_view.m_nCloses == 1; }));
    EXPECT_TRUE(d.m_dlg.OnCloseRequest());
    d.m_dlg.OnDestroy();
    EXPECT_FALSE(d.m_rig.m_port.IsOpen() || d.m_rig.m_store.HasBuffers() || d.m_dlg.IsPolling());
    d.m_dlg.OnDestroy();  // again, as the window's destructor would: the sanitizer build sees any double free
}

// Batches of recipe 1 (header at dose 0, leave doses 0 and 1 with 0, leave dose 2 with the weight): records
// "..10=0,0,w" adding w to entry 12, shown in row 1, column 3. Four passes each.
std::vector<CSimStep> Batches(int nFirstWeight, int nCount)
{
    std::vector<CSimStep> aSteps;
    for (int i = 0; i < nCount; ++i)
        aSteps.insert(aSteps.end(), {{1, 0, 0}, {1, 1, 0}, {1, 2, 0}, {1, 0, nFirstWeight + i}});
    return aSteps;
}

// The recipe and dose lists and the store's current recipe and dose.
std::string Cascade(const CDlg& d)
{
    std::string str;
    for (int nId : {IDC_COMBO_RECIPE, IDC_COMBO_DOSE})
        for (const std::string& strItem : d.m_view.Items(nId))
            str += strItem + (nId == IDC_COMBO_RECIPE ? "r " : "d ");
    return str + std::to_string(d.m_rig.m_store.GetCurrentRecipe()) + "/" + std::to_string(d.m_rig.m_store.GetCurrentDose());
}

TEST(CDlgTest, SearchCascadePassesAndStopFollowThePhaseTableAndShowCompletedWeighings)
{
    CDlg d;
    CBatchStore& store = d.m_rig.m_store;
    CRecordingView& view = d.m_view;
    std::vector<CSimIndicator*> apInd;
    for (int nAddress : {3, 7, 9}) {  // three found: the scan stops at address 10
        apInd.push_back(&d.m_rig.m_line.AddIndicator(nAddress));
        if (nAddress != 9) {  // recipe 1: doses 1 and 2; recipe 3: dose 4. At 9 no recipe at all.
            apInd.back()->ConfigureDoses(1, 1, {500, 300});
            apInd.back()->ConfigureDoses(3, 4, {40});
        }
    }
    d.Start();
    d.m_dlg.OnSearch();
    EXPECT_EQ(Phase(view), "10000001");  // while the search runs on the line thread
    d.m_dlg.OnSearch();                  // a second "Поиск" meanwhile does nothing
    EXPECT_TRUE(d.Until([&] { return !d.m_dlg.IsSearching(); }));
    EXPECT_EQ(Phase(view), "11111111");
    EXPECT_EQ(d.m_rig.m_line.CountRequests(10), 0);
    EXPECT_EQ(view.Items(IDC_COMBO_INDICATOR), Strings({"3", "7", "9"}));
    EXPECT_EQ(Cascade(d) + std::to_string(view.ComboCurSel(IDC_COMBO_INDICATOR) + view.ComboCurSel(IDC_COMBO_RECIPE) + view.ComboCurSel(IDC_COMBO_DOSE)), "1r 3r 1d 2d 1/10");
    EXPECT_GT(view.m_nBarMoves, 300);  // scan and three downloads reached the bars
    d.Choose(IDC_COMBO_INDICATOR, 2);  // no recipe: both lists stay empty, the store keeps its recipe and dose
    EXPECT_EQ(Cascade(d) + std::to_string(view.ComboCurSel(IDC_COMBO_RECIPE)), "1/1-1");
    d.Choose(IDC_COMBO_INDICATOR, 0);
    const int nWrites = view.m_nCellWrites;
    d.Choose(IDC_COMBO_RECIPE, 1);  // "3": the doses are refilled, the totals list is not
    EXPECT_EQ(Cascade(d) + std::to_string(view.m_nCellWrites - nWrites), "1r 3r 4d 3/40");
    d.Choose(IDC_COMBO_RECIPE, 0);

    d.m_dlg.OnStart();
    d.m_dlg.OnStart();  // a second start (impossible from the window) starts nothing more
    EXPECT_EQ(Phase(view) + std::to_string(d.m_dlg.IsPolling()), "001111111");
    EXPECT_TRUE(view.m_surface.HasText("Опрос"));
    // A batch of slot 1: the row shows slot 0, the current indicator, until slot 1 is chosen (by position, not text).
    apInd[1]->SetScript(Batches(321, 1));
    ASSERT_TRUE(d.Until([&] { return store.GetTotal(1, 12) == 321; }));
    EXPECT_EQ(view.Cell(1, 3), "0");
    d.Choose(IDC_COMBO_INDICATOR, 1);
    for (int nEntry = 0; nEntry < 100; ++nEntry)  // row r, column d + 1: entry r x 10 + d
        EXPECT_EQ(view.Cell(nEntry / 10, nEntry % 10 + 1), nEntry == 12 ? "321" : "0") << nEntry;
    d.Choose(IDC_COMBO_INDICATOR, 0);
    d.Choose(IDC_COMBO_DOSE, 1);  // "2"
    // Ten batches of slot 0: each rewrites row 1 and blanks both panels; no chart before the tenth weighing.
    view.m_surface.m_aCalls.clear();
    apInd[0]->SetScript(Batches(500, 10));
    ASSERT_TRUE(d.Until([&] { return store.GetRunCount(0) == 1; }));
    const auto fills = view.m_surface.CallsOf(EDrawOp::FillBlack);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(view.Cell(1, 3) + "|" + view.Cell(1, 2) + "|" + std::to_string(fills[0].m_nX1) + "|" + std::to_string(fills[1].m_nX1), "500|0|8|344");
    ASSERT_TRUE(d.Until([&] { return store.GetRunCount(0) == 9; }));
    EXPECT_FALSE(d.m_rig.m_chartCurrent.m_bValid);
    ASSERT_TRUE(d.Until([&] { return store.GetRunCount(0) == 10; }));
    ASSERT_TRUE(d.m_rig.m_chartCurrent.m_bValid && d.m_rig.m_chartAll.m_bValid);
    EXPECT_DOUBLE_EQ(d.m_rig.m_chartCurrent.m_dMean, 504.5);
    EXPECT_DOUBLE_EQ(d.m_rig.m_chartCurrent.m_dFinal, 300.0);
    EXPECT_EQ(view.Cell(1, 3), "5045");
    // Passes that complete nothing change neither the list nor the charts.
    const int nWritesBefore = view.m_nCellWrites;
    view.m_surface.m_aCalls.clear();
    d.Passes(3, 3);
    EXPECT_TRUE(view.m_nCellWrites == nWritesBefore && view.m_surface.m_aCalls.empty());
    d.Choose(IDC_COMBO_DOSE, 0);  // dose 1 of every record is 0: both charts emptied
    EXPECT_FALSE(d.m_rig.m_chartCurrent.m_bValid || d.m_rig.m_chartAll.m_bValid);
    d.Choose(IDC_COMBO_DOSE, 1);
    // "Стоп" with a batch under way drops the run count and the pending batch; while idle it draws nothing.
    apInd[0]->SetScript({{1, 0, 0}, {1, 1, 0}});
    d.Passes(3, 2);
    d.m_dlg.OnStop();
    EXPECT_EQ(Phase(view) + std::to_string(store.GetRunCount(0)), "111111110");
    view.m_surface.m_aCalls.clear();
    view.EnableControl(IDC_START, false);
    d.m_dlg.OnStop();
    EXPECT_TRUE(view.m_surface.m_aCalls.empty() && view.IsEnabled(IDC_START));
    // A second run: the run start stays, so twenty records follow it; the current chart takes this run's
    // ten. Its first batch starts afresh: the pending one was dropped, so no record mixes the two.
    d.m_dlg.OnStart();
    apInd[0]->SetScript(Batches(700, 10));
    ASSERT_TRUE(d.Until([&] { return store.GetRunCount(0) == 10; }));
    ASSERT_EQ(store.GetRecordCount(0), 20);
    EXPECT_DOUBLE_EQ(d.m_rig.m_chartCurrent.m_dMean, 704.5);
    EXPECT_DOUBLE_EQ(d.m_rig.m_chartAll.m_dMean, 604.5);
    // A search that finds nobody because the line hung up during it: said, acquisition off, the list
    // and the charts as empty as the store.
    d.m_dlg.OnStop();
    d.m_rig.m_line.HangUp();
    const size_t nWarnings = view.m_astrWarnings.size();
    d.Search();
    EXPECT_EQ(Phase(view) + std::to_string(view.ComboCount(IDC_COMBO_INDICATOR) + view.ComboCount(IDC_COMBO_RECIPE)), "100000110");
    const Strings astrNew(view.m_astrWarnings.begin() + static_cast<long>(nWarnings), view.m_astrWarnings.end());
    EXPECT_TRUE(std::any_of(astrNew.begin(), astrNew.end(), [](const std::string& str) { return str.find("пропал") != std::string::npos; }));
    EXPECT_EQ((Strings{view.Cell(1, 3), view.Cell(1, 2)}), (Strings{"0", "0"}));
    EXPECT_FALSE(d.m_rig.m_chartCurrent.m_bValid || d.m_rig.m_chartAll.m_bValid);
}

// A close during a search: a second "Поиск" meanwhile does nothing; the search stops at its next safe point,
// the indicator being downloaded gets its state code (17) back as the last frame, then the view is told to close.
TEST(CDlgTest, CloseDuringASearchStopsItAtTheNextSafePointThenCloses)
{
    const struct { const char* pszCloseAfter; bool bAnswers; } aCases[] = {
        {"HT 00 18", true},  // during the download
        {"HT 00 0", false},  // during the retries of entry 0: no more tries
    };
    for (const auto& c : aCases) {
        CDlg d;
        CSimIndicator& ind = d.m_rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(1, 0, {500});
        ind.SetState(1, 7, 0);
        ind.SetFault(c.bAnswers ? ESimFault::kNone : ESimFault::kNoAnswer, -1, 'T');
        d.m_rig.m_line.AddIndicator(1).ConfigureDoses(1, 0, {500});
        d.Start();
        d.m_dlg.OnSearch();
        auto seen = [&] { const Strings astr = d.m_rig.Requests(); return std::find(astr.begin(), astr.end(), c.pszCloseAfter) != astr.end(); };
        ASSERT_TRUE(d.Until(seen));
        d.m_dlg.OnSearch();
        EXPECT_TRUE(d.m_dlg.IsSearching() && !d.m_dlg.OnCloseRequest() && d.m_view.m_nCloses == 0);
        EXPECT_TRUE(d.Until([&] { return d.m_view.m_nCloses == 1; }));
        const Strings astr = d.m_rig.Requests();
        ASSERT_GE(astr.size(), 3u);
        EXPECT_EQ(astr.back(), "HT 00 17");  // the state code
        EXPECT_LE(std::count(astr.begin(), astr.end(), c.pszCloseAfter), 3) << "no retries after the close";
        EXPECT_LT(std::count_if(astr.begin(), astr.end(), [](const std::string& str) { return str.starts_with("HT 00"); }), 40);
        EXPECT_EQ(std::pair(d.m_view.ComboCount(IDC_COMBO_INDICATOR), d.m_rig.m_line.CountRequests(1)), std::pair(0, 0));
        EXPECT_TRUE(d.m_dlg.OnCloseRequest());
    }
}

// ---- The series rules: the chart starts from ten values 1..10 with the final value 5 ---------------

class CSeriesFixture : public ::testing::Test, public CDlg {
protected:
    static constexpr double kPrevious[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    void SetUp() override
    {
        Start();
        m_rig.m_store.SetTuneValue(0, 12, 0, 200);  // recipe 1, dose 2: final value 200
        ASSERT_TRUE(m_rig.m_chartAll.Compute(kPrevious, 10, 5));
    }
    // nCount records of recipe nRecipe, doses 0..nDose, dose nDose holding nBase + nStep * i, the others 0.
    void AddRecords(int nCount, int nRecipe, int nDose, int nBase, int nStep)
    {
        for (int i = 0; i < nCount; ++i) {
            std::string str = "01.02.2026,10:20:30," + std::to_string(nRecipe) + "0=";
            for (int d = 0; d <= nDose; ++d)
                str += std::to_string(d == nDose ? nBase + nStep * i : 0) + ",";
            ASSERT_TRUE(m_rig.m_store.AppendRecord(0, str.c_str()));
        }
    }
};

struct CSeriesCase {
    const char* pszName;
    std::vector<std::array<int, 5>> aRecords;  // AddRecords arguments: count, recipe, dose, base, step
    int nDose;                     // the chosen dose of recipe 1, slot 0
    bool bCurrent, bValid;         // bCurrent: BuildCurrentSeries (run count 0) instead of BuildAllSeries
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

class CSeriesTest : public CSeriesFixture, public ::testing::WithParamInterface<CSeriesCase> {};

TEST_P(CSeriesTest, Rule)
{
    const CSeriesCase& c = GetParam();
    ASSERT_TRUE(!c.bCurrent || m_rig.m_chartCurrent.Compute(kPrevious, 10, 5));
    for (const auto& an : c.aRecords)
        AddRecords(an[0], an[1], an[2], an[3], an[4]);
    m_rig.m_store.SetCurrentRecipe(1);
    m_rig.m_store.SetCurrentDose(c.nDose);
    m_view.m_surface.m_aCalls.clear();
    const int nRepaints = m_view.m_nRepaints;
    c.bCurrent ? m_dlg.BuildCurrentSeries(m_rig.m_store.GetRunStart(0)) : m_dlg.BuildAllSeries();
    const CWeighChart& chart = c.bCurrent ? m_rig.m_chartCurrent : m_rig.m_chartAll;
    EXPECT_EQ(chart.m_bValid, c.bValid);
    EXPECT_DOUBLE_EQ(chart.m_dMean, c.dMean);
    EXPECT_DOUBLE_EQ(c.bValid ? chart.m_dFinal : 0.0, c.dFinal);
    EXPECT_NEAR(chart.m_dSigma, c.bValid && c.dSigma >= 0 ? c.dSigma : chart.m_dSigma, 1e-9);
    EXPECT_EQ(m_view.Fills(), c.bRedrawn ? 3u : 0u);  // status box and both panels
    EXPECT_EQ(m_view.m_nRepaints > nRepaints, c.bRedrawn);
    EXPECT_EQ(m_view.m_surface.HasText("Final"), c.bRedrawn && c.bValid);
}

INSTANTIATE_TEST_SUITE_P(Series, CSeriesTest, ::testing::ValuesIn(kSeries));

}  // namespace
}  // namespace tkdtest
