// Shared set-up of the dialog logic tests: the objects CBatchDlg works on, a temporary directory, settings, a simulated line.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "batch_dlg.h"
#include "batch_store.h"
#include "com_port.h"
#include "recording_view.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "tune_settings.h"
#include "weigh_chart.h"

namespace tkdtest {

// Faster still than CLineTiming::Short() where only silence is waited for: a read with nothing
// coming ends after 25 ms instead of 74, so that a scan of 100 addresses takes seconds. The
// simulator answers at once, well inside the 20 ms reply pause.
inline CLineTiming ScanTiming()
{
    CLineTiming t = CLineTiming::Short();
    t.nReadPerByteMs = 0;
    t.nReadConstMs = 25;
    return t;
}

// A settings file naming COM1 at 9600 8N1, lines ending in CR LF, data files in the current directory.
inline std::string SettingsText(bool bWithBaud = true)
{
    std::string str = "[COMMON]\r\nTIMEOUTBETWEENWRITEREAD=120\r\n[COM1]\r\n";
    if (bWithBaud)
        str += "BAUD=9600\r\n";
    str += "DATA=8\r\nPARITY=0\r\nSTOP=0\r\n";
    return str;
}

// One record line as the store keeps it: the 23-character header with the state code, then values.
inline std::string RecordText(int nRecipe, int nFirstDose, const std::vector<int>& anValues)
{
    std::string str = "01.02.2026,10:20:30," + std::to_string(nRecipe) + std::to_string(nFirstDose) + "=";
    for (int nValue : anValues)
        str += std::to_string(nValue) + ",";
    return str;
}

// The columns of the phase table: which controls are enabled.
struct CPhase {
    bool bSearch, bStart, bStop, bCombos, bList, bExit;
};

class CDlgTest : public ::testing::Test {
protected:
    CDlgTest() : m_chdir(m_dir.Path()), m_port(ScanTiming()) {}

    void WriteSettings(bool bWithBaud = true) { ASSERT_TRUE(WriteBytes(m_dir.File("TK4700_TUNE.INI"), SettingsText(bWithBaud))); }

    // Starts the simulated line as COM1 of the temporary directory.
    void StartLine()
    {
        ASSERT_TRUE(m_line.Start());
        ASSERT_TRUE(m_line.LinkAs(m_dir.Path(), 1));
    }

    // Settings, line and start-up work: the state after a normal start.
    void StartUp()
    {
        WriteSettings();
        StartLine();
        m_dlg.OnShowWindow();
        ASSERT_TRUE(m_port.IsOpen());
    }

    void ExpectPhase(const CPhase& phase, const char* pszWhere)
    {
        SCOPED_TRACE(pszWhere);
        EXPECT_EQ(m_view.IsEnabled(IDC_SEARCH), phase.bSearch);
        EXPECT_EQ(m_view.IsEnabled(IDC_START), phase.bStart);
        EXPECT_EQ(m_view.IsEnabled(IDC_STOP), phase.bStop);
        EXPECT_EQ(m_view.IsEnabled(IDC_COMBO_INDICATOR), phase.bCombos);
        EXPECT_EQ(m_view.IsEnabled(IDC_COMBO_RECIPE), phase.bCombos);
        EXPECT_EQ(m_view.IsEnabled(IDC_COMBO_DOSE), phase.bCombos);
        EXPECT_EQ(m_view.IsEnabled(IDC_LIST_TOTALS), phase.bList);
        EXPECT_EQ(m_view.IsEnabled(IDC_EXIT), phase.bExit);
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
