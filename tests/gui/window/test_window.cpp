// The real window offscreen: the template's layout, Enter and the other ways of closing, the chart colours and the
// repaint after a restore on the composed window, the About box (also while the line works), an end signal.
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStyleFactory>
#include <QTimer>

#include <climits>
#include <csignal>
#include <functional>
#include <tuple>

#include "about_dialog.h"
#include "dialog_template.h"
#include "dialog_units.h"
#include "end_signals.h"
#include "window_rig.h"

using namespace tkdtest;

namespace {

const double kTenWeights[10] = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};

}  // namespace

class CWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpLaysOutTheTemplateAndTheList()
    {
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        QCOMPARE(QList<QVariant>({window.windowTitle(), window.size(), window.minimumSize(), window.windowIcon().isNull()}),
                 QList<QVariant>({"TK-Dedi", QSize(786, 561), QSize(786, 561), false}));  // 524 x 345 dialog units
        // Every control of the template at its place, with its caption; the date and time filter hidden.
        for (const CControlDef& def : g_aBatchControls) {
            QWidget* p = rig.Control(def.m_nId);
            QRect rc = DluRect(def.m_nX, def.m_nY, def.m_nCx, def.m_nCy);
            if (def.m_eKind == EControlKind::Combo)
                rc.setHeight(p->height());  // the closed box; the template's height is the open list's
            // Boxes, fields and bars have no caption (a progress bar's text is its percentage).
            const bool bCaption = qobject_cast<QGroupBox*>(p) || qobject_cast<QLabel*>(p) || qobject_cast<QAbstractButton*>(p);
            const QString strCaption = bCaption ? p->property(qobject_cast<QGroupBox*>(p) ? "title" : "text").toString() : QString();
            QCOMPARE(std::tuple(def.m_nId, strCaption, p->geometry(), p->isHidden()),
                     std::tuple(def.m_nId, QString::fromUtf8(def.m_pszCaption), rc, def.m_bHidden));
        }
        // Dialog units in pixels: x 6/4, y 13/8 per unit, both edges rounded.
        QCOMPARE(std::pair(rig.Control(IDC_SEARCH)->geometry(), rig.Control(IDC_LIST_TOTALS)->geometry()),
                 std::pair(QRect(690, 33, 72, 26), QRect(12, 384, 762, 162)));
        // The charts inside their group boxes below the titles, the status box between "Поиск" and "Старт".
        QVERIFY(rig.Control(IDC_GROUP_CURRENT)->geometry().adjusted(0, 12, 0, 0).contains(kRcCurrent) &&
                rig.Control(IDC_GROUP_ALL)->geometry().contains(kRcAll) && rig.Control(IDC_GROUP_BUTTONS)->geometry().contains(kRcStatus));
        QVERIFY(kRcStatus.top() > rig.Control(IDC_SEARCH)->geometry().bottom() && kRcStatus.bottom() < rig.Control(IDC_START)->y());
        QWidget* pWidget = rig.Control(IDC_COMBO_INDICATOR);  // the controls that take the focus, in the template's order
        for (int nId : {IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_SEARCH, IDC_START, IDC_STOP, IDC_LIST_TOTALS, IDC_EXIT}) {
            do
                pWidget = pWidget->nextInFocusChain();
            while (pWidget->focusPolicy() == Qt::NoFocus || pWidget->isHidden() || pWidget->parentWidget() != &window);
            QCOMPARE(pWidget->property("ctlId").toInt(), nId);
        }
        QCOMPARE(rig.States(), QStringLiteral("10000001"));
        QTreeWidget* pList = window.TotalsList();
        QCOMPARE(QList<QVariant>({pList->columnCount(), pList->topLevelItemCount(), pList->headerItem()->text(0), pList->headerItem()->text(10),
                                  pList->columnWidth(0), pList->columnWidth(10), rig.Cell(9, 0), rig.Cell(9, 10)}),
                 QList<QVariant>({11, 10, "РЦ", "Доза 9", 30, 72, "9", "0"}));
        QCOMPARE(pList->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(pList->topLevelItem(9)->textAlignment(10) & pList->headerItem()->textAlignment(10) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
        for (const QProgressBar* pBar : {window.ProgressBar(IDC_PROGRESS_SCAN), window.ProgressBar(IDC_PROGRESS_DOWNLOAD)})
            QCOMPARE(QList<int>({pBar->minimum(), pBar->maximum(), pBar->value()}), QList<int>({0, 99, 0}));
        for (const QRect& rc : {kRcCurrent, kRcAll, kRcStatus})  // painted black from empty models, no lamp
            QCOMPARE(rig.CountNotBlack(rc), 0);
    }

    // Keys go where the focus is. Enter right after start-up must end the dialog, not start a search.
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
        window.activateWindow();  // an X server without a window manager activates nothing by itself
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* pFocus = QApplication::focusWidget();
        QVERIFY(pFocus != nullptr && pFocus->window() == &window);
        nWay == 1 ? rig.Click(IDC_EXIT) : nWay == 3 ? (void)window.close() : QTest::keyClick(pFocus, nWay == 0 ? Qt::Key_Return : Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QCOMPARE(rig.m_line.CountRequests(), 0);
        QVERIFY(rig.m_port.IsOpen());  // left to the destroy handler, which the program runs next
    }

    // The charts on the window as shown, over group boxes that some styles shade: every pixel of the panels and
    // the status box is one of the drawing's colours, exactly, and a few pixels place the elements. Then a
    // minimise and restore.
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
        IDrawSurface& surface = window.Surface();  // coordinates far off the canvas change nothing (and are defined)
        QVERIFY(surface.Begin());
        surface.Line(INT_MIN, INT_MIN, INT_MAX, INT_MIN, CPen{EPenStyle::Dot, 1, CRgb{170, 170, 0}});
        surface.Line(-2000000000, 10, -2000000000, 400, CPen{EPenStyle::Solid, 1, CRgb{0, 128, 255}});
        surface.Dot(INT_MAX, INT_MIN, CPen{EPenStyle::Solid, 6, CRgb{255, 0, 0}});
        surface.Text(INT_MIN, INT_MAX, "S", CRgb{0, 128, 255}, CRgb{});
        surface.End();
        const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        const QRgb black = qRgb(0, 0, 0), green = qRgb(0, 128, 0), yellow = qRgb(170, 170, 0), darkRed = qRgb(130, 0, 0),
                   blue = qRgb(0, 128, 255), curve = qRgb(0, 64, 0), red = qRgb(255, 0, 0), white = qRgb(255, 255, 255);
        const auto count = [&](const QRect& rc, QRgb rgb) {
            int n = 0;
            for (int y = rc.top(); y <= rc.bottom(); ++y)
                for (int x = rc.left(); x <= rc.right(); ++x)
                    n += shown.pixel(x, y) == rgb ? 1 : 0;
            return n;
        };
        for (const QRect& rc : {kRcCurrent, kRcAll, kRcStatus}) {
            int n = 0;
            for (QRgb rgb : {black, green, yellow, darkRed, blue, curve, red, white})
                n += count(rc, rgb);
            QCOMPARE(n, rc.width() * rc.height());
        }
        const struct { int x, y; QRgb rgb; bool bIs; } aSpots[] = {  // a round sample dot of 6 on (126, 283), the curve, the marker, the axis
            {126, 283, red, true}, {124, 283, red, true}, {128, 283, red, true}, {126, 281, red, true}, {123, 280, red, false},
            {129, 286, red, false}, {170, 253, curve, true}, {170, 200, blue, true}, {100, 328, green, true}, {82, 224, black, true},
        };
        for (const auto& spot : aSpots)
            QVERIFY2((shown.pixel(spot.x, spot.y) == spot.rgb) == spot.bIs, qPrintable(QStringLiteral("%1,%2").arg(spot.x).arg(spot.y)));
        QVERIFY(count({82, 226, 1, 100}, yellow) >= 15 && count({38, 269, 1, 57}, darkRed) >= 10 && count({38, 240, 1, 27}, darkRed) == 0);
        QVERIFY(count({12, 350, 320, 18}, white) >= 60 && count({8, 121, 325, 229}, white) == 0);
        QVERIFY(count({176, 122, 30, 14}, green) >= 15 && count({704, 70, 40, 14}, red) >= 20 && count(kRcAll, red) >= 60);

        // Minimised, nothing can be drawn: a weighing completed meanwhile leaves the panels cleared. Restored,
        // the window shows them from their models again.
        window.showMinimized();
        QVERIFY(window.isMinimized());
        for (const QRect& rc : {kRcCurrent, kRcAll})
            CWeighChart::ClearPanel(window.Surface(), rc.left(), rc.top(), rc.right() + 1, rc.bottom() + 1);
        window.Dlg().OnPaint();  // what the weighing's handler calls: nothing while minimised
        window.showNormal();
        QVERIFY(rig.CountNotBlack(kRcCurrent) > 500 && rig.CountNotBlack(kRcAll) > 500);
    }

    void aboutBoxFromF1()
    {
        CWindowRig rig;
        CBatchWindow& window = rig.Show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QStringList texts;
        QTimer::singleShot(300, [&] {
            if (auto* pAbout = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                texts << pAbout->findChild<QLabel*>("aboutVersion")->text() << pAbout->windowTitle();
                QTest::mouseClick(pAbout->findChild<QPushButton*>("aboutOk"), Qt::LeftButton);
            }
        });
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(texts, QStringList({"TK-Dedi, Version " TKD_VERSION, "TK-Dedi"}));
        QVERIFY(window.isVisible());
    }

    // The About box open during a search and during polling: the line goes on, and what it reports
    // reaches the window behind the box (the bars move, a batch's totals appear).
    void aboutBoxDuringASearchAndPolling()
    {
        CWindowRig rig;
        for (int nAddress : {0, 1, 2})
            rig.m_line.AddIndicator(nAddress).ApplyDemoTuning();
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        // Runs done() from inside the About box's modal loop, closing the box once it holds.
        const auto aboutUntil = [&](const std::function<bool()>& done) {
            bool bHeld = false;
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                auto* pAbout = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
                if (pAbout != nullptr && (bHeld = done()))
                    pAbout->accept();
            });
            timer.start(10);
            QTimer::singleShot(20000, [] {
                if (QWidget* pBox = QApplication::activeModalWidget())
                    pBox->close();
            });
            window.Dlg().OnSysCommand(g_nIdmAbout);
            return bHeld;
        };
        rig.Click(IDC_SEARCH);
        QProgressBar* pDownload = window.ProgressBar(IDC_PROGRESS_DOWNLOAD);
        const int nRequests = rig.m_line.CountRequests();
        QVERIFY(aboutUntil([&] { return rig.m_line.CountRequests() > nRequests + 50 && pDownload->value() > 20; }));
        QTRY_VERIFY_WITH_TIMEOUT(!window.Dlg().IsSearching(), 20000);
        QCOMPARE(rig.Items(IDC_COMBO_INDICATOR), QStringList({"0", "1", "2"}));
        rig.Click(IDC_START);
        rig.m_line.Find(0)->SetScript({{1, 0, 0}, {1, 1, 0}, {1, 2, 77}, {1, 0, 0}});
        QVERIFY(aboutUntil([&] { return rig.Cell(1, 2) == QStringLiteral("77"); }));
        rig.Click(IDC_STOP);
    }

    // While polling, Enter and Escape end nothing; the close box asks, "Нет" keeps polling, "Да" ends it.
    void whilePollingKeysEndNothingAndACloseAsks()
    {
        CWindowRig rig;
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.Dlg().OnStart();  // polls nobody: no search found anyone
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape})
            QTest::keyClick(QApplication::focusWidget(), key);
        QVERIFY(window.isVisible() && window.Dlg().IsPolling());
        for (const char* pszAnswer : {"Нет", "Да"}) {
            QString strQuestion;
            QTimer::singleShot(200, [&] {
                if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    strQuestion = pBox->text() + "|" + pBox->defaultButton()->text();
                    for (QAbstractButton* pButton : pBox->buttons())
                        if (pButton->text() == QString::fromUtf8(pszAnswer))
                            pButton->click();
                }
            });
            window.close();
            QCOMPARE(strQuestion, QStringLiteral("Идёт опрос. Остановить сбор данных и выйти?|Нет"));
            if (QString::fromUtf8(pszAnswer) == QStringLiteral("Нет"))
                QVERIFY(window.isVisible() && window.Dlg().IsPolling());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    }

    // SIGTERM while an indicator's tuning is downloaded: it gets its state code back, then the window closes.
    void anEndSignalTakesTheSafePathOfAClose()
    {
        CWindowRig rig;
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ApplyDemoTuning();
        ind.SetState(4, 2, 0);
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        QVERIFY(WatchEndSignals(window));
        rig.Click(IDC_SEARCH);
        QTRY_VERIFY_WITH_TIMEOUT(rig.m_line.CountRequests(0) > 10, 10000);
        ::raise(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
        const Strings astr = rig.Requests();
        QCOMPARE(astr.back(), std::string("HT 00 42"));
        QVERIFY(rig.m_line.CountRequests(0) < 60);
        std::signal(SIGTERM, SIG_DFL);
    }
};

QTEST_MAIN(CWindowTest)
#include "test_window.moc"
