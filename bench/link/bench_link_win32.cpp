// Conversation times of the Windows serial channel under Wine, against tk4700-sim on the COM port Wine maps (method in README.md).
//
//   tkd_bench_link_win32 [COMn] [rounds]     (default COM7, 30 rounds per case)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "com_port.h"

namespace {

double NowMs()
{
    LARGE_INTEGER freq{};
    LARGE_INTEGER now{};
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

void Report(const char* pszCase, double dGoalMs, std::vector<double> adMs)
{
    std::sort(adMs.begin(), adMs.end());
    const double dMedian = adMs[adMs.size() / 2];
    std::printf("| %s | %.0f ms | %.2f ms, %+.2f %% (%.2f..%.2f) |\n", pszCase, dGoalMs, dMedian,
                (dMedian - dGoalMs) * 100.0 / dGoalMs, adMs.front(), adMs.back());
}

}  // namespace

int main(int argc, char** argv)
{
    CPortParams params;
    std::snprintf(params.m_szPortName, sizeof params.m_szPortName, "%s", argc > 1 ? argv[1] : "COM7");
    params.m_nBaud = 9600;
    params.m_byDataBits = 8;
    const int nRounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    CComPort port;  // the product's own times
    if (!port.Open(params)) {
        char szText[200];
        port.LastErrorText(szText, sizeof szText);
        std::fprintf(stderr, "cannot open %s: %s\n", params.m_szPortName, szText);
        return 1;
    }
    const struct { const char* pszCase; double dGoalMs; int nKind, nAddress, nParam; } aCases[] = {
        {"no answer", 205, REQ_HL, 42, 0}, {"answered HL", 160, REQ_HL, 5, 0}, {"answered HT", 160, REQ_HT, 5, 13},
    };
    std::printf("| Case | Goal | Median (min..max) |\n|---|---|---|\n");
    for (const auto& c : aCases) {
        std::vector<double> adMs;
        int nAnswered = 0;
        for (int i = 0; i < nRounds; ++i) {
            uint8_t abyReply[CComPort::kMaxBlock];
            int nLen = 0;
            const double dStart = NowMs();
            nAnswered += port.Exchange(c.nKind, c.nAddress, c.nParam, abyReply, &nLen) ? 1 : 0;
            adMs.push_back(NowMs() - dStart);
        }
        Report(c.pszCase, c.dGoalMs, adMs);
        if (nAnswered != (c.nAddress == 5 ? nRounds : 0))
            std::fprintf(stderr, "%s: %d of %d answered\n", c.pszCase, nAnswered, nRounds);
    }
    return 0;
}
