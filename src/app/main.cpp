// Entry point of tk-dedi: answers --help and --version, otherwise hands over to the application object.
#include <cstdio>

#include "batch_app.h"
#include "command_line.h"

int main(int argc, char** argv)
{
    // Before the toolkit starts: --version needs no display, and a mistyped option opens no window.
    const int nExit = HandleCommandLine(argc, argv, stdout, stderr);
    if (nExit >= 0)
        return nExit;
    return theApp.Run(argc, argv);
}
