// The real window against the simulator over a pseudo-terminal: search, cascade, polling, a quiet tick, stop, screenshot.
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "window_rig.h"

using namespace tkdtest;

// One window for the whole sequence, as a user would go: search, choose, poll, stop.
class CWindowAcquisitionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void searchFindsNineBeforeTen();
    void choosingTenShowsItsRecipesAndTotals();
    void recipeAndDoseChoicesRefillTheCascade();
    void pollingUntilWeighingsCompleteChangesTotalsAndCurrentChart();
    void aTickThatCompletesNothingChangesNothing();
    void stopEndsPolling();
    void cleanupTestCase();

private:
    std::unique_ptr<CWindowRig> m_pRig;
    CSimIndicator* m_pNine = nullptr;
    CSimIndicator* m_pTen = nullptr;
    int m_nScanMax = 0;
    int m_nDownloadMax = 0;
    bool m_bSearchLocked = false;
};

namespace {

// Ten stored records of recipe 2 for the indicator at 10 (doses 0..2), as its data file holds them.
std::vector<std::string> RecordsOfTen()
{
    std::vector<std::string> astr;
    for (int i = 0; i < 12; ++i)
        astr.push_back("02.12.2026,08:" + std::to_string(10 + i) + ":00,20=" + std::to_string(795 + i) + "," +
                       std::to_string(600 + i % 3) + ",301");
    return astr;
}

// A batch of recipe 2 in three replies: header at dose 0, leave dose 0 with nWeight, leave dose 1.
std::vector<CSimStep> Batch(int nWeight)
{
    return {{2, 0, 0, 1, {}}, {2, 1, nWeight, 1, {}}, {2, 0, 598, 1, {}}};
}

}  // namespace

void CWindowAcquisitionTest::initTestCase()
{
    m_pRig = std::make_unique<CWindowRig>();
    CWindowRig& rig = *m_pRig;
    m_pNine = &rig.m_line.AddIndicator(9);
    m_pNine->ConfigureDoses(1, 0, {400, 250});
    m_pNine->SetState(1, 0, 0);
    m_pTen = &rig.m_line.AddIndicator(10);
    m_pTen->ConfigureDoses(2, 0, {800, 600, 300});
    m_pTen->ConfigureDoses(5, 3, {90});
    m_pTen->SetState(2, 0, 0);
    QVERIFY(rig.WriteSettings());
    QVERIFY(rig.WriteIndicatorFiles(*m_pNine, {"01.12.2026,09:00:00,10=11,22", "01.12.2026,09:05:00,10=33,44"}));
    QVERIFY(rig.WriteIndicatorFiles(*m_pTen, RecordsOfTen()));
    QVERIFY(rig.StartLine());
    rig.Show();
    QVERIFY(rig.m_port.IsOpen());
}

void CWindowAcquisitionTest::searchFindsNineBeforeTen()
{
    CWindowRig& rig = *m_pRig;
    QProgressBar* pScan = rig.Window().ProgressBar(IDC_PROGRESS_SCAN);
    QProgressBar* pDownload = rig.Window().ProgressBar(IDC_PROGRESS_DOWNLOAD);
    connect(pScan, &QProgressBar::valueChanged, this, [this](int n) { m_nScanMax = std::max(m_nScanMax, n); });
    connect(pDownload, &QProgressBar::valueChanged, this, [this](int n) { m_nDownloadMax = std::max(m_nDownloadMax, n); });
    // Seen from inside the search (its pump runs this timer): acquisition off, "Поиск" on.
    QTimer::singleShot(1500, this, [this, &rig] {
        m_bSearchLocked = rig.Window().Dlg().IsSearching() && rig.Control(IDC_SEARCH)->isEnabled() &&
                          !rig.Control(IDC_START)->isEnabled() && !rig.Control(IDC_STOP)->isEnabled() &&
                          !rig.Control(IDC_COMBO_INDICATOR)->isEnabled();
    });
    rig.Click(IDC_SEARCH);  // returns when the search has ended

    QVERIFY(m_bSearchLocked);
    QCOMPARE(m_nScanMax, 99);
    QCOMPARE(m_nDownloadMax, 99);
    QCOMPARE(pScan->value(), 0);
    QCOMPARE(pDownload->value(), 0);
    QCOMPARE(rig.ComboItems(IDC_COMBO_INDICATOR), (QStringList{"9", "10"}));
    QCOMPARE(qobject_cast<QComboBox*>(rig.Control(IDC_COMBO_INDICATOR))->currentIndex(), 0);
    for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_COMBO_RECIPE, IDC_COMBO_DOSE,
                    IDC_LIST_TOTALS, IDC_EXIT})
        QVERIFY2(rig.Control(nId)->isEnabled(), qPrintable(QString::number(nId)));
    // The indicator at 9: recipe 1 with doses 0 and 1; its data file's totals in row 1.
    QCOMPARE(rig.ComboItems(IDC_COMBO_RECIPE), (QStringList{"1"}));
    QCOMPARE(rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"0", "1"}));
    QCOMPARE(rig.Cell(1, 1), QStringLiteral("44"));
    QCOMPARE(rig.Cell(1, 2), QStringLiteral("66"));
    QCOMPARE(rig.Cell(2, 1), QStringLiteral("0"));
    // Two records only: the all-weighings panel stays black.
    QCOMPARE(rig.CountPixels(kRcAll, IsNotBlack), 0);
}

