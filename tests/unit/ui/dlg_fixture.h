// The dialog logic tests' shared set-up: a recording view (no window), the objects CBatchDlg works on, a simulated line.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "batch_dlg.h"
#include "batch_store.h"
#include "recording_surface.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "weigh_chart.h"

namespace tkdtest {

using Strings = std::vector<std::string>;

// Each pump call runs the hook: what a click dispatched by the search's pump would do.
struct CRecordingPump : IMessagePump {
    void PumpOneMessage() override
    {
        if (++m_nCalls == 50 && m_fnHook)
            m_fnHook();
    }
    int m_nCalls = 0;
    std::function<void()> m_fnHook;  // run at the 50th call
};

class CRecordingView : public IBatchView {
public:
    // A control never touched is enabled, as the template creates it.
    bool IsEnabled(int nId) const { return !m_mapEnabled.contains(nId) || m_mapEnabled.at(nId); }
    void EnableControl(int nId, bool bEnable) override { m_mapEnabled[nId] = bEnable; }

    void ComboAdd(int nId, const char* pszText) override { m_mapItems[nId].emplace_back(pszText); }
    bool ComboDeleteLast(int nId) override
    {
        if (m_mapItems[nId].empty())
            return false;
        m_mapItems[nId].pop_back();
        const int nSel = ComboCurSel(nId);
        m_mapSel[nId] = nSel < ComboCount(nId) ? nSel : -1;
        return true;
    }
    void ComboSelect(int nId, int nIndex) override
    {
        if (nIndex >= -1 && nIndex < ComboCount(nId))
            m_mapSel[nId] = nIndex;
    }
    int ComboCount(int nId) const override { return static_cast<int>(Items(nId).size()); }
    int ComboCurSel(int nId) const override { return m_mapSel.contains(nId) ? m_mapSel.at(nId) : -1; }
    void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const override
    {
        const bool bIn = nIndex >= 0 && nIndex < ComboCount(nId);
        std::snprintf(pszBuffer, static_cast<size_t>(nSize), "%s", bIn ? Items(nId)[static_cast<size_t>(nIndex)].c_str() : "");
    }
    Strings Items(int nId) const { return m_mapItems.contains(nId) ? m_mapItems.at(nId) : Strings{}; }

    void ListInsertColumn(int, const char* pszHeading, int) override { m_astrColumns.emplace_back(pszHeading); }
    int ListInsertRow(const char* pszLabel) override
    {
        m_aRows.emplace_back(m_astrColumns.size());
        if (!m_astrColumns.empty())
            m_aRows.back()[0] = pszLabel;
        return static_cast<int>(m_aRows.size()) - 1;
    }
    void ListSetCell(int nRow, int nCol, const char* pszText) override
    {
        ++m_nCellWrites;
        if (nRow >= 0 && nRow < static_cast<int>(m_aRows.size()) && nCol >= 0 && nCol < static_cast<int>(m_astrColumns.size()))
            m_aRows[static_cast<size_t>(nRow)][static_cast<size_t>(nCol)] = pszText;
    }
    void ListSetFullRowSelect() override {}
    std::string Cell(int nRow, int nCol) const { return m_aRows.at(static_cast<size_t>(nRow)).at(static_cast<size_t>(nCol)); }

    void ProgressSetRange(int, int, int) override {}
    IProgressBar& Progress(int) override { return m_progress; }
    IMessagePump& Pump() override { return m_pump; }
    int StartTimer(int nTimerId, int) override
    {
        ++m_nTimerStarts;
        return m_nRunningTimer = m_bTimerWorks ? nTimerId : 0;
    }
    bool StopTimer(int nTimerId) override
    {
        const bool bRan = nTimerId != 0 && nTimerId == m_nRunningTimer;
        m_nRunningTimer = bRan ? 0 : m_nRunningTimer;
        return bRan;
    }
    IDrawSurface& Surface() override { return m_surface; }
    void Repaint() override { ++m_nRepaints; }
    bool IsMinimized() const override { return m_bMinimized; }
    IErrorReporter& ErrorReporter() override { return m_reporter; }
    void ShowWarning(const char* pszText) override { m_astrWarnings.emplace_back(pszText); }
    void ShowAbout() override { ++m_nAbouts; }
    void CloseWindow() override {}

