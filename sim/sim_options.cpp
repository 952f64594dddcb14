// Command-line options of tk4700-sim: parsing and the --help text.
#include "sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

// A whole decimal integer in [nMin, nMax]; nothing else accepted.
bool ParseInt(const std::string& str, int nMin, int nMax, int* pn)
{
    if (str.empty() || str.size() > 10)
        return false;
    char* pEnd = nullptr;
    errno = 0;
    const long n = std::strtol(str.c_str(), &pEnd, 10);
    if (errno != 0 || pEnd == str.c_str() || *pEnd != '\0' || n < nMin || n > nMax)
        return false;
    *pn = static_cast<int>(n);
    return true;
}

bool ParseList(const std::string& str, int nMin, int nMax, std::vector<int>* pan)
{
    pan->clear();
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = str.find(',', nStart);
        int n = 0;
        if (!ParseInt(str.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart), nMin,
                      nMax, &n))
            return false;
        pan->push_back(n);
        if (nComma == std::string::npos)
            return true;
        nStart = nComma + 1;
    }
}

bool ParseFaultKind(const std::string& str, ESimFault* pe)
{
    static const struct {
        const char* pszName;
        ESimFault e;
    } kKinds[] = {
        {"silent", ESimFault::kNoAnswer},      {"noanswer", ESimFault::kNoAnswer},
        {"garbage", ESimFault::kGarbage},      {"truncated", ESimFault::kTruncated},
        {"corrupted", ESimFault::kCorrupted},  {"late", ESimFault::kLate},
    };
    for (const auto& k : kKinds)
        if (str == k.pszName) {
            *pe = k.e;
            return true;
        }
    return false;
}

// ADDR:KIND[:COUNT]
bool ParseFault(const std::string& str, CSimOptions::CFault* pFault)
{
    const size_t nColon1 = str.find(':');
    if (nColon1 == std::string::npos)
        return false;
    const size_t nColon2 = str.find(':', nColon1 + 1);
    if (!ParseInt(str.substr(0, nColon1), 0, 255, &pFault->nAddress))
        return false;
    const std::string strKind =
        str.substr(nColon1 + 1, nColon2 == std::string::npos ? std::string::npos : nColon2 - nColon1 - 1);
    if (!ParseFaultKind(strKind, &pFault->eFault))
        return false;
    pFault->nCount = -1;
    if (nColon2 != std::string::npos && !ParseInt(str.substr(nColon2 + 1), 1, 1000000000, &pFault->nCount))
        return false;
    return true;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, CSimOptions* pOptions, std::string* pstrError)
{
    CSimOptions& o = *pOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string strOpt = argv[i] ? argv[i] : "";
        std::string strValue;
        bool bHasValue = false;
        // Both "--port 2" and "--port=2".
        std::string strName = strOpt;
        const size_t nEq = strOpt.find('=');
        if (strOpt.rfind("--", 0) == 0 && nEq != std::string::npos) {
            strName = strOpt.substr(0, nEq);
            strValue = strOpt.substr(nEq + 1);
            bHasValue = true;
        }
        auto value = [&](std::string* pstr) {
            if (bHasValue) {
                *pstr = strValue;
                return true;
            }
            if (i + 1 >= argc || argv[i + 1] == nullptr)
                return false;
            *pstr = argv[++i];
            return true;
        };
        auto fail = [&](const std::string& strWhy) {
            *pstrError = strWhy;
            return false;
        };
        std::string str;
        int n = 0;
        if (strName == "-h" || strName == "--help") {
            o.bHelp = true;
        } else if (strName == "--port") {
            if (!value(&str) || !ParseInt(str, 1, 16, &o.nPort))
                return fail("--port needs a number from 1 to 16");
        } else if (strName == "--indicators") {
            if (!value(&str) || !ParseList(str, 0, 99, &o.anIndicators))
                return fail("--indicators needs addresses 0..99 separated by commas, e.g. 3,17,40");
            for (size_t j = 0; j < o.anIndicators.size(); ++j)
                for (size_t k = 0; k < j; ++k)
                    if (o.anIndicators[j] == o.anIndicators[k])
                        return fail("--indicators names address " + std::to_string(o.anIndicators[j]) + " twice");
        } else if (strName == "--auto") {
            o.bAuto = true;
        } else if (strName == "--recipes") {
            if (!value(&str) || !ParseList(str, 1, 3, &o.plan.anRecipes))
                return fail("--recipes needs recipes from 1 to 3 separated by commas, e.g. 2 or 1,3");
        } else if (strName == "--dose-polls") {
            if (!value(&str) || !ParseInt(str, 1, 1000000, &o.plan.nDosePolls))
                return fail("--dose-polls needs a number of at least 1");
        } else if (strName == "--idle-polls") {
            if (!value(&str) || !ParseInt(str, 1, 1000000, &o.plan.nIdlePolls))
                return fail("--idle-polls needs a number of at least 1");
        } else if (strName == "--dose-ms") {
            if (!value(&str) || !ParseInt(str, 1, 3600000, &o.plan.nDoseMs))
                return fail("--dose-ms needs milliseconds, at least 1");
        } else if (strName == "--scatter") {
            if (!value(&str) || !ParseInt(str, 0, 50, &n))
                return fail("--scatter needs a whole percentage from 0 to 50");
            o.plan.dScatterPct = n;
        } else if (strName == "--seed") {
            if (!value(&str) || !ParseInt(str, 0, 2147483647, &n))
                return fail("--seed needs a non-negative number");
            o.plan.nSeed = static_cast<uint32_t>(n);
        } else if (strName == "--log") {
            if (!value(&o.strLogFile) || o.strLogFile.empty())
                return fail("--log needs a file name");
        } else if (strName == "--fault") {
            CSimOptions::CFault fault;
            if (!value(&str) || !ParseFault(str, &fault))
                return fail("--fault needs ADDR:KIND[:COUNT], KIND one of silent, garbage, truncated, corrupted, late");
            o.aFaults.push_back(fault);
        } else if (strName == "--late-ms") {
            if (!value(&str) || !ParseInt(str, 1, 600000, &o.nLateMs))
                return fail("--late-ms needs milliseconds, at least 1");
        } else if (strName == "--reply-delay") {
            if (!value(&str) || !ParseInt(str, 0, 600000, &o.nReplyDelayMs))
                return fail("--reply-delay needs milliseconds");
        } else if (strName == "--stream") {
            o.bStream = true;
        } else if (strName == "--stream-rate") {
            if (!value(&str) || !ParseInt(str, 1, 10000000, &o.nStreamRate))
                return fail("--stream-rate needs bytes per second, at least 1");
            o.bStream = true;
        } else if (strName == "--space-pad") {
            o.bSpacePad = true;
        } else {
            return fail("unknown option " + strOpt);
        }
    }
    for (const auto& fault : o.aFaults) {
        bool bKnown = false;
        for (int nAddress : o.anIndicators)
            bKnown = bKnown || nAddress == fault.nAddress;
        if (!bKnown) {
            *pstrError = "--fault names address " + std::to_string(fault.nAddress) + ", which is not in --indicators";
            return false;
        }
    }
    return true;
}

