// Times of whole conversations (no answer, answered HL, answered HT) over a pseudo-terminal, measured in
// the program and from the simulator's frame log, with the CPU time the calling thread spends on each.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "com_port.h"
#include "sim_line.h"

namespace {

struct CStats {
    double dMean = 0, dMedian = 0, dMin = 0, dMax = 0;
};

CStats Summarise(std::vector<double> ad)
{
    CStats s;
    if (ad.empty())
        return s;
    std::sort(ad.begin(), ad.end());
    for (double d : ad)
        s.dMean += d;
    s.dMean /= static_cast<double>(ad.size());
    s.dMedian = ad[ad.size() / 2];
    s.dMin = ad.front();
    s.dMax = ad.back();
    return s;
}

// CPU time of the calling thread only: the simulator's service thread runs in this process too.
double ThreadCpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_THREAD, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

struct CCase {
    const char* pszName;
    int nKind;
    int nAddress;
    bool bAnswered;
    double dTargetMs;
};

void Run(CSimLine& line, CComPort& port, const CCase& c, int nRounds)
{
    line.ClearLog();
    std::vector<double> adWall, adCpu;
    int nWrong = 0;
    for (int i = 0; i < nRounds; ++i) {
        uint8_t abyReply[CComPort::kMaxBlock];
        int nLen = 0;
        const double dCpu0 = ThreadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        const bool bOk = port.Exchange(c.nKind, c.nAddress, 23, abyReply, &nLen);
        const auto t1 = std::chrono::steady_clock::now();
        adCpu.push_back(ThreadCpuMs() - dCpu0);
        adWall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (bOk != c.bAnswered)
            ++nWrong;
    }
    // From the simulator's side: the time between one request's arrival and the next one's is a whole
    // conversation plus the loop's few microseconds; and for an answer, how soon the reply went out.
    std::vector<double> adPeriod, adAnswer;
    double dLastIn = -1;
    for (const CSimLogEntry& e : line.Log()) {
        if (e.eDir == CSimLogEntry::kIn && e.cKind != 0) {
            if (dLastIn >= 0)
                adPeriod.push_back(e.dMs - dLastIn);
            dLastIn = e.dMs;
        } else if (e.eDir == CSimLogEntry::kOut && dLastIn >= 0) {
            adAnswer.push_back(e.dMs - dLastIn);
        }
    }
    const CStats w = Summarise(adWall), cpu = Summarise(adCpu), p = Summarise(adPeriod), a = Summarise(adAnswer);
    std::printf("%-18s target %6.1f ms | program: mean %7.2f median %7.2f min %7.2f max %7.2f (%+.2f%%) | "
                "sim log period: median %7.2f (%+.2f%%) | CPU/conv: mean %.3f max %.3f ms",
                c.pszName, c.dTargetMs, w.dMean, w.dMedian, w.dMin, w.dMax, 100.0 * (w.dMedian - c.dTargetMs) / c.dTargetMs,
                p.dMedian, 100.0 * (p.dMedian - c.dTargetMs) / c.dTargetMs, cpu.dMean, cpu.dMax);
    if (!adAnswer.empty())
        std::printf(" | sim reply after %.2f ms", a.dMedian);
    if (nWrong > 0)
        std::printf(" | %d UNEXPECTED RESULTS", nWrong);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const int nRounds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;
    char szDir[] = "/tmp/tkd-bench-XXXXXX";
    if (::mkdtemp(szDir) == nullptr)
        return 1;
    std::filesystem::current_path(szDir);

    CSimLine line;
    line.AddIndicator(5).ApplyDemoTuning();
    line.Find(5)->SetState(1, 1, 1234);
    if (!line.Start() || !line.LinkAs(szDir, 5)) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    CComPort port;  // the product's times
    CPortParams params;
    std::strcpy(params.m_szPortName, "COM5");
    params.m_nBaud = 9600;
    params.m_byDataBits = 8;
    if (!port.Open(params)) {
        std::fprintf(stderr, "cannot open COM5\n");
        return 1;
    }
    double adLoad[3] = {};
    ::getloadavg(adLoad, 3);
    std::printf("%d conversations per case; load average %.2f %.2f %.2f on %ld CPUs\n", nRounds, adLoad[0], adLoad[1],
                adLoad[2], ::sysconf(_SC_NPROCESSORS_ONLN));

    const CCase aCases[] = {
        {"no answer", REQ_HL, 42, false, 120 + 74 + 11},
        {"answered HL", REQ_HL, 5, true, 120 + 40},
        {"answered HT", REQ_HT, 5, true, 120 + 40},
    };
    for (const CCase& c : aCases)
        Run(line, port, c, nRounds);

    port.Close();
    line.Stop();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(szDir);
    return 0;
}
