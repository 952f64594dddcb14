// CWindowRig: builds the objects the real window works on, drives its controls as a user would, reads its pixels.
#include "window_rig.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace tkdtest {

CWindowRig::CWindowRig(const CLineTiming& timing) : m_chdir(m_dir.Path()), m_port(timing) {}

CWindowRig::~CWindowRig()
{
    // The window's destroy handler uses the port and the store: it goes first.
    m_pWindow.reset();
}

bool CWindowRig::WriteSettings()
{
    return WriteBytes(m_dir.File("TK4700_TUNE.INI"),
                      "[COMMON]\r\nTIMEOUTBETWEENWRITEREAD=120\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n");
}

bool CWindowRig::StartLine()
{
    return m_line.Start() && m_line.LinkAs(m_dir.Path(), 1);
}

bool CWindowRig::WriteIndicatorFiles(const CSimIndicator& indicator, const std::vector<std::string>& astrLines)
{
    // Ten lines, one per recipe: the six values of each of its ten entries, each followed by ",".
    std::string strTune;
    for (int nRecipe = 0; nRecipe < 10; ++nRecipe) {
        for (int nEntry = nRecipe * 10; nEntry < nRecipe * 10 + 10; ++nEntry) {
            for (int k = 0; k < CSimIndicator::kValues; ++k)
                strTune += std::to_string(indicator.Tune(nEntry, k)) + ",";
        }
        strTune += "\r\n";
    }
    std::string strData;
    for (const std::string& strLine : astrLines)
        strData += strLine + "\r\n";
    char szNumber[8];
    std::snprintf(szNumber, sizeof(szNumber), "%02d", indicator.Address());
    return WriteBytes(m_dir.File(std::string("RecipesTune_i") + szNumber), strTune) &&
           WriteBytes(m_dir.File(std::string("Data_i") + szNumber), strData);
}

CBatchWindow& CWindowRig::Show()
{
    m_pWindow = std::make_unique<CBatchWindow>(
        CBatchContext{m_settings, m_port, m_store, m_chartCurrent, m_chartAll}, &m_reporter);
    m_pWindow->show();
    QCoreApplication::processEvents();
    return *m_pWindow;
}

QString CWindowRig::Cell(int nRow, int nCol) const
{
    const QTreeWidgetItem* pItem = List()->topLevelItem(nRow);
    return pItem ? pItem->text(nCol) : QString();
}

QStringList CWindowRig::ComboItems(int nId) const
{
    QStringList items;
    const auto* pCombo = qobject_cast<QComboBox*>(Control(nId));
    for (int i = 0; pCombo && i < pCombo->count(); ++i)
        items << pCombo->itemText(i);
    return items;
}

void CWindowRig::Choose(int nId, int nIndex)
{
    auto* pCombo = qobject_cast<QComboBox*>(Control(nId));
    pCombo->setCurrentIndex(nIndex);
    Q_EMIT pCombo->activated(nIndex);
}

void CWindowRig::Click(int nId)
{
    QTest::mouseClick(qobject_cast<QPushButton*>(Control(nId)), Qt::LeftButton);
}

int CWindowRig::CountPixels(const QRect& rc, bool (*fnMatch)(QRgb)) const
{
    const QImage& image = m_pWindow->Canvas();
    int nCount = 0;
    for (int y = rc.top(); y <= rc.bottom(); ++y) {
        for (int x = rc.left(); x <= rc.right(); ++x) {
            if (fnMatch(image.pixel(x, y)))
                ++nCount;
        }
    }
    return nCount;
}

bool IsRed(QRgb rgb)
{
    return qAlpha(rgb) == 255 && qRed(rgb) > 200 && qGreen(rgb) < 60 && qBlue(rgb) < 60;
}

bool IsNotBlack(QRgb rgb)
{
    return qAlpha(rgb) != 255 || qRed(rgb) != 0 || qGreen(rgb) != 0 || qBlue(rgb) != 0;
}

}  // namespace tkdtest
