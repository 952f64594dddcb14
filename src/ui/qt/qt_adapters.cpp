// Qt stand-ins for the message pump, the progress bars and the error message box.
#include "qt_adapters.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QString>

#include <algorithm>

void CQtMessagePump::PumpOneMessage()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CQtProgressBar::SetPos(int nPos)
{
    // A progress control clamps a position to its range; QProgressBar would ignore it.
    nPos = std::clamp(nPos, m_pBar->minimum(), m_pBar->maximum());
    if (m_pBar->value() == nPos)
        return;
    m_pBar->setValue(nPos);
    // The search blocks the event loop between its pump calls; paint now rather than at the next one.
    m_pBar->repaint();
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