std::string SimHelpText()
{
    return R"(tk4700-sim: a simulated serial line with TK4700 weighing indicators on it.

It creates a pseudo-terminal and links it as COM1 (or COMn) in the current directory.
TK-Dedi, started in the same directory, opens that COM1 as its serial port and finds the
simulated indicators there: each answers the HL (state) and HT (tuning) requests for its
own bus address only. Every request and reply is logged with a millisecond timestamp.
Runs until Ctrl+C (or SIGTERM), then removes its COMn link.

Point TK-Dedi at it: in the directory where you start both programs, TK4700_TUNE.INI says
    [COMMON]
    DATADIR=data        (an existing directory for the data files; leave it out for this one)
    [COM1]
    BAUD=9600
    DATA=8
    PARITY=0
    STOP=0
(every line ending in CR LF; the [COMn] section must match --port), then run tk4700-sim
there, and TK-Dedi from the same directory. TK-Dedi polls every 300 ms, so with --auto and
the default --dose-polls 3 each dose lasts about a second per indicator polled.

Every indicator has the same tuning: recipe 1 doses 1..3 (final values 500, 1200, 300),
recipe 2 doses 0..4 (800, 250, 1500, 400, 90), recipe 3 doses 1, 2 and 5 (2000, 350, 60).
Without --auto each indicator stays idle at recipe 1, dose 0, weight 0.

Options:
  --port N              link the line as COM<N>, N from 1 to 16 (default 1)    --port 2
  --indicators LIST     bus addresses of the indicators, 0..99 (default 1,2,3) --indicators 3,17,40
  --auto                run batches: dose 0, each configured dose in turn, back to dose 0;
                        each dose's weight scatters around its final value      --auto
  --recipes LIST        recipes the batches cycle through (default 1,2,3)      --recipes 2
  --dose-polls N        replies each dose is shown for (default 3)             --dose-polls 5
  --idle-polls N        replies at dose 0 before each batch (default 2)        --idle-polls 1
  --dose-ms MS          show each state for MS milliseconds instead of a number
                        of replies (states change only when asked)              --dose-ms 2000
  --scatter PCT         spread of the weights, percent of the final value
                        (default 2)                                             --scatter 5
  --seed N              start of the random weights; same seed, same weights
                        (default 1; the indicators use N, N+1, ... in order)   --seed 42
  --log FILE            write the frame log to FILE instead of the screen      --log line.log
  --fault ADDR:KIND[:COUNT]
                        make indicator ADDR misbehave, for COUNT requests or for
                        good; repeatable. KIND is one of
                          silent     no answer at all
                          garbage    24 bytes that are no reply
                          truncated  only the first 20 bytes of the reply
                          corrupted  one wrong byte ("CE" for "CD"; a blank among the HT digits)
                          late       the right reply, but --late-ms after the request
                                                                                --fault 17:silent:5
  --late-ms MS          delay of a "late" reply (default 300)                  --late-ms 500
  --reply-delay MS      delay every reply by MS (default 0: answer at once)    --reply-delay 50
  --stream              the line streams garbage bytes without a pause: a reader
                        always finds about 1 kB waiting                         --stream
  --stream-rate N       the same, paced at N bytes per second                  --stream-rate 2000
  --space-pad           pad weights with blanks ("  812") instead of zeros     --space-pad
  -h, --help            this text

While it runs, commands typed on its standard input change it: "fault 17 silent 5",
"clear 17", "state 3 2 1 640", "stream on", "delay 50", "hangup", "batches", "quit"
(type "help" for the list).

Example: three indicators at 3, 17 and 40 running batches, the one at 17 silent for its
first 10 requests, the log in a file:
    tk4700-sim --indicators 3,17,40 --auto --fault 17:silent:10 --log line.log
)";
}

