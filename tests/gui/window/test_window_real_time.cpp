// End to end with the product's own line timing, through the window's controls: a search finds one indicator,
// the cascade and the polling timer show a batch, "Стоп" ends polling, and a close during a second search
// waits until the indicator being downloaded has its state code back.
#include <QProgressBar>
#include <QTimer>

#include "window_rig.h"

using namespace tkdtest;

class CWindowRealTimeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void searchChoosePollStopAndCloseWithTheRealTimes()
    {
        CWindowRig rig(CLineTiming{});
        CSimIndicator& ind = rig.m_line.AddIndicator(0);
        ind.ConfigureDoses(3, 0, {250, 120});
        ind.ConfigureDoses(4, 2, {90});
        ind.SetState(3, 0, 0);
        QVERIFY(rig.StartLine());
        CBatchWindow& window = rig.Show();
        QProgressBar* apBar[] = {window.ProgressBar(IDC_PROGRESS_SCAN), window.ProgressBar(IDC_PROGRESS_DOWNLOAD)};
        QString strDuring;  // seen from inside the search, whose pump runs this timer: states and both bars
        QTimer::singleShot(1000, &window, [&] { strDuring = rig.States() + QStringLiteral(" %1 %2").arg(apBar[0]->value()).arg(apBar[1]->value() > 0); });
        rig.Click(IDC_SEARCH);  // 99 silent addresses at 120 + 74 ms, 101 tuning conversations: some 35 s
        QCOMPARE(strDuring + QStringLiteral(" %1 %2").arg(apBar[0]->value()).arg(apBar[1]->value()), QStringLiteral("10000001 1 1 0 0"));
        QCOMPARE(rig.States(), QStringLiteral("11111111"));
        QCOMPARE(QList<QStringList>({rig.Items(IDC_COMBO_INDICATOR), rig.Items(IDC_COMBO_RECIPE), rig.Items(IDC_COMBO_DOSE)}),
                 QList<QStringList>({{"0"}, {"3", "4"}, {"0", "1"}}));
        rig.Choose(IDC_COMBO_RECIPE, 1);
        QCOMPARE(rig.Items(IDC_COMBO_DOSE), QStringList{"2"});
        rig.Choose(IDC_COMBO_RECIPE, 0);
        rig.Choose(IDC_COMBO_DOSE, 1);
        rig.Choose(IDC_COMBO_INDICATOR, 0);
        QCOMPARE(QList<int>({rig.m_store.GetCurrentRecipe(), rig.m_store.GetCurrentDose()}), QList<int>({3, 0}));

        ind.SetScript({{3, 0, 0}, {3, 1, 251}, {3, 0, 119}});
        rig.Click(IDC_START);
        QCOMPARE(rig.States() + QString::number(window.PollTimer().interval()), QStringLiteral("00111111300"));
        QVERIFY(rig.CountNotBlack(kRcStatus) > 10);  // "Опрос"
        QTRY_COMPARE_WITH_TIMEOUT(rig.Cell(3, 2), QStringLiteral("119"), 20000);
        QCOMPARE(rig.Cell(3, 1), QStringLiteral("251"));
        QVERIFY(ReadBytes(rig.m_dir.File("Data_i00")).find(",30=251,119\r\n") != std::string::npos);
        rig.Click(IDC_STOP);
        QCOMPARE(rig.States(), QStringLiteral("11111111"));
        QCOMPARE(rig.CountNotBlack(kRcStatus), 0);
        const int nRequests = rig.m_line.CountRequests();
        QTest::qWait(700);
        QCOMPARE(rig.m_line.CountRequests(), nRequests);  // no more ticks

        // A second search, closed two seconds into the download of the indicator, which shows 3 1 now.
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
#include "test_window_real_time.moc"
