// The acquiring program without its window, for the crash-safety test: finds the indicators (a real
// search, or their files opened as a search does once the tuning is in), then polls until it is killed.
// Writes "ready" to stdout once its files are open, then "<run count of slot 0> <slot 1> <slot 2>" after
// every tick that completed a batch.
//
//   tkd_acquire_child search|attach <address>...
//
// Runs in the directory that holds the line's COM1 link; that directory is also the data directory.
// "attach" takes the indicators' tuning from the simulator's demo tuning, as the parent configures them.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "batch_store.h"
#include "com_port.h"
#include "sim_line.h"
#include "port_params.h"

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "search") != 0 && std::strcmp(argv[1], "attach") != 0)) {
        std::fprintf(stderr, "usage: %s search|attach <address>...\n", argv[0]);
        return 2;
    }
    char szCwd[PATH_MAX];
    if (::getcwd(szCwd, sizeof szCwd) == nullptr)
        return 3;
    const std::string strDir = std::string(szCwd) + "/";

    CComPort port(CLineTiming::Short());
    if (!port.Open(tkdtest::SimPortParams(1)))
        return 4;
    static CBatchStore s_store;  // static: 4.4 MB of buffers
    if (!s_store.Open(strDir.c_str()))
        return 5;

    if (std::strcmp(argv[1], "search") == 0) {
        if (!s_store.Search(nullptr, port, nullptr, nullptr))
            return 6;
    } else {
        CSimLine tuning;  // never started: only the indicators' demo tuning is read from it
        for (int i = 2; i < argc; ++i) {
            CSimIndicator& ind = tuning.AddIndicator(std::atoi(argv[i]));
            ind.ApplyDemoTuning();
            const int nSlot = s_store.RegisterIndicator(ind.Address());
            for (int e = 0; e < CBatchStore::kEntries; ++e)
                for (int k = 0; k < CBatchStore::kTuneValues; ++k)
                    s_store.SetTuneValue(nSlot, e, k, ind.Tune(e, k));
            s_store.OpenIndicatorFiles(ind.Address());
        }
    }
    if (::write(STDOUT_FILENO, "ready\n", 6) != 6)
        return 7;
    for (;;) {
        int nRow = -1;
        bool bCompleted = false;
        s_store.Poll(port, &nRow, &bCompleted);
        if (bCompleted) {
            char szLine[64];
            const int n = std::snprintf(szLine, sizeof szLine, "%d %d %d\n", s_store.GetRunCount(0),
                                        s_store.GetRunCount(1), s_store.GetRunCount(2));
            if (::write(STDOUT_FILENO, szLine, static_cast<size_t>(n)) != n)
                return 7;
        }
    }
}
