// Window start-up time, resident memory with three full data files, and CPU while polling three indicators of tk4700-sim.
//
//   tkd_bench_ui [--cpu-seconds N] [--screenshot FILE]
//
// With --screenshot the run starts without data files, polls until both charts show twenty polled
// weighings and saves the window; the memory and CPU figures are skipped then.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "batch_store.h"
#include "batch_window.h"
#include "com_port.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "tune_settings.h"
#include "weigh_chart.h"

extern char** environ;

namespace {

const std::chrono::steady_clock::time_point g_tProcessStart = std::chrono::steady_clock::now();

double MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

long StatusKb(const char* pszKey)
{
    std::ifstream in("/proc/self/status");
    std::string strLine;
    const size_t nKey = std::strlen(pszKey);
    while (std::getline(in, strLine)) {
        if (strLine.compare(0, nKey, pszKey) == 0)
            return std::atol(strLine.c_str() + nKey + 1);
    }
    return -1;
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// tk4700-sim in the current directory, stopped by the destructor.
class CSimProcess {
public:
    bool Start(const std::vector<std::string>& astrArgs)
    {
        std::vector<std::string> astrAll{TKD_SIM_PROGRAM};
        astrAll.insert(astrAll.end(), astrArgs.begin(), astrArgs.end());
        astrAll.insert(astrAll.end(), {"--log", "sim.log"});
        std::vector<char*> apsz;
        for (std::string& str : astrAll)
            apsz.push_back(str.data());
        apsz.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int nRc = posix_spawn(&m_pid, apsz[0], &actions, nullptr, apsz.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (nRc != 0)
            return false;
        for (int i = 0; i < 100; ++i) {
            if (::access("COM1", F_OK) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~CSimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

// Notes the first paint of the window: the moment it is on the screen.
class CFirstPaint : public QObject {
public:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint && m_dMs < 0)
            m_dMs = MsSince(g_tProcessStart);
        return QObject::eventFilter(pObject, pEvent);
    }
    double m_dMs = -1;
};

// The tuning file that the simulator's indicators (all with its demo tuning) will match, and a data
// file of records of recipe 1 that fills the store's record text to the last record that fits.
void WriteFullFiles(int nAddress)
{
    CSimLine line;
    CSimIndicator& ind = line.AddIndicator(nAddress);
    ind.ApplyDemoTuning();
    std::string strTune;
    for (int nEntry = 0; nEntry < 100; ++nEntry) {
        for (int k = 0; k < CSimIndicator::kValues; ++k)
            strTune += std::to_string(ind.Tune(nEntry, k)) + ",";
        if (nEntry % 10 == 9)
            strTune += "\r\n";
    }
    std::string strData;
    size_t nText = 0;
    for (int i = 0;; ++i) {
        char szLine[96];
        const int nLen = std::snprintf(szLine, sizeof szLine, "%02d.11.2026,%02d:%02d:%02d,10=0,%d,%d,%d", 1 + i % 28,
                                       i / 3600 % 24, i / 60 % 60, i % 60, 480 + i % 41, 1180 + i % 37, 290 + i % 23);
        if (nText + static_cast<size_t>(nLen) + 2 > static_cast<size_t>(CBatchStore::kRecordTextBytes))
            break;
        nText += static_cast<size_t>(nLen) + 1;  // each record is followed by "|" in the text
        strData.append(szLine, static_cast<size_t>(nLen)).append("\r\n");
    }
    char szName[32];
    std::snprintf(szName, sizeof szName, "RecipesTune_i%02d", nAddress);
    tkdtest::WriteBytes(szName, strTune);
    std::snprintf(szName, sizeof szName, "Data_i%02d", nAddress);
    tkdtest::WriteBytes(szName, strData);
}

bool WaitFor(const std::function<bool()>& fnDone, int nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!fnDone()) {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int nCpuSeconds = 30;
    std::string strScreenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cpu-seconds") == 0 && i + 1 < argc)
            nCpuSeconds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            strScreenshot = argv[++i];
    }
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    tkdtest::CTempDir dir;
    tkdtest::CScopedChdir chdir(dir.Path());
    tkdtest::WriteBytes("TK4700_TUNE.INI", "[COMMON]\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n");
    const bool bScreenshot = !strScreenshot.empty();
    if (!bScreenshot) {
        for (int nAddress : {1, 2, 3})
            WriteFullFiles(nAddress);
    }
    // The measurements run tk4700-sim as a process of its own, so that this process's CPU time is the
    // window's alone. The screenshot runs the simulator in this process instead, to start its batches
    // only once polling runs: polling that begins in the middle of a batch records it from that dose
    // on, and the values of such a record stand at other doses' places in the charts.
    CSimProcess sim;
    CSimLine line;
    CSimAutoPlan plan;
    plan.anRecipes = {1};
    plan.nDosePolls = 1;
    plan.nIdlePolls = 1;
    if (bScreenshot) {
        for (int nAddress : {5, 9, 10}) {
            line.AddIndicator(nAddress).ApplyDemoTuning();
            line.Find(nAddress)->SetState(1, 0, 0);
        }
        if (!line.Start() || !line.LinkAs(dir.Path(), 1))
            return 1;
    } else if (!sim.Start({"--indicators", "1,2,3", "--auto", "--recipes", "1", "--dose-polls", "1", "--idle-polls",
                           "1"})) {
        std::fprintf(stderr, "tk4700-sim did not start\n");
        return 1;
    }

    // The process objects as the program has them, with the line's own times: the line thread takes
    // its polling period from the port's timing when it starts, so the search runs with them too.
    CTuneSettings settings;
    CComPort port(CLineTiming{});
    CBatchStore store;
    CWeighChart chartCurrent;
    CWeighChart chartAll;
    const long nRssBeforeQtKb = StatusKb("VmRSS:");

    QApplication app(argc, argv);
    CFirstPaint firstPaint;
    auto pWindow = std::make_unique<CBatchWindow>(CBatchContext{settings, port, store, chartCurrent, chartAll});
    pWindow->installEventFilter(&firstPaint);
    pWindow->show();
    WaitFor([&] { return firstPaint.m_dMs >= 0; }, 5000);
    std::printf("window shown after          %8.1f ms from process start (platform %s)\n", firstPaint.m_dMs,
                qPrintable(QGuiApplication::platformName()));

    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(qobject_cast<QAbstractButton*>(pWindow->Control(IDC_SEARCH)), Qt::LeftButton);
    // The search runs on the line thread; the window applies its end.
    WaitFor([&] { return !pWindow->Dlg().IsSearching(); }, 300000);
    std::printf("search                      %8.1f s, %d indicators, %d records loaded\n", timer.elapsed() / 1000.0,
                store.GetIndicatorCount(), store.GetRecordCount(0) + store.GetRecordCount(1) + store.GetRecordCount(2));
    if (store.GetIndicatorCount() != 3)
        return 1;
    if (!bScreenshot) {
        std::printf("resident memory             %8ld kB (peak %ld kB; %ld kB before the toolkit started)\n",
                    StatusKb("VmRSS:"), StatusKb("VmHWM:"), nRssBeforeQtKb);
    }

    QTest::mouseClick(qobject_cast<QAbstractButton*>(pWindow->Control(IDC_START)), Qt::LeftButton);
    if (bScreenshot) {
        for (int nAddress : {5, 9, 10}) {
            plan.nSeed = static_cast<uint32_t>(nAddress);
            line.Find(nAddress)->StartAuto(plan);
        }
        if (!WaitFor([&] { return chartCurrent.m_bValid && store.GetRunCount(0) >= 20; }, 240000))
            return 1;
        QTest::qWait(500);
        const bool bSaved = pWindow->grab().save(QString::fromStdString(strScreenshot));
        std::printf("screenshot %s after %d weighings of the first indicator\n", bSaved ? "saved" : "NOT saved",
                    store.GetRunCount(0));
        pWindow.reset();
        return bSaved ? 0 : 1;
    }
    QTest::qWait(2000);  // the first round of batches begins
    const double dCpu0 = CpuSeconds();
    const int nRuns0 = store.GetRunCount(0) + store.GetRunCount(1) + store.GetRunCount(2);
    timer.restart();
    QTest::qWait(nCpuSeconds * 1000);
    const double dWall = timer.elapsed() / 1000.0;
    const double dCpu = CpuSeconds() - dCpu0;
    const int nRuns = store.GetRunCount(0) + store.GetRunCount(1) + store.GetRunCount(2) - nRuns0;
    std::printf("CPU while polling 3         %8.2f %% of one core (%.2f s in %.1f s; %d weighings completed,\n"
                "                                       each redrawing both charts from a full record text)\n",
                100.0 * dCpu / dWall, dCpu, dWall, nRuns);
    std::printf("resident memory after       %8ld kB\n", StatusKb("VmRSS:"));
    pWindow.reset();
    return 0;
}
