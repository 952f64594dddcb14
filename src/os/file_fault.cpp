// The file layer's fault seam for tests: injected failures, counted per operation, shared by both platform files.
#include "file_access.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

struct CFault {
    std::atomic<int> nErrno{0};
    std::atomic<int> nSkip{0};
    std::atomic<int> nCount{0};
};

CFault g_aFaults[FILEOP_COUNT];

std::mutex g_flushMutex;
std::condition_variable g_cvFlush;
int g_nFlushDelayMs = 0;
unsigned g_nFlushDelaySet = 0;  // changes with every OsFileSetFlushDelay, so that waits restart

}  // namespace

void OsFileInjectFault(EOsFileOp eOp, int nErrno, int nCount, int nSkip)
{
    CFault& fault = g_aFaults[eOp];
    fault.nErrno = nErrno;
    fault.nSkip = nSkip;
    fault.nCount = nCount;
}

void OsFileClearFaults()
{
    for (CFault& fault : g_aFaults)
        fault.nCount = 0;
}

int OsFileFault(EOsFileOp eOp)
{
    CFault& fault = g_aFaults[eOp];
    if (fault.nCount <= 0)
        return 0;
    if (fault.nSkip > 0) {
        --fault.nSkip;
        return 0;
    }
    --fault.nCount;
    return fault.nErrno;
}

void OsFileSetFlushDelay(int nDelayMs)
{
    std::lock_guard<std::mutex> lock(g_flushMutex);
    g_nFlushDelayMs = nDelayMs;
    ++g_nFlushDelaySet;
    g_cvFlush.notify_all();
}

void OsFileFlushDelay()
{
    std::unique_lock<std::mutex> lock(g_flushMutex);
    const unsigned nSet = g_nFlushDelaySet;
    if (g_nFlushDelayMs < 0)
        g_cvFlush.wait(lock, [&] { return g_nFlushDelaySet != nSet; });
    else if (g_nFlushDelayMs > 0)
        g_cvFlush.wait_for(lock, std::chrono::milliseconds(g_nFlushDelayMs), [&] { return g_nFlushDelaySet != nSet; });
}