    size_t Fills() const { return m_surface.CallsOf(EDrawOp::FillBlack).size(); }

    std::map<int, bool> m_mapEnabled;
    std::map<int, Strings> m_mapItems;
    std::map<int, int> m_mapSel;
    Strings m_astrColumns, m_astrWarnings;
    std::vector<Strings> m_aRows;
    int m_nCellWrites = 0, m_nTimerStarts = 0, m_nRunningTimer = 0, m_nRepaints = 0, m_nAbouts = 0;
    bool m_bTimerWorks = true, m_bMinimized = false;
    struct : IErrorReporter {
        void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }
        Strings m_astrMessages;
    } m_reporter;
    struct : IProgressBar { void SetPos(int) override {} } m_progress;  // the positions: the window test's bars
    CRecordingPump m_pump;
    CRecordingSurface m_surface;
};

// Which controls are enabled: one row of the phase table.
struct CPhase {
    bool bSearch, bStart, bStop, bCombos, bList, bExit;
};

class CDlgTest : public ::testing::Test {
protected:
    // Shorter still than the short profile: the simulator answers at once, in one piece.
    static CLineTiming FastTiming()
    {
        CLineTiming t = CLineTiming::Short();
        t.nReplyPauseMs = 10;
        t.nReadGapMs = 5;
        t.nReadConstMs = 25;
        return t;
    }
    CDlgTest() : m_chdir(m_dir.Path()), m_port(FastTiming()) {}

    // TK4700_TUNE.INI naming COM1 at 9600 8N1 (without BAUD the port refuses to open), then the line as COM1.
    void StartLine(bool bWithBaud = true)
    {
        ASSERT_TRUE(WriteBytes(m_dir.File("TK4700_TUNE.INI"), std::string("[COMMON]\r\nTIMEOUTBETWEENWRITEREAD=120\r\n[COM1]\r\n") +
                                                                  (bWithBaud ? "BAUD=9600\r\n" : "") + "DATA=8\r\nPARITY=0\r\nSTOP=0\r\n"));
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    }
    void StartUp()  // the state after a normal start
    {
        StartLine();
        m_dlg.OnShowWindow();
        ASSERT_TRUE(m_port.IsOpen());
    }
    void Choose(int nId, int nIndex)  // a user's choice: the item is selected, then its handler runs
    {
        m_view.m_mapSel[nId] = nIndex;
        nId == IDC_COMBO_INDICATOR ? m_dlg.OnSelchangeIndicator()
        : nId == IDC_COMBO_RECIPE  ? m_dlg.OnSelchangeRecipe()
                                   : m_dlg.OnSelchangeDose();
    }
    void ExpectPhase(const CPhase& phase, const char* pszWhere)
    {
        const bool abWant[] = {phase.bSearch, phase.bStart, phase.bStop, phase.bCombos, phase.bCombos, phase.bCombos, phase.bList, phase.bExit};
        const int anId[] = {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_LIST_TOTALS, IDC_EXIT};
        for (size_t i = 0; i < std::size(anId); ++i)
            EXPECT_EQ(m_view.IsEnabled(anId[i]), abWant[i]) << pszWhere << ", control " << anId[i];
    }

    CTempDir m_dir;
    CScopedChdir m_chdir;
    CSimLine m_line;
    CTuneSettings m_settings;
    CComPort m_port;
    CBatchStore m_store;
    CWeighChart m_chartCurrent;
    CWeighChart m_chartAll;
    CRecordingView m_view;
    CBatchDlg m_dlg{m_view, CBatchContext{m_settings, m_port, m_store, m_chartCurrent, m_chartAll}};
};

}  // namespace tkdtest
