// CWindowRig: the real main window on a temporary directory, its own process objects and a simulated line, for the Qt tests.
#pragma once

#include <QImage>
#include <QProgressBar>
#include <QRect>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "batch_store.h"
#include "batch_window.h"
#include "com_port.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "tune_settings.h"
#include "weigh_chart.h"

namespace tkdtest {

// Keeps the settings loader's message instead of showing a box that would wait for a click.
class CCapturingReporter : public IErrorReporter {
public:
    void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }
    std::vector<std::string> m_astrMessages;
};

class CWindowRig {
public:
    explicit CWindowRig(const CLineTiming& timing = CLineTiming::Short());
    ~CWindowRig();
    CWindowRig(const CWindowRig&) = delete;
    CWindowRig& operator=(const CWindowRig&) = delete;

    // TK4700_TUNE.INI naming COM1 at 9600 8N1, CR LF lines, data files in the current directory.
    bool WriteSettings();
    // Starts the simulated line and links it as COM1 of the temporary directory.
    bool StartLine();
    // Writes the tuning file that the indicator's current tuning will match, and a data file of these lines.
    bool WriteIndicatorFiles(const CSimIndicator& indicator, const std::vector<std::string>& astrLines);
    // Creates the window and shows it (the start-up work runs).
    CBatchWindow& Show();

    CBatchWindow& Window() { return *m_pWindow; }
    QWidget* Control(int nId) const { return m_pWindow->Control(nId); }
    QTreeWidget* List() const { return m_pWindow->TotalsList(); }
    QString Cell(int nRow, int nCol) const;
    QStringList ComboItems(int nId) const;
    // A user's choice in a drop-down list, as the window receives it.
    void Choose(int nId, int nIndex);
    void Click(int nId);

    // Pixels of the canvas image inside a rectangle (client pixels, right and bottom exclusive).
    int CountPixels(const QRect& rc, bool (*fnMatch)(QRgb)) const;
    QImage PanelImage(const QRect& rc) const { return m_pWindow->Canvas().copy(rc); }

    CTempDir m_dir;
    CScopedChdir m_chdir;
    CSimLine m_line;
    CCapturingReporter m_reporter;
    CTuneSettings m_settings;
    CComPort m_port;
    CBatchStore m_store;
    CWeighChart m_chartCurrent;
    CWeighChart m_chartAll;

private:
    std::unique_ptr<CBatchWindow> m_pWindow;
};

bool IsRed(QRgb rgb);
bool IsNotBlack(QRgb rgb);

// The rectangles the charts draw into, in client pixels (right and bottom exclusive).
inline const QRect kRcStatus(690, 64, 71, 30);
inline const QRect kRcCurrent(8, 121, 325, 247);
inline const QRect kRcAll(344, 121, 319, 247);

}  // namespace tkdtest
