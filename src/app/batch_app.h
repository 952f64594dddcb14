// CBatchApp and the process-wide objects: settings, port, store and the two chart models (both programs).
#pragma once

#include "batch_store.h"
#include "com_port.h"
#include "tune_settings.h"
#include "weigh_chart.h"

// The application object: runs the main window modally; the program ends when it closes. Run and
// InitInstance belong to the toolkit: main_qt.cpp on Linux, main_win32.cpp on Windows.
class CBatchApp {
public:
    CBatchApp() = default;  // touches no file, line or window
    CBatchApp(const CBatchApp&) = delete;
    CBatchApp& operator=(const CBatchApp&) = delete;

    // Creates the toolkit's application object, then InitInstance. Returns the exit code.
    int Run(int argc, char** argv);
    // Runs the main window modally and destroys it. Always false: there is no message loop of the
    // application's own to enter afterwards.
    bool InitInstance();
};

// Constructed in this order before main() runs (one translation unit, declaration order); destroyed
// in the reverse order, when the store frees whatever buffers the window's destroy handler left.
extern CBatchApp theApp;
extern CTuneSettings g_settings;
extern CComPort g_port;
extern CBatchStore g_store;
extern CWeighChart g_chartCurrent;
extern CWeighChart g_chartAll;
// The panel rectangles g_rcChartCurrent and g_rcChartAll are constants (chart_rects.h).
