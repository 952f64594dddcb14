// The command line of tk-dedi: the help text, the version, and the error for anything else.
#include "command_line.h"

#include <cstring>

#include "tkd_version.h"

namespace {

constexpr const char* kHelpText =
    "Usage: tk-dedi [--help | --version]\n"
    "\n"
    "TK-Dedi collects weighing data from up to three TK4700 weighing indicators on one serial\n"
    "line, in one window. It takes no other arguments: it is set up by its settings file alone.\n"
    "\n"
    "It reads, from the current directory:\n"
    "  TK4700_TUNE.INI  the settings (lines ending in CR LF): [COMMON] DATADIR= names the data\n"
    "                   directory; [COMn] names the port, with BAUD, DATA, PARITY and STOP.\n"
    "                   Only read, never written.\n"
    "  COMn             the serial port: the entry COMn in the current directory when there is\n"
    "                   one (e.g. a link to /dev/serial/by-id/...), otherwise /dev/ttyS(n-1).\n"
    "\n"
    "It writes, in the data directory (the current directory when DATADIR is not set), for the\n"
    "indicator at bus address NN:\n"
    "  RecipesTune_iNN  the indicator's recipe tuning, rewritten when it changes\n"
    "  Data_iNN         one line per completed batch, appended\n"
    "  Data_iNN.YYYYMMDD-HHMMSS\n"
    "                   an earlier Data_iNN, moved aside when the tuning changed\n"
    "  Data_iNN.torn    bytes after the last line end of Data_iNN (a line cut off by a power\n"
    "                   cut), moved here at a search, one line per fragment; never read again\n"
    "and, in the current directory:\n"
    "  tk-dedi.log      every warning and failure, also written to standard error, one line\n"
    "                   each with the local time and its UTC offset; at 1 MB it becomes\n"
    "                   tk-dedi.log.1 (replacing the one before) and a new one starts\n"
    "Nothing else is written.\n"
    "\n"
    "Started from the desktop menu, TK-Dedi runs in the folder ~/TK-Dedi, which is created\n"
    "with a starter TK4700_TUNE.INI and a data/ directory when it has no settings file.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n";

}  // namespace

int HandleCommandLine(int argc, const char* const* argv, std::FILE* pOut, std::FILE* pErr)
{
    bool bHelp = false;
    bool bVersion = false;
    for (int i = 1; i < argc; ++i) {
        const char* pszArg = argv[i];
        if (std::strcmp(pszArg, "--help") == 0 || std::strcmp(pszArg, "-h") == 0) {
            bHelp = true;
        } else if (std::strcmp(pszArg, "--version") == 0) {
            bVersion = true;
        } else {
            std::fprintf(pErr, "tk-dedi: %s '%s'\nTry 'tk-dedi --help'.\n",
                         pszArg[0] == '-' ? "unknown option" : "unexpected argument", pszArg);
            return 2;
        }
    }
    if (!bHelp && !bVersion)
        return -1;
    if (bHelp)
        std::fputs(kHelpText, pOut);
    else
        std::fputs("tk-dedi " TKD_VERSION "\n", pOut);
    // A full disk or a closed pipe must not pass for a printed answer.
    return std::fflush(pOut) == 0 && !std::ferror(pOut) ? 0 : 1;
}
