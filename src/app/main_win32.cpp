// The application object, the process-wide objects and the entry point of the Windows program.
#include <windows.h>

#include "batch_app.h"
#include "win32_window.h"

CBatchApp theApp;
CTuneSettings g_settings;
CComPort g_port;  // the product's line timing
CBatchStore g_store;
CWeighChart g_chartCurrent;
CWeighChart g_chartAll;

int CBatchApp::Run(int, char**)
{
    InitInstance();
    return 0;
}

bool CBatchApp::InitInstance()
{
    CWin32BatchWindow window(CBatchContext{g_settings, g_port, g_store, g_chartCurrent, g_chartAll},
                             GetModuleHandleW(nullptr));
    if (window.Create())
        window.RunModal();  // how it ended makes no difference
    window.Destroy();
    return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return theApp.Run(__argc, __argv);
}