bool ParseSimCommand(const std::string& strLine, CSimCommand* pCommand, std::string* pstrError)
{
    std::istringstream in(strLine);
    std::vector<std::string> astrWords;
    std::string strWord;
    while (in >> strWord && astrWords.size() < 8)
        astrWords.push_back(strWord);
    CSimCommand& c = *pCommand;
    c = CSimCommand{};
    auto fail = [&](const std::string& strWhy) {
        *pstrError = strWhy;
        return false;
    };
    if (astrWords.empty())
        return true;
    const std::string& strVerb = astrWords[0];
    const size_t nArgs = astrWords.size() - 1;
    if (strVerb == "fault") {
        c.eKind = CSimCommand::kFault;
        if (nArgs < 2 || nArgs > 3 || !ParseInt(astrWords[1], 0, 255, &c.nAddress) ||
            !ParseFaultKind(astrWords[2], &c.eFault) ||
            (nArgs == 3 && !ParseInt(astrWords[3], 1, 1000000000, &c.nCount)))
            return fail("usage: fault ADDR silent|garbage|truncated|corrupted|late [COUNT]");
    } else if (strVerb == "clear") {
        c.eKind = CSimCommand::kClear;
        if (nArgs != 1 || !ParseInt(astrWords[1], 0, 255, &c.nAddress))
            return fail("usage: clear ADDR");
    } else if (strVerb == "state") {
        c.eKind = CSimCommand::kState;
        if (nArgs != 4 || !ParseInt(astrWords[1], 0, 255, &c.nAddress) || !ParseInt(astrWords[2], 0, 9, &c.nRecipe) ||
            !ParseInt(astrWords[3], 0, 9, &c.nDose) || !ParseInt(astrWords[4], -9999, 99999, &c.nWeight))
            return fail("usage: state ADDR RECIPE DOSE WEIGHT");
    } else if (strVerb == "stream") {
        c.eKind = CSimCommand::kStream;
        if (nArgs != 1 || (astrWords[1] != "on" && astrWords[1] != "off"))
            return fail("usage: stream on|off");
        c.bOn = astrWords[1] == "on";
    } else if (strVerb == "delay") {
        c.eKind = CSimCommand::kDelay;
        if (nArgs != 1 || !ParseInt(astrWords[1], 0, 600000, &c.nMs))
            return fail("usage: delay MS");
    } else if (strVerb == "hangup" && nArgs == 0) {
        c.eKind = CSimCommand::kHangUp;
    } else if (strVerb == "batches" && nArgs == 0) {
        c.eKind = CSimCommand::kBatches;
    } else if (strVerb == "help" && nArgs == 0) {
        c.eKind = CSimCommand::kHelp;
    } else if (strVerb == "quit" && nArgs == 0) {
        c.eKind = CSimCommand::kQuit;
    } else {
        return fail("unknown command; type help");
    }
    return true;
}

std::string SimCommandHelp()
{
    return R"(Commands (type them while tk4700-sim runs, one per line):
  fault ADDR KIND [COUNT]   KIND: silent, garbage, truncated, corrupted, late  fault 17 silent 5
  clear ADDR                the indicator answers normally again               clear 17
  state ADDR R D WEIGHT     show recipe R, dose D and WEIGHT (stops batches)   state 3 2 1 640
  stream on|off             the line streams garbage bytes, or stops           stream on
  delay MS                  delay every reply by MS (0: at once)               delay 50
  hangup                    close the line for good (TK-Dedi's reads fail)     hangup
  batches                   list the batches each indicator completed          batches
  quit                      stop, as Ctrl+C does
)";
}
