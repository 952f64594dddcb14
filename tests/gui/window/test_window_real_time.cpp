// End to end with the product's own line timing, through the window's controls: a search finds one indicator,
// the cascade and polling show a batch, "Стоп" ends polling, and a close during a second search waits until
// the indicator being downloaded has its state code back.
#include <QProgressBar>

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
        rig.Click(IDC_SEARCH);  // 99 silent addresses at 120 + 74 ms, 101 tuning conversations: some 35 s
        QTest::qWait(1000);     // the search runs on the line thread; the window's loop goes on
        const QString strDuring = rig.States() + QStringLiteral(" %1 %2").arg(apBar[0]->value()).arg(apBar[1]->value() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!window.Dlg().IsSearching(), 60000);
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
        QCOMPARE(rig.States() + QString::number(window.Dlg().IsPolling()), QStringLiteral("001111111"));
        QVERIFY(rig.CountNotBlack(kRcStatus) > 10);  // "Опрос"
        QTRY_COMPARE_WITH_TIMEOUT(rig.Cell(3, 2), QStringLiteral("119"), 20000);
        QCOMPARE(rig.Cell(3, 1), QStringLiteral("251"));
        QVERIFY(ReadBytes(rig.m_dir.File("Data_i00")).find(",30=251,119\r\n") != std::string::npos);
        rig.Click(IDC_STOP);
        QCOMPARE(rig.States(), QStringLiteral("11111111"));
        QCOMPARE(rig.CountNotBlack(kRcStatus), 0);
        QTest::qWait(300);  // the conversation under way ends
        const int nRequests = rig.m_line.CountRequests();
        QTest::qWait(700);
        QCOMPARE(rig.m_line.CountRequests(), nRequests);  // no more passes

        // A second search, closed two seconds into the download of the indicator, which shows 3 1 now.
        ind.SetState(3, 1, 0);
        rig.Click(IDC_SEARCH);
        QTest::qWait(2000);
        const size_t nAtClose = rig.Requests().size();
        window.close();
        QVERIFY(window.isVisible());  // until the indicator has its state code back
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
        const Strings astr = rig.Requests();
        QCOMPARE(astr.back(), std::string("HT 00 31"));
        QVERIFY2(astr.size() <= nAtClose + 2, qPrintable(QString::number(astr.size() - nAtClose)));
    }
};

QTEST_MAIN(CWindowRealTimeTest)
#include "test_window_real_time.moc"
