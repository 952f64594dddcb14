// The start-up work, painting, the About command and the destroy handler of CBatchDlg, against a recording view.
#include "dlg_fixture.h"

namespace tkdtest {
namespace {

using CStartupTest = CDlgTest;

TEST_F(CStartupTest, WithoutSettingsFileShowsTheMessageAndLeavesEveryControlAsCreated)
{
    m_dlg.OnShowWindow();

    ASSERT_EQ(m_view.m_reporter.m_astrMessages.size(), 1u);
    EXPECT_EQ(m_view.m_reporter.m_astrMessages[0], "Не могу открыть файл настроек TK4700_TUNE.INI");
    // The ranges are set before the settings are read.
    EXPECT_EQ(m_view.m_scan.m_nMax, 99);
    EXPECT_EQ(m_view.m_download.m_nMax, 99);
    EXPECT_EQ(m_view.m_scan.m_nMin, 0);
    // Stopped before the port and the list: every control enabled, the list without columns or rows.
    ExpectPhase({true, true, true, true, true, true}, "settings missing");
    EXPECT_TRUE(m_view.m_aColumns.empty());
    EXPECT_TRUE(m_view.m_aRows.empty());
    EXPECT_FALSE(m_view.m_bFullRowSelect);
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(CStartupTest, PortThatCannotBeOpenedStopsTheWorkWithoutAMessage)
{
    WriteSettings(false);  // no BAUD: the port refuses a rate of 0
    StartLine();
    m_dlg.OnShowWindow();

    EXPECT_TRUE(m_view.m_reporter.m_astrMessages.empty());
    EXPECT_FALSE(m_port.IsOpen());
    ExpectPhase({true, true, true, true, true, true}, "port not opened");
    EXPECT_TRUE(m_view.m_aColumns.empty());

    // A search then fails at once (the port is closed) and leaves the acquisition controls off.
    m_dlg.OnSearch();
    ExpectPhase({true, false, false, false, true, true}, "failed search");
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
    EXPECT_EQ(m_line.CountRequests(), 0);
    // Polling without a search asks nobody and changes nothing.
    m_dlg.OnStart();
    const int nWrites = m_view.m_nCellWrites;
    m_dlg.OnTimer();
    EXPECT_EQ(m_view.m_nCellWrites, nWrites);
    EXPECT_EQ(m_line.CountRequests(), 0);
}

TEST_F(CStartupTest, WithSettingsAndPortLaysOutTheTotalsListAndDisablesAcquisition)
{
    StartUp();

    EXPECT_TRUE(m_view.m_reporter.m_astrMessages.empty());
    ExpectPhase({true, false, false, false, false, true}, "after start-up");
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_INDICATOR), 0);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_RECIPE), 0);
    EXPECT_EQ(m_view.ComboCount(IDC_COMBO_DOSE), 0);

    ASSERT_EQ(m_view.m_aColumns.size(), 11u);
    EXPECT_EQ(m_view.m_aColumns[0].m_strHeading, "РЦ");
    EXPECT_EQ(m_view.m_aColumns[0].m_nWidth, 30);
    for (int nDose = 0; nDose < 10; ++nDose) {
        EXPECT_EQ(m_view.m_aColumns[static_cast<size_t>(nDose + 1)].m_strHeading, "Доза " + std::to_string(nDose));
        EXPECT_EQ(m_view.m_aColumns[static_cast<size_t>(nDose + 1)].m_nWidth, 72);
    }
    EXPECT_EQ(m_view.m_anInsertedAt, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(m_view.m_bFullRowSelect);

    ASSERT_EQ(m_view.m_aRows.size(), 10u);
    for (int nRow = 0; nRow < 10; ++nRow) {
        EXPECT_EQ(m_view.Cell(nRow, 0), std::to_string(nRow));
        for (int nCol = 1; nCol <= 10; ++nCol)
            EXPECT_EQ(m_view.Cell(nRow, nCol), "0") << nRow << "," << nCol;
    }
    // The store was opened empty: nothing found, texts defined.
    EXPECT_EQ(m_store.GetIndicatorAddress(0), -1);
    EXPECT_EQ(m_store.GetRecordCount(0), 0);
    EXPECT_EQ(m_view.m_nRunningTimer, 0);
}

TEST_F(CStartupTest, TheWorkRunsOnceHoweverOftenTheWindowIsShown)
{
    StartUp();
    m_dlg.OnShowWindow();
    EXPECT_EQ(m_view.m_aColumns.size(), 11u);
    EXPECT_EQ(m_view.m_aRows.size(), 10u);
}

TEST_F(CStartupTest, PaintDrawsTheStatusBoxAndBothPanelsWithoutTheLampWhenIdle)
{
    m_dlg.OnPaint();
    const auto fills = m_view.m_surface.CallsOf(EDrawOp::FillBlack);
    ASSERT_EQ(fills.size(), 3u);
    EXPECT_EQ(fills[0].m_nX1, 690);  // status box
    EXPECT_EQ(fills[0].m_nY2, 94);
    EXPECT_EQ(fills[1].m_nX1, 8);    // current panel
    EXPECT_EQ(fills[1].m_nY1, 121);
    EXPECT_EQ(fills[2].m_nX1, 344);  // all panel
    EXPECT_EQ(fills[2].m_nX2, 663);
    EXPECT_EQ(m_view.m_surface.FindText("Опрос"), nullptr);
    EXPECT_GE(m_view.m_nRepaints, 1);

    // Minimised: the window shows its icon and nothing is drawn.
    m_view.m_surface.m_aCalls.clear();
    m_view.m_bMinimized = true;
    m_dlg.OnPaint();
    EXPECT_TRUE(m_view.m_surface.m_aCalls.empty());
}

TEST_F(CStartupTest, OnlyTheAboutCommandOpensTheAboutBox)
{
    m_dlg.OnSysCommand(16);
    m_dlg.OnSysCommand(16 | 0x3);  // the system's low bits are ignored
    EXPECT_EQ(m_view.m_nAbouts, 2);
    m_dlg.OnSysCommand(0xF060);  // SC_CLOSE
    m_dlg.OnSysCommand(32);
    EXPECT_EQ(m_view.m_nAbouts, 2);
}

TEST_F(CStartupTest, DestroyClosesPortAndStoreAndReleasesTheBuffersOnce)
{
    StartUp();
    m_dlg.OnStart();
    ASSERT_NE(m_view.m_nRunningTimer, 0);
    ASSERT_TRUE(m_store.HasBuffers());

    m_dlg.OnDestroy();
    EXPECT_EQ(m_view.m_nRunningTimer, 0);
    EXPECT_EQ(m_dlg.TimerId(), 0);
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_FALSE(m_store.HasBuffers());
    // A second call (the window's destructor after an explicit destroy) does nothing; the store's own
    // destructor then finds nothing left to free (the sanitizer build would see a double free).
    m_dlg.OnDestroy();
    EXPECT_FALSE(m_store.HasBuffers());
}

TEST(CProcessObjects, AStoreWhoseWindowNeverRanFreesItsBuffersItself)
{
    // No destroy handler: the destructor releases what is still present (checked by the sanitizer build).
    auto pStore = std::make_unique<CBatchStore>();
    EXPECT_TRUE(pStore->HasBuffers());
    EXPECT_EQ(pStore->GetIndicatorAddress(0), -1);
    EXPECT_EQ(pStore->GetIndicatorCount(), 0);
    pStore.reset();
    CWeighChart chart;
    EXPECT_FALSE(chart.m_bValid);
}

}  // namespace
}  // namespace tkdtest
