// The file layer's fault seam for tests: injected failures, counted per operation, shared by both platform files.
#include "store_file.h"

#include <atomic>

namespace {

struct CFault {
    std::atomic<int> nErrno{0};
    std::atomic<int> nSkip{0};
    std::atomic<int> nCount{0};
};

CFault g_aFaults[SFOP_COUNT];

}  // namespace

void StoreFileInjectFault(EStoreFileOp eOp, int nErrno, int nCount, int nSkip)
{
    CFault& fault = g_aFaults[eOp];
    fault.nErrno = nErrno;
    fault.nSkip = nSkip;
    fault.nCount = nCount;
}

void StoreFileClearFaults()
{
    for (CFault& fault : g_aFaults)
        fault.nCount = 0;
}

int StoreFileFault(EStoreFileOp eOp)
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
