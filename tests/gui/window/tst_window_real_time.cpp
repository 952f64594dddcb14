// The real window with the product's own line timing: a search for one indicator, then polling until a batch is recorded.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "window_rig.h"

using namespace tkdtest;

class CWindowRealTimeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void searchAndPollWithTheRealTimes();
};

void CWindowRealTimeTest::searchAndPollWithTheRealTimes()
{
    CWindowRig rig(CLineTiming{});
    CSimIndicator& ind = rig.m_line.AddIndicator(0);
    ind.ConfigureDoses(3, 0, {250, 120});
    ind.SetState(3, 0, 0);
    QVERIFY(rig.WriteSettings());
    QVERIFY(rig.StartLine());
    rig.Show();

    // 99 silent addresses at 120 + 74 ms and 101 tuning conversations at 120 ms and more: some 35 s.
    QElapsedTimer timer;
    timer.start();
    rig.Click(IDC_SEARCH);
    const qint64 nSearchMs = timer.elapsed();
    QCOMPARE(rig.ComboItems(IDC_COMBO_INDICATOR), QStringList{"0"});
    QCOMPARE(rig.ComboItems(IDC_COMBO_RECIPE), QStringList{"3"});
    QVERIFY2(nSearchMs > 99 * 194 + 101 * 120, qPrintable(QString::number(nSearchMs)));
    QVERIFY2(nSearchMs < 120000, qPrintable(QString::number(nSearchMs)));

    ind.SetScript({{3, 0, 0, 1, {}}, {3, 1, 251, 1, {}}, {3, 0, 119, 1, {}}});
    rig.Click(IDC_START);
    timer.restart();
    QTRY_COMPARE_WITH_TIMEOUT(rig.Cell(3, 1), QStringLiteral("251"), 20000);
    QCOMPARE(rig.Cell(3, 2), QStringLiteral("119"));
    // Three ticks at least 300 ms apart, each a conversation of 120 ms and more.
    QVERIFY2(timer.elapsed() >= 3 * 120, qPrintable(QString::number(timer.elapsed())));
    const int nPolls = rig.m_line.CountRequests(0, 'L');
    QTest::qWait(1500);
    // One HL request per tick: about five in 1.5 s at 300 ms, never more than the timer allows.
    const int nMore = rig.m_line.CountRequests(0, 'L') - nPolls;
    QVERIFY2(nMore >= 2 && nMore <= 6, qPrintable(QString::number(nMore)));
    rig.Click(IDC_STOP);
    QVERIFY(!rig.Window().PollTimer().isActive());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CWindowRealTimeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_real_time.moc"
