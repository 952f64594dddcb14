// How long a close during a search takes with the product's line timing: from the operator's click on the close box
// to the window gone, for closes during the address scan, during a tuning download and during its retry pauses.
//
//   tkd_bench_close
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "window_rig.h"

using namespace tkdtest;

namespace {

struct CScenario {
    const char* pszName;
    int nAddress;        // the one indicator on the line
    bool bSilentTuning;  // its tuning requests go unanswered: the download retries after 1000 ms pauses
};

// One search closed nDelayMs after "Поиск": the time from then until the window is hidden, and the last frame.
double CloseMs(const CScenario& scenario, int nDelayMs, std::string* pstrLast)
{
    CWindowRig rig{CLineTiming{}};
    CSimIndicator& ind = rig.m_line.AddIndicator(scenario.nAddress);
    ind.ConfigureDoses(1, 0, {500});
    ind.SetState(1, 2, 0);
    if (scenario.bSilentTuning)
        ind.SetFault(ESimFault::kNoAnswer, -1, 'T');
    if (!rig.StartLine())
        return -1;
    CBatchWindow& window = rig.Show();
    QElapsedTimer clock;
    double dHiddenMs = -1;
    QTimer::singleShot(nDelayMs, Qt::PreciseTimer, &window, [&] { window.close(); });
    QObject::connect(&window, &QDialog::finished, [&] { dHiddenMs = static_cast<double>(clock.nsecsElapsed()) / 1e6; });
    clock.start();
    rig.Click(IDC_SEARCH);
    for (int i = 0; i < 200 && dHiddenMs < 0; ++i)
        QTest::qWait(10);
    const Strings astr = rig.Requests();
    *pstrLast = astr.empty() ? "" : astr.back();
    return dHiddenMs - nDelayMs;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const CScenario aScenarios[] = {
        {"scan of silent addresses (indicator at 60)", 60, false},
        {"tuning download (indicator at 0)", 0, false},
        {"download retries (indicator at 0, tuning unanswered)", 0, true},
    };
    std::printf("%-55s %8s %8s %8s  %s\n", "close during", "min ms", "mean ms", "max ms", "last frame");
    for (const CScenario& scenario : aScenarios) {
        std::vector<double> adMs;
        std::string strLast;
        for (int nDelayMs = 500; nDelayMs <= 3700; nDelayMs += 400)  // the retries end some 4 s in
            adMs.push_back(CloseMs(scenario, nDelayMs, &strLast));
        double dSum = 0;
        for (double d : adMs)
            dSum += d;
        std::printf("%-55s %8.0f %8.0f %8.0f  %s\n", scenario.pszName, *std::min_element(adMs.begin(), adMs.end()),
                    dSum / static_cast<double>(adMs.size()), *std::max_element(adMs.begin(), adMs.end()), strLast.c_str());
    }
    return 0;
}
