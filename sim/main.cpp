// tk4700-sim: a pseudo-terminal with simulated TK4700 indicators, linked as COMn in the current directory.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "sim_line.h"
#include "sim_options.h"

namespace {

void PrintBatches(FILE* pOut, CSimLine& line, const std::vector<int>& anAddresses)
{
    for (int nAddress : anAddresses) {
        const CSimIndicator* pInd = line.Find(nAddress);
        if (!pInd)
            continue;
        const auto aBatches = pInd->Batches();
        std::fprintf(pOut, "indicator %02d: %zu batches completed\n", nAddress, aBatches.size());
        for (const auto& batch : aBatches)
            std::fprintf(pOut, "  recipe %d%s: %s\n", batch.nRecipe, batch.bHeader ? "" : " (no header)",
                         batch.ValuesText().c_str());
    }
    std::fflush(pOut);
}

void RunCommand(const CSimCommand& c, CSimLine& line, const std::vector<int>& anAddresses)
{
    CSimIndicator* pInd = line.Find(c.nAddress);
    const bool bNeedsIndicator =
        c.eKind == CSimCommand::kFault || c.eKind == CSimCommand::kClear || c.eKind == CSimCommand::kState;
    if (bNeedsIndicator && !pInd) {
        std::fprintf(stderr, "no indicator at address %d\n", c.nAddress);
        return;
    }
    switch (c.eKind) {
    case CSimCommand::kFault: pInd->SetFault(c.eFault, c.nCount); break;
    case CSimCommand::kClear: pInd->ClearFault(); break;
    case CSimCommand::kState: pInd->SetState(c.nRecipe, c.nDose, c.nWeight); break;
    case CSimCommand::kStream: line.SetStreaming(c.bOn); break;
    case CSimCommand::kDelay: line.SetReplyDelayMs(c.nMs); break;
    case CSimCommand::kHangUp: line.HangUp(); break;
    case CSimCommand::kBatches: PrintBatches(stderr, line, anAddresses); break;
    case CSimCommand::kHelp: std::fputs(SimCommandHelp().c_str(), stderr); break;
    case CSimCommand::kQuit: ::kill(::getpid(), SIGTERM); break;
    case CSimCommand::kNone: break;
    }
}

// Reads commands from standard input until bStop or end of input. Polls, so that it can be stopped.
void ReadCommands(std::atomic<bool>& bStop, CSimLine& line, const std::vector<int>& anAddresses)
{
    std::string strLine;
    while (!bStop) {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, 200);
        if (nReady < 0 && errno != EINTR)
            return;
        if (nReady <= 0)
            continue;
        char ac[256];
        const ssize_t n = ::read(STDIN_FILENO, ac, sizeof ac);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return;  // end of input (e.g. /dev/null): the program runs on until a signal
        for (ssize_t i = 0; i < n; ++i) {
            if (ac[i] != '\n') {
                if (strLine.size() < 1024)
                    strLine += ac[i];
                continue;
            }
            CSimCommand command;
            std::string strError;
            if (ParseSimCommand(strLine, &command, &strError))
                RunCommand(command, line, anAddresses);
            else
                std::fprintf(stderr, "%s\n", strError.c_str());
            strLine.clear();
        }
    }
}

}  // namespace

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
    std::signal(SIGPIPE, SIG_IGN);  // a log piped into a pager that quits must not skip the clean-up

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
        line.SetStreaming(true, options.nStreamRate);
    std::fprintf(stderr, "tk4700-sim: COM%d -> %s, indicators at %s%s.\n"
                 "Stop with Ctrl+C; type help for commands.\n", options.nPort,
                 line.SlavePath().c_str(), strAddresses.c_str(), options.bAuto ? ", running batches" : "");

    std::atomic<bool> bStopCommands{false};
    std::thread commands([&] { ReadCommands(bStopCommands, line, options.anIndicators); });

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    bStopCommands = true;
    commands.join();

    line.Stop();  // removes the COMn link
    PrintBatches(pLog, line, options.anIndicators);
    if (pLog != stdout)
        std::fclose(pLog);
    return 0;
}
