// Entry point of tk-dedi.exe with the Win32 window: the application object's run on Windows.
#include <windows.h>

#include "batch_app.h"
#include "win32_window.h"

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
