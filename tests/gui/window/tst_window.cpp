// The real window offscreen against the simulator over a pseudo-terminal: start-up with and without a settings file,
// About, closing, a close during a search, then one window through search, cascade, polling, a quiet tick and stop.
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "about_dialog.h"
#include "dialog_units.h"
#include "window_rig.h"

using namespace tkdtest;

namespace {

// Position and size in dialog units; cy 0: a drop-down list, whose template height is that of its open list.
struct CExpectedControl {
    int nId; const char *pszClass, *pszCaption; int x, y, cx, cy; bool bHidden;
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
    void withoutSettingsFileShowsTheMessageAndStops()
    {
        CWindowRig rig;
        QVERIFY(rig.Start(false));
        rig.Show();
        QCOMPARE(rig.m_astrMessages, std::vector<std::string>{"Не могу открыть файл настроек TK4700_TUNE.INI"});
        QCOMPARE(rig.States(), QStringLiteral("11111111"));  // all as the template made them
        QCOMPARE(rig.List()->columnCount() + rig.List()->topLevelItemCount(), 0);
        QVERIFY(!rig.m_port.IsOpen());
        QCOMPARE(rig.Window().ProgressBar(IDC_PROGRESS_SCAN)->maximum(), 99);  // set before the settings were read
    }

    void withSettingsFileLaysOutTheTemplateAndTheList()
    {
        CWindowRig rig;
        QVERIFY(rig.Start());
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
            QCOMPARE(pWidget->height(), exp.cy != 0 ? rc.height() : pWidget->height());
            QCOMPARE(pWidget->isHidden(), exp.bHidden);
        }
        QCOMPARE(rig.Control(IDC_SEARCH)->geometry(), QRect(690, 33, 72, 26));

        // The controls that take the focus follow the template's order.
        const int anOrder[] = {IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE, IDC_SEARCH, IDC_START, IDC_STOP, IDC_LIST_TOTALS, IDC_EXIT};
        QWidget* pWidget = rig.Control(anOrder[0]);
        for (size_t i = 1; i < std::size(anOrder); ++i) {
            do {
                pWidget = pWidget->nextInFocusChain();
            } while (pWidget != &window && (pWidget->focusPolicy() == Qt::NoFocus || pWidget->isHidden() || pWidget->parentWidget() != &window));
            QCOMPARE(pWidget->property("ctlId").toInt(), anOrder[i]);
        }

        // Chart rectangles inside their group boxes, below the titles; the status box between "Поиск" and "Старт", as wide.
        const QRect rcGroupCurrent = rig.Control(IDC_GROUP_CURRENT)->geometry();
        QVERIFY(rcGroupCurrent.contains(kRcCurrent) && kRcCurrent.top() > rcGroupCurrent.top() + 12);
        QVERIFY(rig.Control(IDC_GROUP_ALL)->geometry().contains(kRcAll));
        QVERIFY(rig.Control(IDC_GROUP_BUTTONS)->geometry().contains(kRcStatus));
        QVERIFY(kRcStatus.top() >= rig.Control(IDC_SEARCH)->geometry().bottom() && kRcStatus.bottom() < rig.Control(IDC_START)->geometry().top());
        QCOMPARE(kRcStatus.left(), rig.Control(IDC_SEARCH)->x());