void CWindowAcquisitionTest::choosingTenShowsItsRecipesAndTotals()
{
    CWindowRig& rig = *m_pRig;
    rig.Choose(IDC_COMBO_INDICATOR, 1);
    QCOMPARE(rig.m_store.GetCurrentIndicator(), 1);
    QCOMPARE(rig.ComboItems(IDC_COMBO_RECIPE), (QStringList{"2", "5"}));
    QCOMPARE(rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"0", "1", "2"}));
    int nSum = 0;
    for (int i = 0; i < 12; ++i)
        nSum += 795 + i;
    QCOMPARE(rig.Cell(2, 1), QString::number(nSum));
    QCOMPARE(rig.Cell(2, 3), QString::number(12 * 301));
    QCOMPARE(rig.Cell(1, 1), QStringLiteral("0"));
    // Twelve stored weighings of recipe 2, dose 0: the all-weighings chart is drawn, the current one is not.
    QVERIFY(rig.m_chartAll.m_bValid);
    QVERIFY(rig.CountPixels(kRcAll, IsNotBlack) > 500);
    QCOMPARE(rig.CountPixels(kRcCurrent, IsNotBlack), 0);
}

void CWindowAcquisitionTest::recipeAndDoseChoicesRefillTheCascade()
{
    CWindowRig& rig = *m_pRig;
    const QString strTotal = rig.Cell(2, 1);
    rig.Choose(IDC_COMBO_RECIPE, 1);  // "5"
    QCOMPARE(rig.m_store.GetCurrentRecipe(), 5);
    QCOMPARE(rig.ComboItems(IDC_COMBO_DOSE), (QStringList{"3"}));
    QCOMPARE(rig.m_store.GetCurrentDose(), 3);
    QCOMPARE(rig.Cell(2, 1), strTotal);
    QVERIFY(!rig.m_chartAll.m_bValid);  // no record of recipe 5
    QCOMPARE(rig.CountPixels(kRcAll, IsNotBlack), 0);

    rig.Choose(IDC_COMBO_RECIPE, 0);  // "2"
    rig.Choose(IDC_COMBO_DOSE, 2);    // "2": every stored value 301
    QCOMPARE(rig.m_store.GetCurrentDose(), 2);
    QVERIFY(rig.m_chartAll.m_bValid);
    QCOMPARE(rig.m_chartAll.m_dSigma, 0.0);
    rig.Choose(IDC_COMBO_DOSE, 0);
    QCOMPARE(rig.m_store.GetCurrentDose(), 0);
    QCOMPARE(rig.m_chartAll.m_dMean, 800.5);
}

