// Qt stand-ins for the progress bars and the error message box.
#include "qt_adapters.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QString>

#include <algorithm>

void CQtProgressBar::SetPos(int nPos)
{
    // A progress control clamps a position to its range; QProgressBar would ignore it.
    nPos = std::clamp(nPos, m_pBar->minimum(), m_pBar->maximum());
    if (m_pBar->value() == nPos)
        return;
    m_pBar->setValue(nPos);
}

void CQtErrorReporter::ShowError(const char* pszText)
{
    QMessageBox::critical(m_pParent, QString(), QString::fromUtf8(pszText));
}

void ShowQtWarning(QWidget* pParent, const char* pszText)
{
    auto* pBox = new QMessageBox(QMessageBox::Critical, QString(), QString::fromUtf8(pszText), QMessageBox::Ok, pParent);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    pBox->setModal(false);
    pBox->show();
}
