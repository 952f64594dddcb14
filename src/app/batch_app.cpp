// The application object and the process-wide objects, defined in their construction order.
#include "batch_app.h"

#include <QApplication>

#include "batch_window.h"
#include "end_signals.h"
#include "tkd_version.h"

CBatchApp theApp;
CTuneSettings g_settings;
CComPort g_port;  // the product's line timing
CBatchStore g_store;
CWeighChart g_chartCurrent;
CWeighChart g_chartAll;

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
