// The real window offscreen: its template, the start-up work with and without a settings file, the About box, closing.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "about_dialog.h"
#include "dialog_units.h"
#include "window_rig.h"

using namespace tkdtest;

class CWindowStartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void templateControlsAtTheirPlaces();
    void tabOrderFollowsTheTemplate();
    void withoutSettingsFileShowsTheMessageAndStops();
    void withSettingsFileLaysOutTheWindow();
    void aboutBoxFromF1AndFromTheContextMenu();
    void everyWayOfClosingEndsTheDialog_data();
    void everyWayOfClosingEndsTheDialog();
};

namespace {

struct CExpectedControl {
    int nId;
    const char* pszClass;
    const char* pszCaption;
    int x, y, cx, cy;
    bool bHidden;
};

const CExpectedControl kExpected[] = {
    {IDC_GROUP_SELECTION, "QGroupBox", "Текущий индикатор", 4, 4, 440, 60, false},
    {IDC_LABEL_INDICATOR, "QLabel", "Индикатор", 12, 18, 40, 8, false},
    {IDC_COMBO_INDICATOR, "QComboBox", "", 56, 18, 56, 0, false},
    {IDC_LABEL_RECIPE, "QLabel", "Рецепт", 120, 18, 28, 8, false},
    {IDC_COMBO_RECIPE, "QComboBox", "", 152, 18, 56, 0, false},
    {IDC_LABEL_DOSE, "QLabel", "Доза", 216, 18, 20, 8, false},
    {IDC_COMBO_DOSE, "QComboBox", "", 240, 18, 56, 0, false},
    {IDC_PROGRESS_SCAN, "QProgressBar", "", 12, 40, 284, 8, false},
    {IDC_PROGRESS_DOWNLOAD, "QProgressBar", "", 12, 52, 284, 8, false},
    {IDC_CHECK_DATETIME, "QCheckBox", "Ограничение по дате/времени", 308, 16, 120, 8, true},
    {IDC_LABEL_BEGIN, "QLabel", "Начало", 308, 28, 28, 8, true},
    {IDC_DATE_BEGIN, "QDateEdit", "", 336, 28, 52, 12, true},
    {IDC_TIME_BEGIN, "QTimeEdit", "", 392, 28, 44, 12, true},
    {IDC_LABEL_END, "QLabel", "Конец", 308, 48, 24, 8, true},
    {IDC_DATE_END, "QDateEdit", "", 336, 48, 52, 12, true},
    {IDC_TIME_END, "QTimeEdit", "", 392, 48, 44, 12, true},
    {IDC_GROUP_CURRENT, "QGroupBox", "Текущие отвесы", 4, 65, 220, 163, false},
    {IDC_GROUP_ALL, "QGroupBox", "Все отвесы", 228, 65, 216, 163, false},
    {IDC_GROUP_BUTTONS, "QGroupBox", "", 448, 4, 72, 224, false},
    {IDC_SEARCH, "QPushButton", "Поиск", 460, 20, 48, 16, false},
    {IDC_START, "QPushButton", "Старт", 460, 60, 48, 16, false},
    {IDC_STOP, "QPushButton", "Стоп", 460, 84, 48, 16, false},
    {IDC_GROUP_TOTALS, "QGroupBox", "Итоги по рецептам/дозам", 4, 228, 516, 112, false},
    {IDC_LIST_TOTALS, "QTreeWidget", "", 8, 236, 508, 100, false},
    {IDC_EXIT, "QPushButton", "Выход", 460, 121, 48, 16, false},
};

QString Caption(QWidget* pWidget)
{
    if (auto* p = qobject_cast<QGroupBox*>(pWidget))
        return p->title();
    if (auto* p = qobject_cast<QLabel*>(pWidget))
        return p->text();
    if (auto* p = qobject_cast<QAbstractButton*>(pWidget))
        return p->text();
    return QString();
}

// Every control of the phase table, enabled or not.
void VerifyStates(CWindowRig& rig, bool bSearch, bool bStart, bool bStop, bool bCombos, bool bList)
{
    QCOMPARE(rig.Control(IDC_SEARCH)->isEnabled(), bSearch);
    QCOMPARE(rig.Control(IDC_START)->isEnabled(), bStart);
    QCOMPARE(rig.Control(IDC_STOP)->isEnabled(), bStop);
    QCOMPARE(rig.Control(IDC_COMBO_INDICATOR)->isEnabled(), bCombos);
    QCOMPARE(rig.Control(IDC_COMBO_RECIPE)->isEnabled(), bCombos);
    QCOMPARE(rig.Control(IDC_COMBO_DOSE)->isEnabled(), bCombos);
    QCOMPARE(rig.Control(IDC_LIST_TOTALS)->isEnabled(), bList);
    QVERIFY(rig.Control(IDC_EXIT)->isEnabled());
}

// Closes the modal box that a test's action opens, once it is up; returns what it found there.
struct CModalCloser {
    QString strTitle;
    QString strVersion;
    QString strLine;
    bool bFound = false;
    void Arm()
    {
        QTimer::singleShot(50, [this] { Poll(); });
    }
    void Poll()
    {
        QWidget* pModal = QApplication::activeModalWidget();
        auto* pAbout = qobject_cast<CAboutDlg*>(pModal);
        if (!pAbout) {
            QTimer::singleShot(50, [this] { Poll(); });
            return;
        }
        bFound = true;
        strTitle = pAbout->windowTitle();
        strVersion = pAbout->findChild<QLabel*>(QStringLiteral("aboutVersion"))->text();
        strLine = pAbout->findChild<QLabel*>(QStringLiteral("aboutLine"))->text();
        QTest::mouseClick(pAbout->findChild<QPushButton*>(QStringLiteral("aboutOk")), Qt::LeftButton);
    }
};

}  // namespace

