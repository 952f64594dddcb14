// The real window offscreen: the template's layout, Enter and the other ways of closing, the chart colours and the
// repaint after a restore on the composed window, About, a close during a search, and the wiring of a search, the
// cascade, the timer and stop over a simulated line.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStyleFactory>
#include <QTimer>

#include <map>

#include "about_dialog.h"
#include "window_rig.h"

using namespace tkdtest;

namespace {

const double kTenWeights[10] = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};

QString Caption(QWidget* pWidget)
{
    if (auto* p = qobject_cast<QGroupBox*>(pWidget))
        return p->title();
    if (auto* p = qobject_cast<QLabel*>(pWidget))
        return p->text();
    auto* p = qobject_cast<QAbstractButton*>(pWidget);
    return p ? p->text() : QString();
}

// Runs fnOpen, which opens the About box modally; reads the box once it is up and clicks its OK.
QStringList AboutTexts(const std::function<void()>& fnOpen)
{
    QStringList texts;
    QTimer poll;
    poll.callOnTimeout([&] {
        if (auto* pAbout = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            poll.stop();
            for (const char* pszName : {"aboutVersion", "aboutLine"})
                texts << pAbout->findChild<QLabel*>(QString::fromLatin1(pszName))->text();
            texts << pAbout->windowTitle();
            QTest::mouseClick(pAbout->findChild<QPushButton*>(QStringLiteral("aboutOk")), Qt::LeftButton);
        }
    });
    poll.start(50);
    fnOpen();
    return texts;
}

}  // namespace

class CWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpLaysOutTheTemplateAndTheList()
    {
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        QCOMPARE(window.windowTitle(), QStringLiteral("TK-Dedi"));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.size(), QSize(786, 561));  // 524 x 345 dialog units
        QCOMPARE(window.minimumSize(), window.maximumSize());
        // Controls at their template places: x 6/4, y 13/8 pixels per dialog unit, both edges rounded.
        const struct { int nId; const char* pszCaption; QRect rc; } aSpots[] = {
            {IDC_GROUP_SELECTION, "Текущий индикатор", {6, 7, 660, 97}}, {IDC_LABEL_INDICATOR, "Индикатор", {18, 29, 60, 13}},
            {IDC_GROUP_CURRENT, "Текущие отвесы", {6, 106, 330, 265}}, {IDC_SEARCH, "Поиск", {690, 33, 72, 26}},
            {IDC_EXIT, "Выход", {690, 197, 72, 26}}, {IDC_LIST_TOTALS, "", {12, 384, 762, 162}},
        };
        for (const auto& spot : aSpots) {
            QCOMPARE(Caption(rig.Control(spot.nId)), QString::fromUtf8(spot.pszCaption));
            QCOMPARE(rig.Control(spot.nId)->geometry(), spot.rc);
        }
        for (int nId = IDC_CHECK_DATETIME; nId <= IDC_TIME_END; ++nId)
            QVERIFY(rig.Control(nId)->isHidden());
        // The charts lie inside their group boxes, below the titles; the status box below "Поиск".
        QVERIFY(rig.Control(IDC_GROUP_CURRENT)->geometry().adjusted(0, 12, 0, 0).contains(kRcCurrent));
        QVERIFY(rig.Control(IDC_GROUP_ALL)->geometry().contains(kRcAll));
        QVERIFY(rig.Control(IDC_GROUP_BUTTONS)->geometry().contains(kRcStatus));
        QVERIFY(kRcStatus.top() > rig.Control(IDC_SEARCH)->geometry().bottom() && kRcStatus.bottom() < rig.Control(IDC_START)->y());

        // The controls that take the focus follow the template's order.
        const int anOrder[] = {IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_SEARCH, IDC_START, IDC_STOP, IDC_LIST_TOTALS, IDC_EXIT};
        QWidget* pWidget = rig.Control(anOrder[0]);
        for (size_t i = 1; i < std::size(anOrder); ++i) {
            do {
                pWidget = pWidget->nextInFocusChain();
            } while (pWidget->focusPolicy() == Qt::NoFocus || pWidget->isHidden() || pWidget->parentWidget() != &window);
            QCOMPARE(pWidget->property("ctlId").toInt(), anOrder[i]);
        }

        QCOMPARE(rig.States(), QStringLiteral("10000001"));
        QTreeWidget* pList = window.TotalsList();
        QCOMPARE(pList->columnCount(), 11);
        QCOMPARE(QStringList({pList->headerItem()->text(0), pList->headerItem()->text(10)}), QStringList({"РЦ", "Доза 9"}));
        QCOMPARE(QList<int>({pList->columnWidth(0), pList->columnWidth(10)}), QList<int>({30, 72}));
        QCOMPARE(pList->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(QStringList({rig.Cell(9, 0), rig.Cell(9, 10), rig.Cell(10, 0)}), QStringList({"9", "0", ""}));
        QCOMPARE(pList->topLevelItem(9)->textAlignment(10) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
        QCOMPARE(pList->headerItem()->textAlignment(10) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
        for (const QProgressBar* pBar : {window.ProgressBar(IDC_PROGRESS_SCAN), window.ProgressBar(IDC_PROGRESS_DOWNLOAD)})
            QCOMPARE(QList<int>({pBar->minimum(), pBar->maximum(), pBar->value()}), QList<int>({0, 99, 0}));
        for (const QRect& rc : {kRcCurrent, kRcAll, kRcStatus})  // painted black from empty models, no lamp
            QCOMPARE(rig.CountNotBlack(rc), 0);
    }

    // Enter right after start-up is pressed where the focus is: it must end the dialog, not start a search.
    void everyWayOfClosingEndsTheDialog_data()
    {
        QTest::addColumn<int>("nWay");
        int nWay = 0;
        for (const char* pszWay : {"Enter right after start-up", "Выход", "Esc", "close box"})
            QTest::newRow(pszWay) << nWay++;
    }
    void everyWayOfClosingEndsTheDialog()
    {
        QFETCH(int, nWay);
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* pFocus = QApplication::focusWidget();
        QVERIFY(pFocus != nullptr && pFocus->window() == &window);
        if (nWay == 0)
            QTest::keyClick(pFocus, Qt::Key_Return);
        else if (nWay == 1)
            rig.Click(IDC_EXIT);
        else
            nWay == 2 ? QTest::keyClick(pFocus, Qt::Key_Escape) : (void)window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(rig.m_line.CountRequests(), 0);
        QVERIFY(rig.m_port.IsOpen());  // left to the destroy handler, which the program runs next
    }

    // The charts on the window as shown, over the group boxes that some styles shade: every pixel of the
    // panels and the status box is one of the drawing's colours, exactly.
    void chartColoursAreExactOnTheComposedWindow_data()
    {
        QTest::addColumn<QString>("strStyle");
        QTest::newRow("Fusion") << QStringLiteral("Fusion");
        QTest::newRow("Windows") << QStringLiteral("Windows");
    }
    void chartColoursAreExactOnTheComposedWindow()
    {
        QFETCH(QString, strStyle);
        QApplication::setStyle(QStyleFactory::create(strStyle));
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        QVERIFY(rig.m_chartCurrent.Compute(kTenWeights, 10, 1) && rig.m_chartAll.Compute(kTenWeights, 10, 1));
        CBatchWindow& window = rig.Show();
        window.Dlg().OnStart();  // the lamp; no indicator to poll
        const QImage shown = window.grab().toImage();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        const QRgb aPalette[] = {qRgb(0, 0, 0), qRgb(0, 128, 0), qRgb(170, 170, 0), qRgb(130, 0, 0), qRgb(0, 128, 255),
                                 qRgb(0, 64, 0), qRgb(255, 0, 0), qRgb(255, 255, 255)};
        std::map<QRgb, int> mapSeen;
        for (const QRect& rc : {kRcCurrent, kRcAll, kRcStatus}) {
            for (int y = rc.top(); y <= rc.bottom(); ++y) {
                for (int x = rc.left(); x <= rc.right(); ++x) {
                    const QRgb rgb = shown.pixel(x, y) | 0xFF000000u;
                    QVERIFY2(std::find(std::begin(aPalette), std::end(aPalette), rgb) != std::end(aPalette),
                             qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(rgb, 8, 16)));
                    ++mapSeen[rgb];
                }
            }
        }
        for (QRgb rgb : aPalette)
            QVERIFY2(mapSeen[rgb] >= 20, qPrintable(QString::number(rgb, 16)));
        // Pixels that place the elements: a round red sample dot of 6 on (126, 283), the curve on (170, 253),
        // the blue marker over the axis, the dotted lines' tops, the green axis, the white text line from (12, 350).
        const struct { int x, y; QRgb rgb; bool bIs; } aSpots[] = {
            {126, 283, aPalette[6], true}, {124, 283, aPalette[6], true}, {128, 283, aPalette[6], true},
            {126, 281, aPalette[6], true}, {123, 280, aPalette[6], false}, {129, 286, aPalette[6], false},
            {170, 253, aPalette[5], true}, {170, 200, aPalette[4], true}, {100, 328, aPalette[1], true},
            {82, 224, aPalette[0], true}, {38, 267, aPalette[0], true}, {714, 70, aPalette[0], true},
        };
        for (const auto& spot : aSpots)
            QVERIFY2((shown.pixel(spot.x, spot.y) == spot.rgb) == spot.bIs, qPrintable(QStringLiteral("%1,%2").arg(spot.x).arg(spot.y)));
        const auto count = [&](const QRect& rc, QRgb rgb) {
            int n = 0;
            for (int y = rc.top(); y <= rc.bottom(); ++y)
                for (int x = rc.left(); x <= rc.right(); ++x)
                    n += (shown.pixel(x, y) == rgb) ? 1 : 0;
            return n;
        };
        QVERIFY(count({82, 226, 1, 100}, aPalette[2]) >= 15 && count({38, 269, 1, 57}, aPalette[3]) >= 10);
        QVERIFY(count({12, 350, 320, 18}, aPalette[7]) >= 60 && count({8, 121, 325, 229}, aPalette[7]) == 0);
        QVERIFY(count({176, 122, 30, 14}, aPalette[1]) >= 15 && count({704, 70, 40, 14}, aPalette[6]) >= 20);
    }

    // Minimised, nothing can be drawn: a weighing completed meanwhile leaves the panels cleared. Restored,
    // the window shows them from their models again.
    void restoreRedrawsThePanelsFromTheirModels()
    {
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        QVERIFY(rig.m_chartAll.Compute(kTenWeights, 10, 1));
        CBatchWindow& window = rig.Show();
        QVERIFY(rig.CountNotBlack(kRcAll) > 500);
        window.showMinimized();
        QCoreApplication::processEvents();
        QVERIFY(window.isMinimized());
        for (const QRect& rc : {kRcCurrent, kRcAll})
            CWeighChart::ClearPanel(window.Surface(), rc.left(), rc.top(), rc.right() + 1, rc.bottom() + 1);
        QVERIFY(rig.m_chartCurrent.Compute(kTenWeights, 10, 1));
        window.Dlg().OnPaint();  // what the weighing's handler calls: nothing while minimised
        window.showNormal();
        QCoreApplication::processEvents();
        QVERIFY(rig.CountNotBlack(kRcCurrent) > 500 && rig.CountNotBlack(kRcAll) > 500);
    }

    void aboutBoxFromF1AndFromTheContextMenu()
    {
        CWindowRig rig;
        CBatchWindow& window = rig.Show();
        window.activateWindow();
        const QStringList texts = AboutTexts([&] { QTest::keyClick(&window, Qt::Key_F1); });
        QCOMPARE(texts, QStringList({"TK-Dedi, Version 1.0", texts.value(1), "TK-Dedi"}));  // the last is the title
        QVERIFY(!texts.value(1).isEmpty());
        QStringList menuTexts;  // the context menu offers the same command, and only it
        QTimer::singleShot(50, [&] {
            if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* pAction : pMenu->actions())
                    menuTexts << pAction->text();
                pMenu->setActiveAction(pMenu->actions().last());
                QTest::keyClick(pMenu, Qt::Key_Return);
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 20), window.mapToGlobal(QPoint(400, 20)));
        QCOMPARE(AboutTexts([&] { QApplication::sendEvent(&window, &event); }), texts);
        QCOMPARE(menuTexts, QStringList({"&About TK-Dedi..."}));
        QVERIFY(window.isVisible());
    }

    // The close box and Esc during a search reach the logic; the window closes once the search has returned.
    void closeDuringSearch_data()
    {
        QTest::addColumn<bool>("bCloseBox");
        QTest::newRow("close box") << true;
        QTest::newRow("Esc") << false;
    }
    void closeDuringSearch()
    {
        QFETCH(bool, bCloseBox);
        CWindowRig rig;
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(1, 0, {500});
        ind.SetState(1, 0, 0);
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        bool bStillOpen = false;
        QTimer::singleShot(500, &window, [&] {
            bCloseBox ? (void)window.close() : QTest::keyClick(&window, Qt::Key_Escape);
            bStillOpen = window.isVisible() && window.Dlg().IsSearching();
        });
        rig.Click(IDC_SEARCH);  // returns when the search has ended
        QVERIFY(bStillOpen);
        QCOMPARE(rig.Requests().back(), std::string("HT 00 10"));  // the indicator's state code, given back
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
        QVERIFY(rig.ComboItems(IDC_COMBO_INDICATOR).isEmpty());
    }

    // ---- One window as a user goes: search, choose, poll, stop ----

    void searchFillsTheControlsFromTheStore()
    {
        CSimIndicator& nine = m_rig.m_line.AddIndicator(9);
        nine.ConfigureDoses(1, 0, {400, 250});
        m_ten.ConfigureDoses(2, 0, {800, 600, 300});
        m_ten.ConfigureDoses(5, 3, {90});
        m_ten.SetState(2, 0, 0);
        std::vector<std::string> astrTen;  // twelve stored records of recipe 2 at 10, dose 0 795..806
        for (int i = 0; i < 12; ++i)
            astrTen.push_back(QStringLiteral("02.12.2026,08:%1:00,20=%2,600,301").arg(10 + i).arg(795 + i).toStdString());
        QVERIFY(m_rig.StartLine());
        QVERIFY(m_rig.WriteIndicatorFiles(nine, {"01.12.2026,09:00:00,10=11,22", "01.12.2026,09:05:00,10=33,44"}));
        QVERIFY(m_rig.WriteIndicatorFiles(m_ten, astrTen));
        m_rig.Show();

        QProgressBar* apBar[] = {m_rig.Window().ProgressBar(IDC_PROGRESS_SCAN), m_rig.Window().ProgressBar(IDC_PROGRESS_DOWNLOAD)};
        int anMax[] = {0, 0};  // how far each bar went
        QObject guard;
        for (int i : {0, 1})
            connect(apBar[i], &QProgressBar::valueChanged, &guard, [&anMax, i](int n) { anMax[i] = std::max(anMax[i], n); });
        QString strDuring;  // seen from inside the search, whose pump runs this timer
        QTimer::singleShot(1500, &guard, [&] { strDuring = m_rig.Window().Dlg().IsSearching() ? m_rig.States() : QString(); });
        m_rig.Click(IDC_SEARCH);
        QCOMPARE(strDuring, QStringLiteral("10000001"));
        QCOMPARE(QList<int>({anMax[0], anMax[1], apBar[0]->value(), apBar[1]->value()}), QList<int>({99, 99, 0, 0}));
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_INDICATOR), (QStringList{"9", "10"}));
        QCOMPARE(m_rig.Combo(IDC_COMBO_INDICATOR)->currentIndex(), 0);
        QCOMPARE(m_rig.States(), QStringLiteral("11111111"));
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"0", "1"}));
        QCOMPARE(QStringList({m_rig.Cell(1, 1), m_rig.Cell(1, 2)}), QStringList({"44", "66"}));
        QCOMPARE(m_rig.CountNotBlack(kRcAll), 0);  // two records only
    }

    void choicesReachTheirHandlers()
    {
        m_rig.Choose(IDC_COMBO_INDICATOR, 1);
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_RECIPE), (QStringList{"2", "5"}));
        QCOMPARE(m_rig.Cell(2, 3), QString::number(12 * 301));
        QVERIFY(m_rig.CountNotBlack(kRcAll) > 500);  // twelve stored weighings of dose 0
        QCOMPARE(m_rig.CountNotBlack(kRcCurrent), 0);
        m_rig.Choose(IDC_COMBO_RECIPE, 1);  // "5"
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"3"}));
        m_rig.Choose(IDC_COMBO_RECIPE, 0);  // "2"
        m_rig.Choose(IDC_COMBO_DOSE, 1);
        QCOMPARE(QList<int>({m_rig.m_store.GetCurrentRecipe(), m_rig.m_store.GetCurrentDose()}), QList<int>({2, 1}));
    }

    void startTheTimerAndStopReachTheirHandlers()
    {
        m_ten.SetScript({{2, 0, 0}, {2, 1, 790}, {2, 0, 598}});
        m_rig.Click(IDC_START);
        QCOMPARE(m_rig.Window().PollTimer().interval(), 300);
        QCOMPARE(m_rig.States(), QStringLiteral("00111111"));
        QVERIFY(m_rig.CountNotBlack(kRcStatus) > 10);  // "Опрос"
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.Cell(2, 2), QStringLiteral("7798"), 5000);  // 12 x 600 + 598
        m_rig.Click(IDC_STOP);
        QVERIFY(!m_rig.Window().PollTimer().isActive());
        QCOMPARE(m_rig.CountNotBlack(kRcStatus), 0);
        QCOMPARE(m_rig.States(), QStringLiteral("11111111"));
        const int nRequests = m_rig.m_line.CountRequests();
        QTest::qWait(700);
        QCOMPARE(m_rig.m_line.CountRequests(), nRequests);  // no more ticks
    }

private:
    CWindowRig m_rig;  // the window of the sequence, shown by its first step
    CSimIndicator& m_ten = m_rig.m_line.AddIndicator(10);
};

QTEST_MAIN(CWindowTest)
#include "tst_window.moc"
