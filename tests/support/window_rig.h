// CWindowRig: the dialog rig with the real Qt main window on top, and what a user does to it.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

#include "batch_window.h"
#include "dlg_rig.h"

namespace tkdtest {

// The rectangles the charts draw into, in client pixels.
inline const QRect kRcStatus(690, 64, 71, 30), kRcCurrent(8, 121, 325, 247), kRcAll(344, 121, 319, 247);

class CWindowRig : public CDlgRig, public IErrorReporter {
public:
    explicit CWindowRig(const CLineTiming& timing = CLineTiming::Short()) : CDlgRig(timing) {}
    void ShowError(const char*) override {}  // no box waiting for a click
    CBatchWindow& Show()  // the start-up work runs
    {
        m_pWindow = std::make_unique<CBatchWindow>(Context(), this);
        m_pWindow->show();
        QCoreApplication::processEvents();
        return *m_pWindow;
    }
    QWidget* Control(int nId) const { return m_pWindow->Control(nId); }
    QComboBox* Combo(int nId) const { return qobject_cast<QComboBox*>(Control(nId)); }
    QString Cell(int nRow, int nCol) const { return m_pWindow->TotalsList()->topLevelItem(nRow)->text(nCol); }
    QStringList Items(int nId) const
    {
        QStringList items;
        for (int i = 0; i < Combo(nId)->count(); ++i)
            items << Combo(nId)->itemText(i);
        return items;
    }
    // A user's choice in a drop-down list, and a click, as the window receives them.
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
    // Pixels of rc in the composed window (controls and charts as shown) that are not black.
    int CountNotBlack(const QRect& rc) const
    {
        const QImage image = m_pWindow->grab(rc).toImage().convertToFormat(QImage::Format_RGB32);
        const auto* pPixels = reinterpret_cast<const QRgb*>(image.constBits());
        return static_cast<int>(std::count_if(pPixels, pPixels + image.width() * image.height(), [](QRgb rgb) { return rgb != qRgb(0, 0, 0); }));
    }

    std::unique_ptr<CBatchWindow> m_pWindow;  // last, so destroyed first: its destroy handler uses the port and the store
};

}  // namespace tkdtest
