// The line's death and return through the dialog logic: an unplugged adapter (the simulator hangs up), polling that
// stops waiting on it, the operator told once, and the next "Поиск" reopening the port without a restart; and a
// second copy of the program told that the port is busy.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "dlg_fixture.h"

namespace tkdtest {
namespace {

class LineRecovery : public CDlgTest {};

// Batches of recipe 1 (doses 1..3), each state shown twice.
std::vector<CSimStep> Batches(int nCount, int nBase)
{
    std::vector<CSimStep> aSteps;
    for (int i = 0; i < nCount; ++i)
        aSteps.insert(aSteps.end(), {{1, 0, 0, 2}, {1, 1, nBase + i, 2}, {1, 2, 200, 2}, {1, 3, 300, 2}, {1, 0, 7, 2}});
    return aSteps;
}

TEST_F(LineRecovery, AHungUpLineIsReportedOnceAndComesBackAtTheNextSearch)
{
    for (int a = 0; a < 3; ++a)
        m_line.AddIndicator(a).ApplyDemoTuning();
    StartUp();
    m_dlg.OnSearch();
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    m_line.Find(1)->SetScript(Batches(1, 100));
    m_dlg.OnStart();
    for (int i = 0; i < 14; ++i)
        m_dlg.OnTimer();
    ASSERT_EQ(m_store.GetRunCount(1), 1);

    // Unplugged: with the product's own waits, each tick would cost a second per indicator.
    m_line.HangUp();
    m_port.SetTiming(CLineTiming{});
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        m_dlg.OnTimer();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000)) << "polling waited on a dead line";
    EXPECT_TRUE(m_port.IsDead());
    ASSERT_EQ(m_view.m_astrWarnings.size(), 1u);
    EXPECT_NE(m_view.m_astrWarnings[0].find("COM1"), std::string::npos) << m_view.m_astrWarnings[0];

    // Plugged back in (a new device under the same name): "Поиск" reopens it and polling records again.
    m_port.SetTiming(FastTiming());
    m_line.Stop();
    ASSERT_TRUE(m_line.Start() && m_line.LinkAs(m_dir.Path(), 1));
    m_line.Find(1)->SetScript(Batches(1, 150));
    m_dlg.OnStop();
    m_dlg.OnSearch();
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    EXPECT_FALSE(m_port.IsDead());
    EXPECT_EQ(m_store.GetRecordCount(1), 1) << "the records before the hang-up reloaded";
    m_dlg.OnStart();
    for (int i = 0; i < 14; ++i)
        m_dlg.OnTimer();
    EXPECT_EQ(m_store.GetRunCount(1), 1);
    const std::string strFile = ReadBytes(m_dir.File("Data_i01"));
    EXPECT_EQ(std::count(strFile.begin(), strFile.end(), '\n'), 2);
    EXPECT_EQ(m_view.m_astrWarnings.size(), 1u);

    // A second copy of the program finds the port taken and says so.
    CTuneSettings settings;
    CComPort port;
    CBatchStore store;
    CWeighChart chartCurrent, chartAll;
    CRecordingView view;
    CBatchDlg dlg(view, CBatchContext{settings, port, store, chartCurrent, chartAll});
    dlg.OnShowWindow();
    ASSERT_EQ(view.m_astrWarnings.size(), 1u);
    EXPECT_NE(view.m_astrWarnings[0].find("занят"), std::string::npos) << view.m_astrWarnings[0];
}

}  // namespace
}  // namespace tkdtest
