// CBatchWindow: the controls of template 102 at their places, the view operations on them, and the event forwarding.
#include "batch_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QMessageBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimeEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <utility>

#include "about_dialog.h"
#include "dialog_template.h"
#include "dialog_units.h"

// Resources of a static library must be registered by name (outside any namespace).
static void InitTkDediResources()
{
    Q_INIT_RESOURCE(tk_dedi);
}

namespace {

// The charts are drawn onto the client area over the controls, as onto a dialog's own device
// context. Painted by the dialog itself they would lie below its group boxes, which some styles
// (Fusion) fill with a faint dark layer and a highlight line: every chart colour would come out
// darker. This layer, the topmost child, shows the canvas above them; it takes no input.
class CCanvasLayer : public QWidget {
public:
    CCanvasLayer(QWidget* pParent, std::function<void(QPainter&, const QRegion&)> fnPaint)
        : QWidget(pParent), m_fnPaint(std::move(fnPaint))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        QPainter painter(this);
        m_fnPaint(painter, pEvent->region());
    }

private:
    std::function<void(QPainter&, const QRegion&)> m_fnPaint;
};

// A drop-down list's template height covers its open list; the closed box is one line high.
constexpr int kComboHeightDlu = 13;
constexpr int kComboItemPx = 16;

}  // namespace

QSize CBatchWindow::ClientSize()
{
    return QSize(DluToPixelX(g_nBatchDlgCx), DluToPixelY(g_nBatchDlgCy));
}

CBatchWindow::CBatchWindow(const CBatchContext& context, IErrorReporter* pReporter, QWidget* pParent)
    : QDialog(pParent),
      m_canvas(ClientSize()),
      m_reporter(this),
      m_pReporter(pReporter ? pReporter : &m_reporter),
      m_dlg(*this, context)
{
    InitTkDediResources();
    setObjectName(QStringLiteral("batchWindow"));
    setWindowTitle(QStringLiteral("TK-Dedi"));
    setWindowIcon(QIcon(QStringLiteral(":/tk_dedi/tk_dedi.png")));
    // Caption, system menu (here the close box) and a fixed frame; an application window of its own.
    // The minimise box is ours (the template has none): the program runs for hours beside other work.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);
    // The template's 8-point font at the size its dialog units were measured with; DejaVu Sans is
    // wider than the Windows face, so its condensed cut keeps the captions inside their controls.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setStretch(QFont::Condensed);
    setFont(font);
    setFixedSize(ClientSize());

    CreateControls();
    m_pCanvasLayer = new CCanvasLayer(this, [this](QPainter& painter, const QRegion& region) {
        PaintCanvas(painter, region);
    });
    m_pCanvasLayer->setGeometry(QRect(QPoint(0, 0), ClientSize()));
    m_pCanvasLayer->raise();

    // Linux offers no way into the window manager's menu: the About command comes from F1 and
    // from the dialog's context menu instead.
    auto* pHelp = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(pHelp, &QShortcut::activated, this, [this] { m_dlg.OnSysCommand(g_nIdmAbout); });
}

CBatchWindow::~CBatchWindow()
{
    Destroy();
}

void CBatchWindow::Destroy()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    m_dlg.OnDestroy();
}

