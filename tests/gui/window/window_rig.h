// CWindowRig: the real main window on a temporary directory with its own process objects and a simulated line.
#pragma once

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

#include "batch_store.h"
#include "batch_window.h"
#include "sim_line.h"
#include "temp_dir.h"
#include "weigh_chart.h"

namespace tkdtest {

// The rectangles the charts draw into, in client pixels.
inline const QRect kRcStatus(690, 64, 71, 30);
inline const QRect kRcCurrent(8, 121, 325, 247);
inline const QRect kRcAll(344, 121, 319, 247);

inline bool IsRed(QRgb rgb) { return qAlpha(rgb) == 255 && qRed(rgb) > 200 && qGreen(rgb) < 60 && qBlue(rgb) < 60; }
inline bool IsNotBlack(QRgb rgb) { return rgb != qRgb(0, 0, 0); }

class CWindowRig : public IErrorReporter {
public:
    explicit CWindowRig(const CLineTiming& timing = CLineTiming::Short()) : m_chdir(m_dir.Path()), m_port(timing) {}
    // Keeps the settings loader's message instead of showing a box that would wait for a click.
    void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }

    // TK4700_TUNE.INI (COM1 at 9600 8N1, data files in the current directory) when asked, and the simulated line as COM1.
    bool Start(bool bSettings = true)
    {
        return (!bSettings || WriteBytes(m_dir.File("TK4700_TUNE.INI"), "[COMMON]\r\nTIMEOUTBETWEENWRITEREAD=120\r\n"
                                                                        "[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n")) &&
               m_line.Start() && m_line.LinkAs(m_dir.Path(), 1);
    }
    CBatchWindow& Show()  // the start-up work runs
    {
        m_pWindow = std::make_unique<CBatchWindow>(CBatchContext{m_settings, m_port, m_store, m_chartCurrent, m_chartAll}, this);
        m_pWindow->show();
        QCoreApplication::processEvents();
        return *m_pWindow;
    }
    // The tuning file matching the indicator's tuning (ten lines of ten entries of six values), and a data file.
    bool WriteIndicatorFiles(const CSimIndicator& ind, const std::vector<std::string>& astrLines)
    {
        std::string strTune, strData;
        for (int nEntry = 0; nEntry < 100; ++nEntry) {
            for (int k = 0; k < CSimIndicator::kValues; ++k)
                strTune += std::to_string(ind.Tune(nEntry, k)) + ",";
            strTune += nEntry % 10 == 9 ? "\r\n" : "";
        }
        for (const std::string& strLine : astrLines)
            strData += strLine + "\r\n";
        const std::string strNumber = (ind.Address() < 10 ? "0" : "") + std::to_string(ind.Address());
        return WriteBytes(m_dir.File("RecipesTune_i" + strNumber), strTune) && WriteBytes(m_dir.File("Data_i" + strNumber), strData);
    }

    CBatchWindow& Window() { return *m_pWindow; }
    QWidget* Control(int nId) const { return m_pWindow->Control(nId); }
    QTreeWidget* List() const { return m_pWindow->TotalsList(); }
    QString Cell(int nRow, int nCol) const { return List()->topLevelItem(nRow) ? List()->topLevelItem(nRow)->text(nCol) : QString(); }
    QComboBox* Combo(int nId) const { return qobject_cast<QComboBox*>(Control(nId)); }
    QStringList ComboItems(int nId) const
    {
        QStringList items;
        for (int i = 0; i < Combo(nId)->count(); ++i)
            items << Combo(nId)->itemText(i);
        return items;
    }
    // A user's choice in a drop-down list, as the window receives it.
    void Choose(int nId, int nIndex) { Combo(nId)->setCurrentIndex(nIndex); Q_EMIT Combo(nId)->activated(nIndex); }
    void Click(int nId) { QTest::mouseClick(qobject_cast<QPushButton*>(Control(nId)), Qt::LeftButton); }
    // Which of Search, Start, Stop, the three combos, the list and Exit are enabled, as a string of 0 and 1.
    QString States() const
    {
        QString str;
        for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_LIST_TOTALS, IDC_EXIT})
            str += Control(nId)->isEnabled() ? '1' : '0';
        return str;
    }
    int CountPixels(const QRect& rc, bool (*fnMatch)(QRgb)) const
    {
        const QImage image = m_pWindow->Canvas().copy(rc).convertToFormat(QImage::Format_ARGB32);
        const auto* pPixels = reinterpret_cast<const QRgb*>(image.constBits());
        return static_cast<int>(std::count_if(pPixels, pPixels + image.width() * image.height(), fnMatch));
    }

    CTempDir m_dir;
    CScopedChdir m_chdir;
    CSimLine m_line;
    std::vector<std::string> m_astrMessages;
    CTuneSettings m_settings;
    CComPort m_port;
    CBatchStore m_store;
    CWeighChart m_chartCurrent;
    CWeighChart m_chartAll;

private:
    std::unique_ptr<CBatchWindow> m_pWindow;  // last, so destroyed first: its destroy handler uses the port and the store
};

}  // namespace tkdtest
