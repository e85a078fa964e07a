// Notices of files waiting go through the desktop's notification service,
// here a recording one on a private session bus of the test's own; the tray's
// balloon tells them only where no service answers (on a real tray:
// test_notifications_tray).
#include "UiTestKit.h"

#include "engine/WaitCauses.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

using namespace uitest;

namespace {
const QString kService = "org.freedesktop.Notifications";

// The visible balloons of the tray and their texts.
QStringList balloons() {
    QStringList texts;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->inherits("QBalloonTip")) {
            for (const QLabel* l : top->findChildren<QLabel*>()) {
                texts << l->text();
            }
        }
    }
    return texts;
}
} // namespace

class TestNotifications : public WindowTest {
    Q_OBJECT
    QProcess bus, recorder;
    QString record;
    std::unique_ptr<QTemporaryDir> tmp;

    // A pass that meets a missing target: files wait, and their notice (once) is given.
    QString passWithFilesWaiting() {
        const QString later = pf->path() + "/later";
        if (!open(listLine(pf->folder("in"), later),
                  "[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n")) {
            return {};
        }
        // On a real tray, once the icon sits in it (a balloon points at it).
        auto* tray = w->findChild<QSystemTrayIcon*>("PictureVelmorado");
        if (QSystemTrayIcon::isSystemTrayAvailable() &&
            !QTest::qWaitFor([tray] { return !tray->geometry().isEmpty(); })) {
            return {};
        }
        QSignalSpy told(w, &ui::frmKestrune::waitNoticeShown);
        entry(w, "mnuDemarrer")->trigger();
        entry(w, "mnuDemarrer")->trigger();
        return told.count() == 1 ? told.at(0).at(1).toString() : QString();
    }

private Q_SLOTS:
    // A session bus of this test's own, before anything asks for one.
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            QSKIP("dbus-daemon is not installed (scripts/install-deps.sh installs dbus)");
        }
        bus.start(daemon, {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY(bus.canReadLine());
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        tmp = std::make_unique<QTemporaryDir>();
        record = tmp->filePath("notices");
    }
    void init() {
        fresh();
        engine::waitCauses().reset(); // no cause of the test before is told again
    }
    void cleanup() {
        recorder.kill();
        recorder.waitForFinished();
    }
    void cleanupTestCase() {
        bus.kill();
        bus.waitForFinished();
    }

    // The recording service answers: the notice is its, once, with the
    // program's name and icon; no balloon.
    void noticesGoThroughTheDesktopsNotificationService() {
        recorder.start(QString(VELMORADO_BIN_DIR) + "/notification_recorder", {record});
        QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(kService));
        const QString notice = passWithFilesWaiting();
        QVERIFY(notice.startsWith("Files waiting: Target folder missing - "));
        QTRY_COMPARE(readFile(record),
                     ("Velmorado|velmorado|Velmorado|" + notice + "|1\n").toUtf8());
        QVERIFY(balloons().isEmpty());
    }
    // No service on the bus: the tray's balloon tells it, where there is a tray.
    void withNoServiceTheTrayBalloonTellsIt() {
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            QSKIP("needs a tray on an X server (with_tray.sh)");
        }
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService));
        const QString notice = passWithFilesWaiting();
        QVERIFY(!notice.isEmpty());
        QTRY_VERIFY(balloons().contains(notice));
    }
};

QTEST_MAIN(TestNotifications)
#include "test_notifications.moc"