void CBatchWindow::CreateControls()
{
    QWidget* pPrevious = nullptr;
    for (const CControlDef& def : g_aBatchControls) {
        const QString strCaption = QString::fromUtf8(def.m_pszCaption);
        QRect rc = DluRect(def.m_nX, def.m_nY, def.m_nCx, def.m_nCy);
        QWidget* pWidget = nullptr;
        switch (def.m_eKind) {
        case EControlKind::Group:
            pWidget = new QGroupBox(strCaption, this);
            break;
        case EControlKind::Static:
            pWidget = new QLabel(strCaption, this);
            break;
        case EControlKind::Combo: {
            auto* pCombo = new QComboBox(this);
            pCombo->setMaxVisibleItems(std::max(1, (rc.height() - DluToPixelY(kComboHeightDlu)) / kComboItemPx));
            rc.setHeight(DluToPixelY(kComboHeightDlu));
            // Only a user's choice is a selection change; filling and selecting from code are not.
            connect(pCombo, &QComboBox::activated, this, [this, nId = def.m_nId] {
                if (nId == IDC_COMBO_INDICATOR)
                    m_dlg.OnSelchangeIndicator();
                else if (nId == IDC_COMBO_RECIPE)
                    m_dlg.OnSelchangeRecipe();
                else
                    m_dlg.OnSelchangeDose();
            });
            pWidget = pCombo;
            break;
        }
        case EControlKind::Progress: {
            auto* pBar = new QProgressBar(this);
            pBar->setTextVisible(false);
            // A common progress control starts at position 0 of its default range 0..100.
            pBar->setRange(0, 100);
            pBar->setValue(0);
            if (def.m_nId == IDC_PROGRESS_SCAN)
                m_pScanBar = pBar;
            else
                m_pDownloadBar = pBar;
            pWidget = pBar;
            break;
        }
        case EControlKind::Check:
            pWidget = new QCheckBox(strCaption, this);
            break;
        case EControlKind::Date: {
            auto* pDate = new QDateEdit(QDate::currentDate(), this);
            pDate->setAlignment(Qt::AlignRight);
            pWidget = pDate;
            break;
        }
        case EControlKind::Time: {
            auto* pTime = new QTimeEdit(QTime::currentTime(), this);
            pTime->setAlignment(Qt::AlignRight);
            pWidget = pTime;
            break;
        }
        case EControlKind::Button: {
            auto* pButton = new QPushButton(strCaption, this);
            // As in a Windows dialog, Enter clicks the focused button and otherwise ends the dialog.
            pButton->setAutoDefault(false);
            const int nId = def.m_nId;
            connect(pButton, &QPushButton::clicked, this, [this, nId] {
                switch (nId) {
                case IDC_SEARCH: m_dlg.OnSearch(); break;
                case IDC_START: m_dlg.OnStart(); break;
                case IDC_STOP: m_dlg.OnStop(); break;
                default: reject(); break;
                }
            });
            pWidget = pButton;
            break;
        }
        case EControlKind::List: {
            auto* pList = new QTreeWidget(this);
            pList->setRootIsDecorated(false);
            pList->setUniformRowHeights(true);
            pList->setItemsExpandable(false);
            pList->setSelectionMode(QAbstractItemView::SingleSelection);
            pList->setSelectionBehavior(QAbstractItemView::SelectItems);
            pList->setAllColumnsShowFocus(false);
            pList->header()->setStretchLastSection(false);
            pList->header()->setSectionsMovable(false);
            pList->setColumnCount(0);
            pList->setFrameShape(QFrame::StyledPanel);
            m_pList = pList;
            pWidget = pList;
            break;
        }
        }
        pWidget->setObjectName(QStringLiteral("ctl%1").arg(def.m_nId));
        pWidget->setProperty("ctlId", def.m_nId);
        pWidget->setGeometry(rc);
        if (def.m_bHidden)
            pWidget->hide();
        if (m_nControls < static_cast<int>(std::size(m_aControls)))
            m_aControls[m_nControls++] = {def.m_nId, pWidget};
        if (pWidget->focusPolicy() != Qt::NoFocus) {
            if (pPrevious)
                QWidget::setTabOrder(pPrevious, pWidget);
            pPrevious = pWidget;
        }
    }
    m_pScanAdapter = std::make_unique<CQtProgressBar>(m_pScanBar);
    m_pDownloadAdapter = std::make_unique<CQtProgressBar>(m_pDownloadBar);
}

QWidget* CBatchWindow::Control(int nId) const
{
    for (int i = 0; i < m_nControls; ++i) {
        if (m_aControls[i].m_nId == nId)
            return m_aControls[i].m_pWidget;
    }
    return nullptr;
}

QComboBox* CBatchWindow::Combo(int nId) const
{
    return qobject_cast<QComboBox*>(Control(nId));
}

QProgressBar* CBatchWindow::ProgressBar(int nId) const
{
    return qobject_cast<QProgressBar*>(Control(nId));
}