        QVERIFY(rig.m_astrMessages.empty());
        QVERIFY(rig.m_port.IsOpen());
        QCOMPARE(rig.States(), QStringLiteral("10000001"));
        QVERIFY(rig.ComboItems(IDC_COMBO_INDICATOR).isEmpty());
        QTreeWidget* pList = rig.List();
        QCOMPARE(pList->columnCount(), 11);
        for (int nCol = 0; nCol <= 10; ++nCol) {
            QCOMPARE(pList->headerItem()->text(nCol), nCol == 0 ? QStringLiteral("РЦ") : QStringLiteral("Доза %1").arg(nCol - 1));
            QCOMPARE(pList->columnWidth(nCol), nCol == 0 ? 30 : 72);
        }
        QCOMPARE(pList->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(pList->topLevelItemCount(), 10);
        for (int nRow = 0; nRow < 10; ++nRow) {
            for (int nCol = 0; nCol <= 10; ++nCol) {
                QCOMPARE(rig.Cell(nRow, nCol), nCol == 0 ? QString::number(nRow) : QStringLiteral("0"));
                QCOMPARE(pList->topLevelItem(nRow)->textAlignment(nCol) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
            }
        }
        for (const QProgressBar* pBar : {rig.Window().ProgressBar(IDC_PROGRESS_SCAN), rig.Window().ProgressBar(IDC_PROGRESS_DOWNLOAD)})
            QCOMPARE(QList<int>({pBar->minimum(), pBar->maximum(), pBar->value()}), QList<int>({0, 99, 0}));
        // Both panels and the status box painted black from empty models, no lamp; the canvas is what the window shows.
        for (const QRect& rc : {kRcCurrent, kRcAll, kRcStatus})
            QCOMPARE(rig.CountPixels(rc, IsNotBlack), 0);
        QVERIFY(!rig.Window().PollTimer().isActive());
        const QImage shown = rig.Window().grab().toImage();
        QCOMPARE(QList<QColor>({shown.pixelColor(100, 200), shown.pixelColor(700, 70)}), QList<QColor>(2, QColor(Qt::black)));
    }

    void aboutBoxFromF1AndFromTheContextMenu()
    {
        CWindowRig rig;
        CBatchWindow& window = rig.Show();
        window.activateWindow();
        const QStringList texts = AboutTexts([&] { QTest::keyClick(&window, Qt::Key_F1); });
        QCOMPARE(texts, QStringList({"TK-Dedi, Version 1.0", texts.value(1), "TK-Dedi"}));  // the last is the title
        QVERIFY(!texts.value(1).isEmpty());
        QVERIFY(window.isVisible());

        // The context menu offers the same command, and only it.
        QStringList menuTexts;
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
    }

    void everyWayOfClosingEndsTheDialog_data()
    {
        QTest::addColumn<int>("nWay");
        int nWay = 0;
        for (const char* pszWay : {"Выход", "Esc", "Enter", "close box"})
            QTest::newRow(pszWay) << nWay++;
    }
    void everyWayOfClosingEndsTheDialog()
    {
        QFETCH(int, nWay);
        CWindowRig rig;
        QVERIFY(rig.Start());
        CBatchWindow& window = rig.Show();
        QVERIFY(window.isVisible());
        // Enter on a focused button clicks that button; with the focus elsewhere it is the OK command.
        if (QWidget* pFocus = QApplication::focusWidget())
            pFocus->clearFocus();
        if (nWay < 3)
            nWay == 0 ? rig.Click(IDC_EXIT) : QTest::keyClick(&window, nWay == 1 ? Qt::Key_Escape : Qt::Key_Return);
        else
            window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(rig.m_port.IsOpen());  // left to the destroy handler, which the program runs next
    }

    // ---- A close during a search, then one window as a user would go: search, choose, poll, stop ----

    void closeDuringSearch_data()
    {
        QTest::addColumn<int>("nWay");
        QTest::newRow("close box") << 0;
        QTest::newRow("Выход") << 1;
        QTest::newRow("Esc") << 2;
    }
    void closeDuringSearch()
    {
        QFETCH(int, nWay);
        CWindowRig rig;
        rig.m_line.AddIndicator(0).ConfigureDoses(1, 1, {500});
        QVERIFY(rig.Start());
        CBatchWindow& window = rig.Show();
        // Half a second into the 3 s tuning download of address 0: a click on "Поиск", which must do nothing, then the close.
        bool bSecondSearchIgnored = false, bStillOpen = false, bBuffersKept = false;
        int nRequestsAtClose = 0;
        QElapsedTimer sinceClose;
        QTimer::singleShot(500, &window, [&] {
            const int nHl = rig.m_line.CountRequests(-1, 'L');
            rig.Click(IDC_SEARCH);
            bSecondSearchIgnored = rig.m_line.CountRequests(-1, 'L') == nHl && window.Dlg().IsSearching();
            nRequestsAtClose = rig.m_line.CountRequests();
            sinceClose.start();
            nWay == 0 ? (void)window.close() : nWay == 1 ? rig.Click(IDC_EXIT) : QTest::keyClick(&window, Qt::Key_Escape);
            bStillOpen = window.isVisible() && window.Dlg().IsCloseRequested();
            bBuffersKept = rig.m_store.HasBuffers() && window.Dlg().IsSearching();
        });
        rig.Click(IDC_SEARCH);  // returns when the search has ended
        const qint64 nAfterCloseMs = sinceClose.elapsed();
        QVERIFY(bSecondSearchIgnored);
        QVERIFY(bStillOpen);  // not closed while the search still used the port and the store
        QVERIFY(bBuffersKept);
        // Ended soon after the close: only the download's retry pauses (3 x 50 ms) were left to wait.
        QVERIFY2(nAfterCloseMs < 2000, qPrintable(QString::number(nAfterCloseMs)));
        QVERIFY(rig.m_line.CountRequests() <= nRequestsAtClose + 1);
        QVERIFY(!rig.m_port.IsOpen());
        QVERIFY(rig.ComboItems(IDC_COMBO_INDICATOR).isEmpty());  // nothing filled in; then the window closes itself
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
        QVERIFY(rig.m_store.HasBuffers());
        window.Destroy();
        QVERIFY(!rig.m_store.HasBuffers());
    }

    void searchFindsNineBeforeTen()
    {
        CSimIndicator& nine = m_rig.m_line.AddIndicator(9);
        nine.ConfigureDoses(1, 0, {400, 250});
        nine.SetState(1, 0, 0);
        m_ten.ConfigureDoses(2, 0, {800, 600, 300});
        m_ten.ConfigureDoses(5, 3, {90});
        m_ten.SetState(2, 0, 0);
        // Stored records: two of recipe 1 at 9; twelve of recipe 2 at 10 (dose 0 795..806, dose 1 600..602, dose 2 301).
        std::vector<std::string> astrTen;
        for (int i = 0; i < 12; ++i)
            astrTen.push_back(QStringLiteral("02.12.2026,08:%1:00,20=%2,%3,301").arg(10 + i).arg(795 + i).arg(600 + i % 3).toStdString());
        QVERIFY(m_rig.Start());
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
        m_rig.Click(IDC_SEARCH);  // returns when the search has ended

        QCOMPARE(strDuring, QStringLiteral("10000001"));  // acquisition off, "Поиск" on
        QCOMPARE(QList<int>({anMax[0], anMax[1], apBar[0]->value(), apBar[1]->value()}), QList<int>({99, 99, 0, 0}));
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_INDICATOR), (QStringList{"9", "10"}));
        QCOMPARE(m_rig.Combo(IDC_COMBO_INDICATOR)->currentIndex(), 0);
        QCOMPARE(m_rig.States(), QStringLiteral("11111111"));
        // The indicator at 9: recipe 1 with doses 0 and 1; its data file's totals in row 1.
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_RECIPE), (QStringList{"1"}));
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"0", "1"}));
        QCOMPARE(QStringList({m_rig.Cell(1, 1), m_rig.Cell(1, 2), m_rig.Cell(2, 1)}), QStringList({"44", "66", "0"}));
        QCOMPARE(m_rig.CountPixels(kRcAll, IsNotBlack), 0);  // two records only: the panel stays black
    }

    void choosingTenShowsItsRecipesAndTotals()
    {
        m_rig.Choose(IDC_COMBO_INDICATOR, 1);
        QCOMPARE(m_rig.m_store.GetCurrentIndicator(), 1);
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_RECIPE), (QStringList{"2", "5"}));
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"0", "1", "2"}));
        QCOMPARE(QStringList({m_rig.Cell(2, 1), m_rig.Cell(2, 3), m_rig.Cell(1, 1)}),
                 QStringList({QString::number(12 * 795 + 66), QString::number(12 * 301), "0"}));
        // Twelve stored weighings of recipe 2, dose 0: the all-weighings chart is drawn, the current one is not.
        QVERIFY(m_rig.CountPixels(kRcAll, IsNotBlack) > 500);
        QCOMPARE(m_rig.CountPixels(kRcCurrent, IsNotBlack), 0);
    }

    void recipeAndDoseChoicesRefillTheCascade()
    {
        const QString strTotal = m_rig.Cell(2, 1);
        m_rig.Choose(IDC_COMBO_RECIPE, 1);  // "5": dose 3 only, no stored record
        QCOMPARE(m_rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"3"}));
        QCOMPARE(QList<int>({m_rig.m_store.GetCurrentRecipe(), m_rig.m_store.GetCurrentDose()}), QList<int>({5, 3}));
        QCOMPARE(m_rig.Cell(2, 1), strTotal);
        QCOMPARE(m_rig.CountPixels(kRcAll, IsNotBlack), 0);
        m_rig.Choose(IDC_COMBO_RECIPE, 0);  // "2"
        m_rig.Choose(IDC_COMBO_DOSE, 2);    // "2": every stored value 301
        QCOMPARE(m_rig.m_store.GetCurrentDose(), 2);
        QVERIFY(m_rig.m_chartAll.m_bValid);
        QCOMPARE(m_rig.m_chartAll.m_dSigma, 0.0);
        m_rig.Choose(IDC_COMBO_DOSE, 0);
        QCOMPARE(m_rig.m_store.GetCurrentDose(), 0);
        QCOMPARE(m_rig.m_chartAll.m_dMean, 800.5);
    }

    void pollingUntilWeighingsCompleteChangesTotalsAndCurrentChart()
    {
        const int nTotalBefore = m_rig.Cell(2, 1).toInt();
        // Ten batches of recipe 2, three replies each: header at dose 0, leave dose 0 with 790 + 2i, leave dose 1.
        std::vector<CSimStep> aSteps;
        for (int i = 0; i < 10; ++i)
            aSteps.insert(aSteps.end(), {{2, 0, 0}, {2, 1, 790 + 2 * i}, {2, 0, 598}});
        m_ten.SetScript(aSteps);
        m_rig.Click(IDC_START);
        QVERIFY(m_rig.Window().PollTimer().isActive());
        QCOMPARE(m_rig.Window().PollTimer().interval(), 300);
        QCOMPARE(m_rig.States(), QStringLiteral("00111111"));
        QVERIFY(m_rig.CountPixels(kRcStatus, IsRed) > 10);  // "Опрос"

        // The first completed weighing rewrites row 2; the current chart needs ten of them.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.m_store.GetRunCount(1) >= 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.Cell(2, 1).toInt() > nTotalBefore, 5000);
        QCOMPARE(m_rig.CountPixels(kRcCurrent, IsNotBlack), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.m_store.GetRunCount(1) == 10, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.CountPixels(kRcCurrent, IsNotBlack) > 500, 5000);
        QCOMPARE(m_rig.Cell(2, 1).toInt(), nTotalBefore + 10 * 790 + 90);
        QCOMPARE(m_rig.m_chartCurrent.m_dMean, 799.0);
        QVERIFY(ReadBytes(m_rig.m_dir.File("Data_i10")).find(",20=798,598") != std::string::npos);  // recorded too
        if (const QByteArray path = qgetenv("TKD_WINDOW_SCREENSHOT"); !path.isEmpty())
            QVERIFY(m_rig.Window().grab().save(QString::fromLocal8Bit(path)));
    }

    void aTickThatCompletesNothingChangesNothing()
    {
        // The script has run out: the indicator shows its last state on every reply from now on.
        QTRY_VERIFY_WITH_TIMEOUT(m_ten.ScriptStepsLeft() == 0, 5000);
        const QImage before = m_rig.Window().Canvas().copy();
        const QImage list = m_rig.List()->grab().toImage();  // every cell as shown
        const int nRequests = m_rig.m_line.CountRequests(10, 'L');
        m_rig.Window().Dlg().OnTimer();
        QCOMPARE(m_rig.m_line.CountRequests(10, 'L'), nRequests + 1);  // the tick did ask
        QCOMPARE(m_rig.List()->grab().toImage(), list);
        QCOMPARE(m_rig.Window().Canvas(), before);
    }

    void stopEndsPolling()
    {
        m_rig.Click(IDC_STOP);
        QVERIFY(!m_rig.Window().PollTimer().isActive());
        QCOMPARE(m_rig.Window().Dlg().TimerId(), 0);
        QCOMPARE(m_rig.CountPixels(kRcStatus, IsNotBlack), 0);  // the lamp is off
        QCOMPARE(m_rig.States(), QStringLiteral("11111111"));
        QCOMPARE(m_rig.m_store.GetRunCount(1), 0);
        QVERIFY(m_rig.CountPixels(kRcCurrent, IsNotBlack) > 500);  // redrawn, still from its model
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
