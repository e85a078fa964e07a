// The main window tells which files wait and why, after every pass: a line at
// its foot, shown only while something waits, a second line in the tray tip,
// and a tray notice once when a cause starts (again only after it cleared).
#include "UiTestKit.h"

using namespace uitest;

class TestWaitingWindow : public WindowTest {
    Q_OBJECT
private Q_SLOTS:
    void filesWaitingShowAtTheFootInTheTrayTipAndOnceAsANotice() {
        fresh();
        const QString in = pf->folder("in"), later = pf->path() + "/later";
        QVERIFY(
            open(listLine(in, later), "[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"));
        auto* tray = w->findChild<QSystemTrayIcon*>("PictureVelmorado");
        QVERIFY(tray && !w->findChild<QLabel*>("lblEnAttente"));
        QSignalSpy told(w, &ui::frmKestrune::waitNoticeShown);
        QAction* start = entry(w, "mnuDemarrer");
        const QString waiting = "Files waiting: Target folder missing (1)";
        for (int pass = 0; pass < 3; ++pass) {
            start->trigger(); // the forced pass meets the missing target
            QCOMPARE(label(w, "lblEnAttente")->text(), waiting);
            QVERIFY(!w->statusBar()->isHidden());
            QCOMPARE(tray->toolTip(), "Velmorado 1.0c - Wait\n" + waiting);
            start->trigger(); // stopped: the files still wait
            QCOMPARE(tray->toolTip(), "Velmorado 1.0c\n" + waiting);
        }
        QCOMPARE(told.count(), 1);
        QCOMPARE(told.at(0).at(1).toString(), "Files waiting: Target folder missing - " + later);
        QVERIFY(QDir().mkdir(later));
        start->trigger(), start->trigger();
        QVERIFY(label(w, "lblEnAttente")->text().isEmpty() && w->statusBar()->isHidden());
        QCOMPARE(tray->toolTip(), "Velmorado 1.0c");
        QVERIFY(QDir().rmdir(later));
        start->trigger(), start->trigger();
        QCOMPARE(told.count(), 2);
    }
};

QTEST_MAIN(TestWaitingWindow)
#include "test_waiting_window.moc"
