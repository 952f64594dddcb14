// tk4700-sim: a pseudo-terminal with simulated TK4700 indicators, linked as COMn in the current directory.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <string>

#include "sim_line.h"
#include "sim_options.h"

int main(int argc, char** argv)
{
    CSimOptions options;
    std::string strError;
    if (!ParseSimOptions(argc, argv, &options, &strError)) {
        std::fprintf(stderr, "tk4700-sim: %s\nTry 'tk4700-sim --help'.\n", strError.c_str());
        return 2;
    }
    if (options.bHelp) {
        std::fputs(SimHelpText().c_str(), stdout);
        return 0;
    }

    // Blocked before the service thread exists, so that only sigwait below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    FILE* pLog = stdout;
    if (!options.strLogFile.empty()) {
        pLog = std::fopen(options.strLogFile.c_str(), "w");
        if (!pLog) {
            std::fprintf(stderr, "tk4700-sim: cannot write the log file %s\n", options.strLogFile.c_str());
            return 1;
        }
    }

    CSimLine line;
    line.SetLogSink([pLog](const CSimLogEntry& entry) {
        std::fprintf(pLog, "%s\n", CSimLine::FormatLogEntry(entry).c_str());
        std::fflush(pLog);  // a log that someone follows with tail -f
    });
    std::string strAddresses;
    for (size_t i = 0; i < options.anIndicators.size(); ++i) {
        CSimIndicator& ind = line.AddIndicator(options.anIndicators[i]);
        ind.ApplyDemoTuning();
        ind.SetWeightPad(options.bSpacePad ? ' ' : '0');
        ind.SetLateMs(options.nLateMs);
        if (options.bAuto) {
            CSimAutoPlan plan = options.plan;
            plan.nSeed = options.plan.nSeed + static_cast<uint32_t>(i);
            ind.StartAuto(plan);
        } else {
            ind.SetState(1, 0, 0);
        }
        strAddresses += (i ? ", " : "") + std::to_string(options.anIndicators[i]);
    }
    for (const auto& fault : options.aFaults)
        line.AddIndicator(fault.nAddress).SetFault(fault.eFault, fault.nCount);
    line.SetReplyDelayMs(options.nReplyDelayMs);

    if (!line.Start()) {
        std::fprintf(stderr, "tk4700-sim: cannot create a pseudo-terminal\n");
        return 1;
    }
    if (!line.LinkAs(".", options.nPort)) {
        std::fprintf(stderr, "tk4700-sim: cannot make the link COM%d in the current directory\n", options.nPort);
        return 1;
    }
    if (options.bStream)
        line.SetStreaming(true);
    std::fprintf(stderr, "tk4700-sim: COM%d -> %s, indicators at %s%s. Stop with Ctrl+C.\n", options.nPort,
                 line.SlavePath().c_str(), strAddresses.c_str(), options.bAuto ? ", running batches" : "");

    int nSignal = 0;
    sigwait(&signals, &nSignal);

    line.Stop();  // removes the COMn link
    for (int nAddress : options.anIndicators) {
        const CSimIndicator* pInd = line.Find(nAddress);
        if (!pInd)
            continue;
        const auto aBatches = pInd->Batches();
        std::fprintf(pLog, "indicator %02d: %zu batches completed\n", nAddress, aBatches.size());
        for (const auto& batch : aBatches)
            std::fprintf(pLog, "  recipe %d%s: %s\n", batch.nRecipe, batch.bHeader ? "" : " (no header)",
                         batch.ValuesText().c_str());
    }
    if (pLog != stdout)
        std::fclose(pLog);
    return 0;
}
