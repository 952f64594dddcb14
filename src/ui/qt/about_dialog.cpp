// CAboutDlg: the About box laid out as its template, in dialog units turned into pixels.
#include "about_dialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "dialog_units.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("TK-Dedi"));
    setObjectName(QStringLiteral("aboutDialog"));
    setFixedSize(DluToPixelX(235), DluToPixelY(55));
    if (pParent)
        setFont(pParent->font());

    auto* pIcon = new QLabel(this);
    pIcon->setObjectName(QStringLiteral("aboutIcon"));
    pIcon->setPixmap(QIcon(QStringLiteral(":/tk_dedi/tk_dedi.png")).pixmap(32, 32));
    pIcon->setGeometry(DluToPixelX(11), DluToPixelY(17), 32, 32);

    // Without prefix processing: "&" would be shown, not taken as a mnemonic (QLabel never takes it).
    auto* pVersion = new QLabel(QString::fromUtf8(kVersionText), this);
    pVersion->setObjectName(QStringLiteral("aboutVersion"));
    pVersion->setTextFormat(Qt::PlainText);
    pVersion->setGeometry(DluRect(40, 10, 119, 8));

    auto* pLine = new QLabel(QString::fromUtf8(kSecondLine), this);
    pLine->setObjectName(QStringLiteral("aboutLine"));
    pLine->setTextFormat(Qt::PlainText);
    pLine->setGeometry(DluRect(40, 25, 119, 8));

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QStringLiteral("aboutOk"));
    pOk->setGeometry(DluRect(178, 7, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
