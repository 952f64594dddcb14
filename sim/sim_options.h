// Command-line options of tk4700-sim and its --help text.
#pragma once

#include <string>
#include <vector>

#include "sim_line.h"

struct CSimOptions {
    struct CFault {
        int nAddress = 0;
        ESimFault eFault = ESimFault::kNone;
        int nCount = -1;  // -1: until the program ends
    };

    bool bHelp = false;
    int nPort = 1;                         // COMn link in the current directory, 1..16
    std::vector<int> anIndicators{1, 2, 3};
    bool bAuto = false;
    CSimAutoPlan plan{{1, 2, 3}, 3, 0, 2, 2.0, 1};
    std::string strLogFile;                // empty: standard output
    std::vector<CFault> aFaults;
    int nLateMs = 300;
    int nReplyDelayMs = 0;
    bool bStream = false;
    int nStreamRate = 0;                   // bytes per second; 0: as fast as the reader reads
    bool bSpacePad = false;
};

// A command typed on the running program's standard input, e.g. "fault 17 silent 5" or "stream on".
struct CSimCommand {
    enum EKind { kNone, kFault, kClear, kState, kStream, kDelay, kHangUp, kBatches, kHelp, kQuit };
    EKind eKind = kNone;  // kNone: an empty line
    int nAddress = 0;
    ESimFault eFault = ESimFault::kNone;
    int nCount = -1;
    int nRecipe = 0;
    int nDose = 0;
    int nWeight = 0;
    bool bOn = false;
    int nMs = 0;
};

// Parses one command line. False with a one-line reason in *pstrError when it is not a command.
bool ParseSimCommand(const std::string& strLine, CSimCommand* pCommand, std::string* pstrError);
std::string SimCommandHelp();

// Parses argv[1..argc-1]. False with a one-line reason in *pstrError on the first bad option.
bool ParseSimOptions(int argc, const char* const* argv, CSimOptions* pOptions, std::string* pstrError);
std::string SimHelpText();