void CBatchWindow::EnableControl(int nId, bool bEnable)
{
    if (QWidget* pWidget = Control(nId))
        pWidget->setEnabled(bEnable);
}

void CBatchWindow::ComboAdd(int nId, const char* pszText)
{
    if (QComboBox* pCombo = Combo(nId)) {
        const int nSelected = pCombo->currentIndex();
        pCombo->addItem(QString::fromUtf8(pszText));
        // Adding selects nothing (Qt would select the first item added).
        pCombo->setCurrentIndex(nSelected);
    }
}

bool CBatchWindow::ComboDeleteLast(int nId)
{
    QComboBox* pCombo = Combo(nId);
    if (!pCombo || pCombo->count() == 0)
        return false;
    pCombo->removeItem(pCombo->count() - 1);
    return true;
}

void CBatchWindow::ComboSelect(int nId, int nIndex)
{
    if (QComboBox* pCombo = Combo(nId); pCombo && nIndex >= -1 && nIndex < pCombo->count())
        pCombo->setCurrentIndex(nIndex);
}

int CBatchWindow::ComboCount(int nId) const
{
    const QComboBox* pCombo = Combo(nId);
    return pCombo ? pCombo->count() : 0;
}

int CBatchWindow::ComboCurSel(int nId) const
{
    const QComboBox* pCombo = Combo(nId);
    return pCombo ? pCombo->currentIndex() : -1;
}

void CBatchWindow::ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const
{
    if (nSize <= 0)
        return;
    pszBuffer[0] = 0;
    const QComboBox* pCombo = Combo(nId);
    if (!pCombo || nIndex < 0 || nIndex >= pCombo->count())
        return;
    const QByteArray text = pCombo->itemText(nIndex).toUtf8();
    const int nLen = std::min(static_cast<int>(text.size()), nSize - 1);
    std::memcpy(pszBuffer, text.constData(), static_cast<size_t>(nLen));
    pszBuffer[nLen] = 0;
}

void CBatchWindow::ListInsertColumn(int nCol, const char* pszHeading, int nWidth)
{
    // Columns come in order, so inserting at nCol appends; a later position is taken as the end.
    const int nCount = m_pList->columnCount();
    const int nAt = std::min(std::max(nCol, 0), nCount);
    QTreeWidgetItem* pHeader = m_pList->headerItem();
    m_pList->setColumnCount(nCount + 1);
    for (int i = nCount; i > nAt; --i) {
        pHeader->setText(i, pHeader->text(i - 1));
        m_pList->setColumnWidth(i, m_pList->columnWidth(i - 1));
    }
    pHeader->setText(nAt, QString::fromUtf8(pszHeading));
    pHeader->setTextAlignment(nAt, Qt::AlignRight | Qt::AlignVCenter);
    m_pList->setColumnWidth(nAt, nWidth);
}

int CBatchWindow::ListInsertRow(const char* pszLabel)
{
    auto* pItem = new QTreeWidgetItem(m_pList);
    for (int nCol = 0; nCol < m_pList->columnCount(); ++nCol)
        pItem->setTextAlignment(nCol, Qt::AlignRight | Qt::AlignVCenter);
    pItem->setText(0, QString::fromUtf8(pszLabel));
    return m_pList->topLevelItemCount() - 1;
}

void CBatchWindow::ListSetCell(int nRow, int nCol, const char* pszText)
{
    if (nCol < 0 || nCol >= m_pList->columnCount())
        return;
    if (QTreeWidgetItem* pItem = m_pList->topLevelItem(nRow))
        pItem->setText(nCol, QString::fromUtf8(pszText));
}

void CBatchWindow::ListSetFullRowSelect()
{
    m_bFullRowSelect = true;
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setAllColumnsShowFocus(true);
}

void CBatchWindow::ProgressSetRange(int nId, int nMin, int nMax)
{
    QProgressBar* pBar = ProgressBar(nId);
    if (!pBar)
        return;
    const int nPos = pBar->value();
    pBar->setRange(nMin, nMax);
    // QProgressBar resets to "no value" when the old one falls outside; a progress control clamps.
    pBar->setValue(std::min(std::max(nPos, nMin), nMax));
}

