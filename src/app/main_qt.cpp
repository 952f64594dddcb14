// Entry point of tk-dedi with the Qt window: answers --help and --version, otherwise runs the window.
#include <QApplication>

#include <cstdio>

#include "batch_app.h"
#include "batch_window.h"
#include "command_line.h"
#include "end_signals.h"
#include "tkd_version.h"

int CBatchApp::Run(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TK-Dedi"));
    QApplication::setApplicationVersion(QStringLiteral(TKD_VERSION));
    // Lets a Wayland desktop match the window with the menu entry tk-dedi.desktop (its icon, its name).
    QGuiApplication::setDesktopFileName(QStringLiteral("tk-dedi"));
    InitInstance();
    return 0;
}

bool CBatchApp::InitInstance()
{
    CBatchWindow window(CBatchContext{g_settings, g_port, g_store, g_chartCurrent, g_chartAll});
    WatchEndSignals(window);
    window.exec();  // how it ended makes no difference
    window.Destroy();
    return false;
}

int main(int argc, char** argv)
{
    // Before the toolkit starts: --version needs no display, and a mistyped option opens no window.
    const int nExit = HandleCommandLine(argc, argv, stdout, stderr);
    if (nExit >= 0)
        return nExit;
    return theApp.Run(argc, argv);
}
