// The line's death and return through the dialog logic: an unplugged adapter (the simulator hangs up), polling that
// stops waiting on it, the operator told once, and the next "Поиск" reopening the port without a restart; and a
// second copy of the program told that the port is busy.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "dlg_rig.h"

namespace tkdtest {
namespace {

class LineRecovery : public ::testing::Test, protected CDlgRig {
protected:
    void StartUp() { ASSERT_TRUE(StartLine()); m_dlg.OnShowWindow(); }
    bool Until(const std::function<bool()>& done) { return RunUntil(m_dlg, m_view, done); }
    void Search()
    {
        m_dlg.OnSearch();
        ASSERT_TRUE(Until([&] { return !m_dlg.IsSearching(); }));
    }

    CRecordingView m_view;
    CBatchDlg m_dlg{m_view, Context()};
};

// A batch of recipe 1 (doses 1..3), each state shown twice.
std::vector<CSimStep> Batch(int nWeight) { return {{1, 0, 0, 2}, {1, 1, nWeight, 2}, {1, 2, 200, 2}, {1, 3, 300, 2}, {1, 0, 7, 2}}; }

TEST_F(LineRecovery, AHungUpLineIsReportedOnceAndComesBackAtTheNextSearch)
{
    for (int a = 0; a < 3; ++a)
        m_line.AddIndicator(a).ApplyDemoTuning();
    StartUp();
    Search();
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    m_line.Find(1)->SetScript(Batch(100));
    m_dlg.OnStart();
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(1) == 1; }));

    // Unplugged: told once, while polling goes on asking nothing.
    m_line.HangUp();
    ASSERT_TRUE(Until([&] { return m_view.m_astrWarnings.size() == 1u; }));
    EXPECT_NE(m_view.m_astrWarnings[0].find("COM1"), std::string::npos) << m_view.m_astrWarnings[0];
    RunUntil(m_dlg, m_view, [] { return false; }, 200);
    EXPECT_EQ(m_view.m_astrWarnings.size(), 1u);

    // The dead-line notice says what to do while polling, when "Поиск" is off.
    EXPECT_NE(m_view.m_astrWarnings[0].find("«Стоп», затем «Поиск»"), std::string::npos) << m_view.m_astrWarnings[0];

    // "Поиск" while the adapter is still out: told each time, and nothing is sent.
    m_line.Stop();
    m_dlg.OnStop();
    for (size_t nTold : {2u, 3u}) {
        Search();
        ASSERT_EQ(m_view.m_astrWarnings.size(), nTold);
        EXPECT_NE(m_view.m_astrWarnings.back().find("не могу открыть порт COM1"), std::string::npos) << m_view.m_astrWarnings.back();
    }

    // Plugged back in (a new device under the same name): "Поиск" reopens it and polling records again.
    ASSERT_TRUE(m_line.Start() && m_line.LinkAs(m_dir.Path(), 1));
    m_line.Find(1)->SetScript(Batch(150));
    Search();
    ASSERT_EQ(m_store.GetIndicatorCount(), 3);
    EXPECT_EQ(m_store.GetRecordCount(1), 1) << "the records before the hang-up reloaded";
    m_dlg.OnStart();
    ASSERT_TRUE(Until([&] { return m_store.GetRunCount(1) == 1; }));
    // A second copy of the program finds the port taken and says so.
    CComPort port;
    CRecordingView view;
    const auto pStore = std::make_unique<CBatchStore>();
    CBatchDlg dlg(view, CBatchContext{m_settings, port, *pStore, m_chartCurrent, m_chartAll});
    dlg.OnShowWindow();
    ASSERT_EQ(view.m_astrWarnings.size(), 1u);
    EXPECT_NE(view.m_astrWarnings[0].find("занят"), std::string::npos) << view.m_astrWarnings[0];
    m_dlg.OnStop();
    ASSERT_TRUE(m_dlg.OnCloseRequest());
    m_dlg.OnDestroy();  // the writer has written everything once the dialog is gone
    const std::string strFile = ReadBytes(m_dir.File("Data_i01"));
    EXPECT_EQ(std::count(strFile.begin(), strFile.end(), '\n'), 2);
    EXPECT_EQ(m_view.m_astrWarnings.size(), 3u);

}

}  // namespace
}  // namespace tkdtest
