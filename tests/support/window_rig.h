// CWindowRig: the dialog rig with the real Qt main window on top, and what a user does to it.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include "batch_window.h"
#include "dlg_rig.h"

namespace tkdtest {

class CWindowRig : public CDlgRig, public IErrorReporter {
public:
    explicit CWindowRig(const CLineTiming& timing = CLineTiming::Short()) : CDlgRig(timing) {}
    // Keeps the settings loader's message instead of showing a box that would wait for a click.
    void ShowError(const char* pszText) override { m_astrMessages.emplace_back(pszText); }

    CBatchWindow& Show()  // the start-up work runs
    {
        m_pWindow = std::make_unique<CBatchWindow>(Context(), this);
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
    QString Cell(int nRow, int nCol) const
    {
        const QTreeWidgetItem* pItem = m_pWindow->TotalsList()->topLevelItem(nRow);
        return pItem ? pItem->text(nCol) : QString();
    }
    QComboBox* Combo(int nId) const { return qobject_cast<QComboBox*>(Control(nId)); }
    QStringList ComboItems(int nId) const
    {
        QStringList items;
        for (int i = 0; i < Combo(nId)->count(); ++i)
            items << Combo(nId)->itemText(i);
        return items;
    }
    // A user's choice in a drop-down list, as the window receives it.
    void Choose(int nId, int nIndex)
    {
        Combo(nId)->setCurrentIndex(nIndex);
        Q_EMIT Combo(nId)->activated(nIndex);
    }
    void Click(int nId) { QTest::mouseClick(qobject_cast<QPushButton*>(Control(nId)), Qt::LeftButton); }
    // Which of Search, Start, Stop, the three combos, the list and Exit are enabled, as a string of 0 and 1.
    QString States() const
    {
        QString str;
        for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_LIST_TOTALS, IDC_EXIT})
            str += Control(nId)->isEnabled() ? '1' : '0';
        return str;
    }
    // Pixels of the composed window (controls and charts as shown) in rc that are not black.
    int CountNotBlack(const QRect& rc) const
    {
        const QImage image = m_pWindow->grab(rc).toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) != qRgb(0, 0, 0) ? 1 : 0;
        return n;
    }

    std::vector<std::string> m_astrMessages;

private:
    std::unique_ptr<CBatchWindow> m_pWindow;  // last, so destroyed first: its destroy handler uses the port and the store
};

// The rectangles the charts draw into, in client pixels.
inline const QRect kRcStatus(690, 64, 71, 30);
inline const QRect kRcCurrent(8, 121, 325, 247);
inline const QRect kRcAll(344, 121, 319, 247);

}  // namespace tkdtest
