// The real window with the product's own line timing: a search for one indicator, then polling until a batch is recorded.
#include <QElapsedTimer>

#include "window_rig.h"

using namespace tkdtest;

class CWindowRealTimeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void searchAndPollWithTheRealTimes()
    {
        CWindowRig rig(CLineTiming{});
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(3, 0, {250, 120});
        ind.SetState(3, 0, 0);
        QVERIFY(rig.Start());
        rig.Show();
        // 99 silent addresses at 120 + 74 ms and 101 tuning conversations at 120 ms and more: some 35 s.
        QElapsedTimer timer;
        timer.start();
        rig.Click(IDC_SEARCH);
        const qint64 nSearchMs = timer.elapsed();
        QCOMPARE(rig.ComboItems(IDC_COMBO_INDICATOR), QStringList{"0"});
        QCOMPARE(rig.ComboItems(IDC_COMBO_RECIPE), QStringList{"3"});
        QVERIFY2(nSearchMs > 99 * 194 + 101 * 120 && nSearchMs < 120000, qPrintable(QString::number(nSearchMs)));

        ind.SetScript({{3, 0, 0}, {3, 1, 251}, {3, 0, 119}});
        rig.Click(IDC_START);
        timer.restart();
        QTRY_COMPARE_WITH_TIMEOUT(rig.Cell(3, 1), QStringLiteral("251"), 20000);
        QCOMPARE(rig.Cell(3, 2), QStringLiteral("119"));
        QVERIFY2(timer.elapsed() >= 3 * 120, qPrintable(QString::number(timer.elapsed())));  // three ticks of 120 ms and more
        // One HL request per tick: about five in 1.5 s at 300 ms, never more than the timer allows.
        const int nPolls = rig.m_line.CountRequests(0, 'L');
        QTest::qWait(1500);
        const int nMore = rig.m_line.CountRequests(0, 'L') - nPolls;
        QVERIFY2(nMore >= 2 && nMore <= 6, qPrintable(QString::number(nMore)));
        rig.Click(IDC_STOP);
        QVERIFY(!rig.Window().PollTimer().isActive());
    }
};

QTEST_MAIN(CWindowRealTimeTest)
#include "tst_window_real_time.moc"
