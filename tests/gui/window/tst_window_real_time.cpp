// End to end with the product's own line timing: the window finds one indicator, records a batch it polls, and a
// close during a second search ends it once the indicator has its state code back.
#include <QTimer>

#include "window_rig.h"

using namespace tkdtest;

class CWindowRealTimeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void searchPollAndCloseWithTheRealTimes()
    {
        CWindowRig rig(CLineTiming{});
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(3, 0, {250, 120});
        ind.SetState(3, 0, 0);
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        rig.Click(IDC_SEARCH);  // 99 silent addresses at 120 + 74 ms, 101 tuning conversations: some 35 s
        QCOMPARE(rig.ComboItems(IDC_COMBO_INDICATOR), QStringList{"0"});
        QCOMPARE(rig.ComboItems(IDC_COMBO_RECIPE), QStringList{"3"});

        ind.SetScript({{3, 0, 0}, {3, 1, 251}, {3, 0, 119}});
        rig.Click(IDC_START);
        QTRY_COMPARE_WITH_TIMEOUT(rig.Cell(3, 1), QStringLiteral("251"), 20000);
        QCOMPARE(rig.Cell(3, 2), QStringLiteral("119"));
        QVERIFY(ReadBytes(rig.m_dir.File("Data_i00")).find(",30=251,119\r\n") != std::string::npos);
        rig.Click(IDC_STOP);

        // A second search, closed two seconds into the download of the indicator (which shows 3 1 now).
        ind.SetState(3, 1, 0);
        size_t nAtClose = 0;
        QTimer::singleShot(2000, &window, [&] {
            nAtClose = rig.Requests().size();
            window.close();
        });
        rig.Click(IDC_SEARCH);
        const Strings astr = rig.Requests();
        QCOMPARE(astr.back(), std::string("HT 00 31"));
        QVERIFY2(astr.size() <= nAtClose + 2, qPrintable(QString::number(astr.size() - nAtClose)));
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
    }
};

QTEST_MAIN(CWindowRealTimeTest)
#include "tst_window_real_time.moc"