void CWindowStartupTest::templateControlsAtTheirPlaces()
{
    CWindowRig rig;
    CBatchWindow& window = rig.Show();
    QCOMPARE(window.windowTitle(), QStringLiteral("TK-Dedi"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.size(), QSize(786, 561));  // 524 x 345 dialog units
    QCOMPARE(window.minimumSize(), window.maximumSize());

    for (const CExpectedControl& exp : kExpected) {
        QWidget* pWidget = rig.Control(exp.nId);
        QVERIFY2(pWidget, qPrintable(QString::number(exp.nId)));
        QCOMPARE(pWidget->metaObject()->className(), exp.pszClass);
        QCOMPARE(Caption(pWidget), QString::fromUtf8(exp.pszCaption));
        const QRect rc = DluRect(exp.x, exp.y, exp.cx, exp.cy);
        QCOMPARE(pWidget->pos(), rc.topLeft());
        QCOMPARE(pWidget->width(), rc.width());
        if (exp.cy != 0)  // a drop-down list's template height is that of its open list
            QCOMPARE(pWidget->height(), rc.height());
        QCOMPARE(pWidget->isHidden(), exp.bHidden);
    }
    QCOMPARE(rig.Control(IDC_SEARCH)->geometry(), QRect(690, 33, 72, 26));

    // The fixed chart rectangles lie inside their group boxes, below the titles; the status box
    // lies inside the button frame, between "Поиск" and "Старт", as wide as they are.
    const QRect rcGroupCurrent = rig.Control(IDC_GROUP_CURRENT)->geometry();
    const QRect rcGroupAll = rig.Control(IDC_GROUP_ALL)->geometry();
    QVERIFY(rcGroupCurrent.contains(kRcCurrent));
    QVERIFY(rcGroupAll.contains(kRcAll));
    QVERIFY(kRcCurrent.top() > rcGroupCurrent.top() + 12);
    QVERIFY(rig.Control(IDC_GROUP_BUTTONS)->geometry().contains(kRcStatus));
    QVERIFY(kRcStatus.top() >= rig.Control(IDC_SEARCH)->geometry().bottom());
    QVERIFY(kRcStatus.bottom() < rig.Control(IDC_START)->geometry().top());
    QCOMPARE(kRcStatus.left(), rig.Control(IDC_SEARCH)->x());
}

void CWindowStartupTest::tabOrderFollowsTheTemplate()
{
    CWindowRig rig;
    CBatchWindow& window = rig.Show();
    // The controls that take the focus, in the template's order.
    const int anOrder[] = {IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_SEARCH,
                           IDC_START,           IDC_STOP,         IDC_LIST_TOTALS, IDC_EXIT};
    QWidget* pWidget = rig.Control(anOrder[0]);
    for (size_t i = 1; i < std::size(anOrder); ++i) {
        QWidget* pNext = pWidget->nextInFocusChain();
        while (pNext != &window && (pNext->focusPolicy() == Qt::NoFocus || pNext->isHidden() ||
                                    pNext->parentWidget() != &window))
            pNext = pNext->nextInFocusChain();
        QCOMPARE(pNext->property("ctlId").toInt(), anOrder[i]);
        pWidget = pNext;
    }
}

void CWindowStartupTest::withoutSettingsFileShowsTheMessageAndStops()
{
    CWindowRig rig;
    QVERIFY(rig.StartLine());
    rig.Show();
    QCOMPARE(rig.m_reporter.m_astrMessages.size(), size_t(1));
    QCOMPARE(QString::fromStdString(rig.m_reporter.m_astrMessages[0]),
             QStringLiteral("Не могу открыть файл настроек TK4700_TUNE.INI"));
    // Everything as the template made it: all on, the list without columns or rows.
    VerifyStates(rig, true, true, true, true, true);
    QCOMPARE(rig.List()->columnCount(), 0);
    QCOMPARE(rig.List()->topLevelItemCount(), 0);
    QVERIFY(!rig.m_port.IsOpen());
    // The progress bars got their range before the settings were read.
    QCOMPARE(rig.Window().ProgressBar(IDC_PROGRESS_SCAN)->maximum(), 99);
    QCOMPARE(rig.Window().ProgressBar(IDC_PROGRESS_SCAN)->value(), 0);
}

void CWindowStartupTest::withSettingsFileLaysOutTheWindow()
{
    CWindowRig rig;
    QVERIFY(rig.WriteSettings());
    QVERIFY(rig.StartLine());
    rig.Show();
    QVERIFY(rig.m_reporter.m_astrMessages.empty());
    QVERIFY(rig.m_port.IsOpen());
    VerifyStates(rig, true, false, false, false, false);
    QVERIFY(rig.ComboItems(IDC_COMBO_INDICATOR).isEmpty());

    QTreeWidget* pList = rig.List();
    QCOMPARE(pList->columnCount(), 11);
    QCOMPARE(pList->headerItem()->text(0), QStringLiteral("РЦ"));
    QCOMPARE(pList->columnWidth(0), 30);
    for (int nDose = 0; nDose < 10; ++nDose) {
        QCOMPARE(pList->headerItem()->text(nDose + 1), QStringLiteral("Доза %1").arg(nDose));
        QCOMPARE(pList->columnWidth(nDose + 1), 72);
    }
    QCOMPARE(pList->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(pList->topLevelItemCount(), 10);
    for (int nRow = 0; nRow < 10; ++nRow) {
        QCOMPARE(rig.Cell(nRow, 0), QString::number(nRow));
        for (int nCol = 0; nCol <= 10; ++nCol) {
            if (nCol > 0)
                QCOMPARE(rig.Cell(nRow, nCol), QStringLiteral("0"));
            QCOMPARE(pList->topLevelItem(nRow)->textAlignment(nCol) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
        }
    }
    for (int nId : {IDC_PROGRESS_SCAN, IDC_PROGRESS_DOWNLOAD}) {
        QCOMPARE(rig.Window().ProgressBar(nId)->minimum(), 0);
        QCOMPARE(rig.Window().ProgressBar(nId)->maximum(), 99);
        QCOMPARE(rig.Window().ProgressBar(nId)->value(), 0);
    }
    // Both panels and the status box painted black from empty models; no lamp.
    QCOMPARE(rig.CountPixels(kRcCurrent, IsNotBlack), 0);
    QCOMPARE(rig.CountPixels(kRcAll, IsNotBlack), 0);
    QCOMPARE(rig.CountPixels(kRcStatus, IsNotBlack), 0);
    QVERIFY(!rig.Window().PollTimer().isActive());
    // The canvas is what the window shows.
    const QImage shown = rig.Window().grab().toImage();
    QCOMPARE(shown.pixelColor(100, 200), QColor(Qt::black));
    QCOMPARE(shown.pixelColor(700, 70), QColor(Qt::black));
}

void CWindowStartupTest::aboutBoxFromF1AndFromTheContextMenu()
{
    CWindowRig rig;
    CBatchWindow& window = rig.Show();
    window.activateWindow();

    CModalCloser closer;
    closer.Arm();
    QTest::keyClick(&window, Qt::Key_F1);
    QVERIFY(closer.bFound);
    QCOMPARE(closer.strTitle, QStringLiteral("TK-Dedi"));
    QCOMPARE(closer.strVersion, QStringLiteral("TK-Dedi, Version 1.0"));
    QVERIFY(!closer.strLine.isEmpty());
    QVERIFY(window.isVisible());

    // The context menu offers the same command; choosing it opens the box again.
    CModalCloser second;
    bool bMenuSeen = false;
    QTimer::singleShot(50, [&] {
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!pMenu)
            return;
        const QList<QAction*> actions = pMenu->actions();
        bMenuSeen = actions.size() == 1 && actions[0]->text() == QStringLiteral("&About TK-Dedi...");
        second.Arm();
        pMenu->setActiveAction(actions.last());
        QTest::keyClick(pMenu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 20), window.mapToGlobal(QPoint(400, 20)));
    QApplication::sendEvent(&window, &event);
    QVERIFY(bMenuSeen);
    QVERIFY(second.bFound);
}

void CWindowStartupTest::everyWayOfClosingEndsTheDialog_data()
{
    QTest::addColumn<int>("nWay");
    QTest::newRow("Выход") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("Enter") << 2;
    QTest::newRow("close box") << 3;
}

void CWindowStartupTest::everyWayOfClosingEndsTheDialog()
{
    QFETCH(int, nWay);
    CWindowRig rig;
    QVERIFY(rig.WriteSettings());
    QVERIFY(rig.StartLine());
    CBatchWindow& window = rig.Show();
    QVERIFY(window.isVisible());
    // Enter on a focused button clicks that button; with the focus elsewhere it is the OK command.
    if (QWidget* pFocus = QApplication::focusWidget())
        pFocus->clearFocus();
    switch (nWay) {
    case 0: rig.Click(IDC_EXIT); break;
    case 1: QTest::keyClick(&window, Qt::Key_Escape); break;
    case 2: QTest::keyClick(&window, Qt::Key_Return); break;
    default: window.close(); break;
    }
    QVERIFY(!window.isVisible());
    // What the program does next: the destroy handler closes the port and the store and frees the buffers.
    QVERIFY(rig.m_port.IsOpen());
    window.Destroy();
    QVERIFY(!rig.m_port.IsOpen());
    QVERIFY(!rig.m_store.HasBuffers());
}

#include "tst_window_startup.moc"

int RunWindowStartupTests(int argc, char** argv)
{
    CWindowStartupTest test;
    return QTest::qExec(&test, argc, argv);
}