IProgressBar& CBatchWindow::Progress(int nId)
{
    return nId == IDC_PROGRESS_SCAN ? *m_pScanAdapter : *m_pDownloadAdapter;
}

void CBatchWindow::PostWake()
{
    // From the line thread or the disk writer: a queued call, run by this window's event loop (or
    // by a modal box's loop, so that the line's results keep coming while the About box is open).
    // Called by name: nothing of ours is built on the calling thread and read on the window's, so
    // the hand-over is Qt's own event queue alone.
    QMetaObject::invokeMethod(this, "ApplyLineEvents", Qt::QueuedConnection);
}

void CBatchWindow::ApplyLineEvents()
{
    m_dlg.OnLineEvents();
}

void CBatchWindow::Repaint()
{
    m_pCanvasLayer->update();
}

void CBatchWindow::ShowAbout()
{
    CAboutDlg about(this);
    about.exec();
}

bool CBatchWindow::AskYesNo(const char* pszText)
{
    QMessageBox box(QMessageBox::Question, QString(), QString::fromUtf8(pszText), QMessageBox::NoButton, this);
    QPushButton* pYes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* pNo = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(pNo);
    box.setEscapeButton(pNo);
    box.exec();
    return box.clickedButton() == pYes;
}

void CBatchWindow::CloseWindow()
{
    // Queued, so that the handler that asks for it returns first.
    QMetaObject::invokeMethod(this, [this] { reject(); }, Qt::QueuedConnection);
}

void CBatchWindow::done(int nResult)
{
    if (!m_dlg.OnCloseRequest())
        return;
    QDialog::done(nResult);
}

void CBatchWindow::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (pEvent->spontaneous())
        return;
    m_dlg.OnShowWindow();
    // The start-up work disables the first control, which holds the focus. A Windows dialog leaves the
    // focus there, so that Enter is the OK command and ends the dialog; Qt would pass it on to "Поиск",
    // where Enter starts a search of half a minute. The dialog holds it instead.
    if (QWidget* pFirst = Control(IDC_COMBO_INDICATOR); pFirst && !pFirst->isEnabled())
        setFocus(Qt::OtherFocusReason);
    m_dlg.OnPaint();
}

void CBatchWindow::PaintCanvas(QPainter& painter, const QRegion& region)
{
    if (isMinimized())
        return;
    // Every paint shows the models as they are now: a panel cleared while the window was minimised
    // (a weighing completed, nothing could be drawn) is drawn again when the window comes back.
    m_dlg.DrawPanels();
    painter.setClipRegion(region);
    // Undrawn pixels of the canvas are transparent: the controls show through.
    painter.drawImage(0, 0, m_canvas.Image());
}

void CBatchWindow::closeEvent(QCloseEvent* pEvent)
{
    if (!m_dlg.OnCloseRequest()) {
        pEvent->ignore();
        return;
    }
    QDialog::closeEvent(pEvent);
}

void CBatchWindow::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->modifiers() == Qt::NoModifier || pEvent->modifiers() == Qt::KeypadModifier) {
        const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
        if (bEnter) {
            // No default button: Enter is the OK command, which ends the dialog, unless a button has the focus.
            if (auto* pButton = qobject_cast<QPushButton*>(focusWidget()); pButton && pButton->isEnabled()) {
                pButton->click();
                return;
            }
        }
        if (bEnter || pEvent->key() == Qt::Key_Escape) {
            // While polling neither key ends the program; the dialog decides.
            if (m_dlg.OnCloseKey())
                bEnter ? accept() : reject();
            return;
        }
    }
    QDialog::keyPressEvent(pEvent);
}

void CBatchWindow::contextMenuEvent(QContextMenuEvent* pEvent)
{
    QMenu menu(this);
    QAction* pAbout = menu.addAction(QStringLiteral("&About TK-Dedi..."));
    pAbout->setObjectName(QStringLiteral("actionAbout"));
    if (menu.exec(pEvent->globalPos()) == pAbout)
        m_dlg.OnSysCommand(g_nIdmAbout);
}
