// The real window: a second "Поиск" and a close that arrive while a search runs (through its own message pump).
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "window_rig.h"

using namespace tkdtest;

class CWindowCloseTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closeDuringSearch_data();
    void closeDuringSearch();
};

void CWindowCloseTest::closeDuringSearch_data()
{
    QTest::addColumn<int>("nWay");
    QTest::newRow("close box") << 0;
    QTest::newRow("Выход") << 1;
    QTest::newRow("Esc") << 2;
}

void CWindowCloseTest::closeDuringSearch()
{
    QFETCH(int, nWay);
    CWindowRig rig;
    CSimIndicator& ind = rig.m_line.AddIndicator(0);
    ind.ConfigureDoses(1, 1, {500});
    QVERIFY(rig.WriteSettings());
    QVERIFY(rig.StartLine());
    CBatchWindow& window = rig.Show();

    // Half a second into the tuning download of address 0 (some 3 s in all, then 99 more addresses):
    // first a click on "Поиск", which must not start a search inside the search, then the close.
    bool bSecondSearchIgnored = false;
    bool bStillOpen = false;
    bool bBuffersKept = false;
    int nRequestsAtClose = 0;
    QElapsedTimer sinceClose;
    QTimer::singleShot(500, &window, [&] {
        const int nHl = rig.m_line.CountRequests(-1, 'L');
        rig.Click(IDC_SEARCH);
        bSecondSearchIgnored = rig.m_line.CountRequests(-1, 'L') == nHl && window.Dlg().IsSearching();
        nRequestsAtClose = rig.m_line.CountRequests();
        sinceClose.start();
        switch (nWay) {
        case 0: window.close(); break;
        case 1: rig.Click(IDC_EXIT); break;
        default: QTest::keyClick(&window, Qt::Key_Escape); break;
        }
        bStillOpen = window.isVisible() && window.Dlg().IsCloseRequested();
        bBuffersKept = rig.m_store.HasBuffers() && window.Dlg().IsSearching();
    });
    QElapsedTimer searchTime;
    searchTime.start();
    rig.Click(IDC_SEARCH);  // returns when the search has ended
    const qint64 nAfterCloseMs = sinceClose.elapsed();

    QVERIFY(bSecondSearchIgnored);
    QVERIFY(bStillOpen);  // not closed while the search still used the port and the store
    QVERIFY(bBuffersKept);
    // The search ended soon after the close: only the download's three retry pauses (3 x 50 ms
    // here) were left to wait; without the close it would have run for seconds more.
    QVERIFY2(nAfterCloseMs < 2000, qPrintable(QString::number(nAfterCloseMs)));
    QVERIFY(rig.m_line.CountRequests() <= nRequestsAtClose + 1);
    QVERIFY(!rig.m_port.IsOpen());
    // Nothing was filled in; then the window closes by itself.
    QVERIFY(rig.ComboItems(IDC_COMBO_INDICATOR).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
    QVERIFY(rig.m_store.HasBuffers());
    window.Destroy();
    QVERIFY(!rig.m_store.HasBuffers());
}

#include "tst_window_close.moc"

int RunWindowCloseTests(int argc, char** argv)
{
    CWindowCloseTest test;
    return QTest::qExec(&test, argc, argv);
}