void CWindowAcquisitionTest::pollingUntilWeighingsCompleteChangesTotalsAndCurrentChart()
{
    CWindowRig& rig = *m_pRig;
    const int nTotalBefore = rig.Cell(2, 1).toInt();
    std::vector<CSimStep> aSteps;
    int nAdded = 0;
    for (int i = 0; i < 10; ++i) {
        const std::vector<CSimStep> aBatch = Batch(790 + 2 * i);
        aSteps.insert(aSteps.end(), aBatch.begin(), aBatch.end());
        nAdded += 790 + 2 * i;
    }
    m_pTen->SetScript(aSteps);

    rig.Click(IDC_START);
    QVERIFY(rig.Window().PollTimer().isActive());
    QCOMPARE(rig.Window().PollTimer().interval(), 300);
    QVERIFY(!rig.Control(IDC_SEARCH)->isEnabled());
    QVERIFY(!rig.Control(IDC_START)->isEnabled());
    QVERIFY(rig.Control(IDC_STOP)->isEnabled());
    QVERIFY(rig.Control(IDC_COMBO_INDICATOR)->isEnabled());
    QVERIFY(rig.CountPixels(kRcStatus, IsRed) > 10);  // "Опрос"

    // The first completed weighing rewrites row 2; the current chart needs ten of them.
    QTRY_VERIFY_WITH_TIMEOUT(rig.m_store.GetRunCount(1) >= 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Cell(2, 1).toInt() > nTotalBefore, 5000);
    QCOMPARE(rig.CountPixels(kRcCurrent, IsNotBlack), 0);
    QTRY_VERIFY_WITH_TIMEOUT(rig.m_store.GetRunCount(1) == 10, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.CountPixels(kRcCurrent, IsNotBlack) > 500, 5000);
    QCOMPARE(rig.Cell(2, 1).toInt(), nTotalBefore + nAdded);
    QVERIFY(rig.m_chartCurrent.m_bValid);
    QCOMPARE(rig.m_chartCurrent.m_dMean, 799.0);
    // The records of this run reached the data file too.
    const std::string strData = ReadBytes(rig.m_dir.File("Data_i10"));
    QVERIFY(strData.find(",20=798,598") != std::string::npos);

    if (const QByteArray path = qgetenv("TKD_WINDOW_SCREENSHOT"); !path.isEmpty())
        QVERIFY(rig.Window().grab().save(QString::fromLocal8Bit(path)));
}

void CWindowAcquisitionTest::aTickThatCompletesNothingChangesNothing()
{
    CWindowRig& rig = *m_pRig;
    // The script has run out: the indicator shows its last state on every reply from now on.
    QTRY_VERIFY_WITH_TIMEOUT(m_pTen->ScriptStepsLeft() == 0, 5000);
    const QImage before = rig.Window().Canvas().copy();
    QStringList cells;
    for (int nRow = 0; nRow < 10; ++nRow) {
        for (int nCol = 0; nCol <= 10; ++nCol)
            cells << rig.Cell(nRow, nCol);
    }
    const int nRequests = rig.m_line.CountRequests(10, 'L');
    rig.Window().Dlg().OnTimer();
    QCOMPARE(rig.m_line.CountRequests(10, 'L'), nRequests + 1);  // the tick did ask
    QStringList after;
    for (int nRow = 0; nRow < 10; ++nRow) {
        for (int nCol = 0; nCol <= 10; ++nCol)
            after << rig.Cell(nRow, nCol);
    }
    QCOMPARE(after, cells);
    QCOMPARE(rig.Window().Canvas(), before);
}

void CWindowAcquisitionTest::stopEndsPolling()
{
    CWindowRig& rig = *m_pRig;
    rig.Click(IDC_STOP);
    QVERIFY(!rig.Window().PollTimer().isActive());
    QCOMPARE(rig.Window().Dlg().TimerId(), 0);
    QCOMPARE(rig.CountPixels(kRcStatus, IsRed), 0);
    QCOMPARE(rig.CountPixels(kRcStatus, IsNotBlack), 0);
    for (int nId : {IDC_SEARCH, IDC_START, IDC_STOP, IDC_COMBO_INDICATOR, IDC_LIST_TOTALS})
        QVERIFY(rig.Control(nId)->isEnabled());
    QCOMPARE(rig.m_store.GetRunCount(1), 0);
    // Both charts redrawn, still from their models.
    QVERIFY(rig.CountPixels(kRcCurrent, IsNotBlack) > 500);
    const int nRequests = rig.m_line.CountRequests();
    QTest::qWait(700);
    QCOMPARE(rig.m_line.CountRequests(), nRequests);  // no more ticks
}

void CWindowAcquisitionTest::cleanupTestCase()
{
    m_pRig.reset();
}

#include "tst_window_acquisition.moc"

int RunWindowAcquisitionTests(int argc, char** argv)
{
    CWindowAcquisitionTest test;
    return QTest::qExec(&test, argc, argv);
}
