// Measures the store's speed goals: reloading three full data files, a NextRecord pass, a polling pass's own CPU and its allocations, and the cost of flushing each record to the disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "batch_store.h"
#include "com_port.h"
#include "sim_line.h"
#include "port_params.h"

// Heap allocations made by the thread that runs the store, counted while g_bCounting is set.
namespace {
thread_local bool g_bCounting = false;
thread_local long g_nAllocations = 0;
}  // namespace

void* operator new(std::size_t nSize)
{
    if (g_bCounting)
        ++g_nAllocations;
    if (void* p = std::malloc(nSize == 0 ? 1 : nSize))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t nSize)
{
    return operator new(nSize);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

constexpr int kRecords = 11388;

double NowMs(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

struct CStats {
    double dMin;
    double dMedian;
    double dMax;
};

CStats Summarise(std::vector<double> ad)
{
    std::sort(ad.begin(), ad.end());
    return {ad.front(), ad[ad.size() / 2], ad.back()};
}

void Tune(CBatchStore& store, int nSlot)
{
    for (int e = 0; e < 100; ++e)
        for (int k = 0; k < 6; ++k)
            store.SetTuneValue(nSlot, e, k, (e % 10 != 0 ? 1000 + e : 0) + k);
}

// A data-file line of exactly 126 characters, so that 11,388 of them fill the record text as its
// 128-byte-per-record sizing intends: the header and ten five-digit weights, then further fields.
std::string RecordLine(int n)
{
    char sz[32];
    std::snprintf(sz, sizeof sz, "%02d.12.2026,14:%02d:%02d,%d%d=", 1 + n % 28, n / 60 % 60, n % 60, n % 10, 0);
    std::string str = sz;
    for (int d = 0; d < 10; ++d)
        str += std::to_string(10000 + (n * 7 + d * 13) % 90000) + ",";
    while (str.size() < 126)
        str += "0,";
    str.resize(126);
    if (str.back() == ',')
        str.back() = '0';
    return str;
}

void BenchLoad(const std::string& strDir)
{
    // The three indicators' files: matching tuning files and full data files.
    {
        CBatchStore writer;
        writer.Open(strDir.c_str());
        for (int nAddress = 1; nAddress <= 3; ++nAddress) {
            Tune(writer, writer.RegisterIndicator(nAddress));
            writer.OpenIndicatorFiles(nAddress);  // writes the tuning file
        }
        writer.Close();
        std::string strData;
        for (int n = 0; n < kRecords; ++n)
            strData += RecordLine(n) + "\r\n";
        for (int nAddress = 1; nAddress <= 3; ++nAddress) {
            std::ofstream out(strDir + "Data_i0" + std::to_string(nAddress), std::ios::binary | std::ios::trunc);
            out << strData;
        }
    }
    CBatchStore store;
    std::vector<double> adLoad;
    std::vector<double> adPass;
    std::vector<double> adLoadCpu;
    std::vector<double> adPassCpu;
    for (int nRun = 0; nRun < 30; ++nRun) {
        store.Open(strDir.c_str());
        for (int nAddress = 1; nAddress <= 3; ++nAddress)
            Tune(store, store.RegisterIndicator(nAddress));
        const double dStart = NowMs(CLOCK_MONOTONIC);
        const double dCpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
        for (int nAddress = 1; nAddress <= 3; ++nAddress)
            store.OpenIndicatorFiles(nAddress);
        adLoad.push_back(NowMs(CLOCK_MONOTONIC) - dStart);
        adLoadCpu.push_back(NowMs(CLOCK_THREAD_CPUTIME_ID) - dCpu);
        if (store.GetRecordCount(0) != kRecords || store.GetRecordCount(2) != kRecords) {
            std::printf("load: wrong record count %d\n", store.GetRecordCount(0));
            std::exit(1);
        }

        const double dPassStart = NowMs(CLOCK_MONOTONIC);
        const double dPassCpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
        int nPos = 0;
        int nRecipe = 0;
        int32_t anValues[10];
        int nSeen = 0;
        long long nSum = 0;
        while (store.NextRecord(0, &nPos, &nRecipe, anValues)) {
            ++nSeen;
            nSum += anValues[3] + nRecipe;
        }
        adPass.push_back(NowMs(CLOCK_MONOTONIC) - dPassStart);
        adPassCpu.push_back(NowMs(CLOCK_THREAD_CPUTIME_ID) - dPassCpu);
        if (nSeen != kRecords || nSum == 0) {
            std::printf("pass: saw %d records\n", nSeen);
            std::exit(1);
        }
    }
    const CStats load = Summarise(adLoad);
    const CStats loadCpu = Summarise(adLoadCpu);
    const CStats pass = Summarise(adPass);
    const CStats passCpu = Summarise(adPassCpu);
    std::printf("load of 3 x %d records (%d bytes of record text each; files in the page cache), 30 runs (goal < 50 ms):\n"
                "  wall: min %.2f ms, median %.2f ms, max %.2f ms; thread CPU: min %.2f ms, median %.2f ms, max %.2f ms\n",
                kRecords, store.GetRecordTextLength(0), load.dMin, load.dMedian, load.dMax, loadCpu.dMin,
                loadCpu.dMedian, loadCpu.dMax);
    std::printf("NextRecord over a full record text, 30 runs (goal < 2 ms):\n"
                "  wall: min %.3f ms, median %.3f ms, max %.3f ms; thread CPU: min %.3f ms, median %.3f ms, max %.3f ms\n",
                pass.dMin, pass.dMedian, pass.dMax, passCpu.dMin, passCpu.dMedian, passCpu.dMax);
}

// One record appended and flushed (write + fdatasync), against the write alone, on the data directory's disk.
void BenchFlush(const std::string& strDir)
{
    CBatchStore store;
    store.Open(strDir.c_str());
    Tune(store, store.RegisterIndicator(50));
    store.OpenIndicatorFiles(50);
    const std::string strRecord = RecordLine(7) + ",";
    constexpr int kRecordsFlushed = 300;
    std::vector<double> adFlushed;
    std::vector<double> adWritten;
    for (int n = 0; n < kRecordsFlushed; ++n) {
        double dStart = NowMs(CLOCK_MONOTONIC);
        if (!store.AppendDataLine(0, strRecord.c_str()))
            std::exit(1);
        adFlushed.push_back(NowMs(CLOCK_MONOTONIC) - dStart);
        dStart = NowMs(CLOCK_MONOTONIC);
        if (!CBatchStore::WriteRecordLine(store.GetDataFile(0), strRecord.c_str()))
            std::exit(1);
        adWritten.push_back(NowMs(CLOCK_MONOTONIC) - dStart);
    }
    std::vector<double> adSorted = adFlushed;
    std::sort(adSorted.begin(), adSorted.end());
    const CStats flushed = Summarise(adFlushed);
    const CStats written = Summarise(adWritten);
    std::printf("one record line appended, %d records of %zu bytes, wall:\n"
                "  write + fdatasync: min %.3f ms, median %.3f ms, 95th %.3f ms, max %.3f ms\n"
                "  write alone: min %.4f ms, median %.4f ms, max %.4f ms\n",
                kRecordsFlushed, strRecord.size() + 1, flushed.dMin, flushed.dMedian,
                adSorted[adSorted.size() * 95 / 100], flushed.dMax, written.dMin, written.dMedian, written.dMax);
}

void BenchPoll(const std::string& strDir)
{
    CSimLine line;
    if (!line.Start() || !line.LinkAs(strDir, 1)) {
        std::printf("poll: no pseudo-terminal\n");
        std::exit(1);
    }
    std::filesystem::current_path(strDir);
    CComPort port(CLineTiming::Short());
    if (!port.Open(tkdtest::SimPortParams(1))) {
        std::printf("poll: port not opened\n");
        std::exit(1);
    }
    CBatchStore store;
    store.Open((strDir + "poll/").c_str());
    std::filesystem::create_directories(strDir + "poll");
    for (int nAddress = 11; nAddress <= 13; ++nAddress) {
        CSimIndicator& ind = line.AddIndicator(nAddress);
        ind.ApplyDemoTuning();
        CSimAutoPlan plan;
        plan.anRecipes = {1, 2, 3};
        plan.nDosePolls = 2;
        plan.nIdlePolls = 1;
        ind.StartAuto(plan);
        const int nSlot = store.RegisterIndicator(nAddress);
        for (int e = 0; e < 100; ++e)
            for (int k = 0; k < 6; ++k)
                store.SetTuneValue(nSlot, e, k, ind.Tune(e, k));
        store.OpenIndicatorFiles(nAddress);
    }
    constexpr int kPasses = 400;
    std::vector<double> adCpu;
    adCpu.reserve(kPasses);  // the bench's own bookkeeping must not count as an allocation of the pass
    std::vector<double> adTickDone;  // wall time of the passes that completed a batch (and flushed it)
    std::vector<double> adTickOther;
    adTickDone.reserve(kPasses);
    adTickOther.reserve(kPasses);
    long nAllocations = 0;
    int nCompleted = 0;
    for (int n = 0; n < kPasses; ++n) {
        int nRow = -1;
        bool bCompleted = false;
        g_nAllocations = 0;
        g_bCounting = true;
        const double dCpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
        const double dWall = NowMs(CLOCK_MONOTONIC);
        store.Poll(port, &nRow, &bCompleted);
        adCpu.push_back((NowMs(CLOCK_THREAD_CPUTIME_ID) - dCpu) / 3);
        (bCompleted ? adTickDone : adTickOther).push_back(NowMs(CLOCK_MONOTONIC) - dWall);
        g_bCounting = false;
        nAllocations += g_nAllocations;
        nCompleted += bCompleted ? 1 : 0;
    }
    // The same conversations without the store: what the link's own calls cost the thread.
    std::vector<double> adLink;
    adLink.reserve(kPasses);
    for (int n = 0; n < kPasses; ++n) {
        uint8_t abyReply[CComPort::kMaxBlock];
        int nLen = 0;
        const double dCpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
        for (int nAddress = 11; nAddress <= 13; ++nAddress)
            port.Exchange(REQ_HL, nAddress, 0, abyReply, &nLen);
        adLink.push_back((NowMs(CLOCK_THREAD_CPUTIME_ID) - dCpu) / 3);
    }
    const CStats link = Summarise(adLink);
    const CStats cpu = Summarise(adCpu);
    std::printf("polling pass, 3 indicators, %d passes (%d completed a batch, %d records in slot 0):\n"
                "  thread CPU per indicator (waits excluded; the link's write/poll/read calls included): "
                "min %.4f ms, median %.4f ms, max %.4f ms (goal < 0.1 ms)\n"
                "  the bare HL conversation alone, same measure: min %.4f ms, median %.4f ms, max %.4f ms\n"
                "  so the store's own part of a pass, median: about %.4f ms per indicator\n"
                "  heap allocations on the polling thread during all passes: %ld (goal 0)\n",
                kPasses, nCompleted, store.GetRecordCount(0), cpu.dMin, cpu.dMedian, cpu.dMax, link.dMin, link.dMedian,
                link.dMax, cpu.dMedian - link.dMedian, nAllocations);
    if (!adTickDone.empty() && !adTickOther.empty()) {
        const CStats done = Summarise(adTickDone);
        const CStats other = Summarise(adTickOther);
        std::printf("polling tick wall time, 3 indicators, short line profile (20 ms reply pause):\n"
                    "  ticks that completed and flushed a record (%zu): min %.2f ms, median %.2f ms, max %.2f ms\n"
                    "  other ticks (%zu): min %.2f ms, median %.2f ms, max %.2f ms\n",
                    adTickDone.size(), done.dMin, done.dMedian, done.dMax, adTickOther.size(), other.dMin,
                    other.dMedian, other.dMax);
    }
    port.Close();
    line.Stop();
}

}  // namespace

int main()
{
    char szTemplate[] = "/tmp/tkd-bench-store-XXXXXX";
    if (::mkdtemp(szTemplate) == nullptr)
        return 1;
    const std::string strDir = std::string(szTemplate) + "/";
    BenchLoad(strDir);
    BenchFlush(strDir);
    BenchPoll(strDir);
    std::filesystem::current_path("/");
    std::error_code ec;
    std::filesystem::remove_all(szTemplate, ec);
    return 0;
}
