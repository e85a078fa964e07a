// The user unit and what each start type does to it, and the service events
// as system-log entries, against the stand-in service manager.
#include "app/ServiceMode.h"
#include "config/ProgramValues.h"
#include "engine/EngineState.h"
#include "service/ServiceControl.h"

#include "ServiceTestKit.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>

#include <csignal>

using app::ServiceEvents;
using service::ServiceControl;
using servicetest::FakeSystemd;
using servicetest::RecordedLog;

namespace {

// A path with every character that systemd reads specially in ExecStart.
const QString kOddPath = QStringLiteral("/opt/Velmorado 100%/$HOME/\"q\"\\velmorado");

QString unitFor(bool offscreen) {
    return QStringLiteral("[Unit]\n"
                          "Description=Velmorado Service\n\n"
                          "[Service]\n"
                          "Type=simple\n"
                          "ExecStart=\"/opt/Velmorado 100%%/$$HOME/\\\"q\\\"\\\\velmorado\"\n"
                          "Environment=VELMORADO_SERVICE=1\n") +
           (offscreen ? QStringLiteral("Environment=QT_QPA_PLATFORM=offscreen\n") : QString()) +
           QStringLiteral("Restart=on-failure\n"
                          "RestartSec=10\n"
                          "KillMode=mixed\n"
                          "TimeoutStopSec=10min\n\n"
                          "[Install]\n"
                          "WantedBy=default.target\n");
}

} // namespace

class TestServiceUnit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachStartType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("interact");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("automatic, offscreen")
            << 0 << false
            << QStringList{"--user daemon-reload", "--user unmask velmorado.service",
                           "--user enable velmorado.service"};
        QTest::newRow("manual, on the desktop")
            << 1 << true
            << QStringList{"--user daemon-reload", "--user unmask velmorado.service",
                           "--user disable velmorado.service"};
        QTest::newRow("disabled") << 2 << false
                                  << QStringList{"--user daemon-reload",
                                                 "--user disable velmorado.service",
                                                 "--user mask velmorado.service"};
    }
    void eachStartType() {
        QFETCH(int, type);
        QFETCH(bool, interact);
        QFETCH(QStringList, calls);
        FakeSystemd systemd;
        ServiceControl control;
        QVERIFY(!control.Installed());
        control.setExecutablePath(kOddPath);
        control.setStartType(qint16(type));
        control.setInteractWithDesktop(interact);
        QVERIFY(control.InstallService(false));
        QCOMPARE(QString::fromUtf8(filekit::readFile(systemd.unitFile())), unitFor(!interact));
        QCOMPARE(systemd.calls(), calls);
        QVERIFY(control.failedCommands().isEmpty());

        // A fresh control reads back what the service manager holds.
        ServiceControl later;
        QVERIFY(later.Installed());
        QCOMPARE(later.StartType(), qint16(type));
        QCOMPARE(later.InteractWithDesktop(), interact);
        QCOMPARE(QFileInfo(systemd.wantsLink()).isSymLink(), type == 0);
        QCOMPARE(QFileInfo(systemd.maskLink()).isSymLink(), type == 2);

        // Removal leaves nothing behind: no unit, no wants link, no mask.
        systemd.forgetCalls();
        QVERIFY(later.UninstallService());
        QVERIFY(!later.Installed());
        QVERIFY(!QFileInfo::exists(systemd.unitFile()));
        QVERIFY(!QFileInfo(systemd.wantsLink()).isSymLink());
        QVERIFY(!QFileInfo(systemd.maskLink()).isSymLink());
        QCOMPARE(systemd.calls(),
                 (QStringList{"--user disable velmorado.service", "--user unmask velmorado.service",
                              "--user daemon-reload"}));
    }

    void aMaskedServiceCanBeInstalledAgainAutomatic() {
        FakeSystemd systemd;
        ServiceControl control;
        control.setStartType(2);
        QVERIFY(control.InstallService());
        QCOMPARE(ServiceControl().StartType(), qint16(2));
        // Reinstalled over the mask (as after a removal that a crash cut short).
        control.setStartType(0);
        QVERIFY(control.InstallService());
        QVERIFY(control.failedCommands().isEmpty());
        QCOMPARE(ServiceControl().StartType(), qint16(0));
    }

    void failuresOfTheServiceManagerAreKept() {
        FakeSystemd systemd;
        qputenv("FAKE_SYSTEMCTL_FAIL", "1");
        ServiceControl control;
        control.setStartType(0);
        QVERIFY(control.InstallService()); // the unit is written all the same
        QVERIFY(control.Installed());
        QCOMPARE(control.failedCommands(),
                 (QStringList{"systemctl --user daemon-reload",
                              "systemctl --user unmask velmorado.service",
                              "systemctl --user enable velmorado.service"}));
        // An unwritable unit folder: nothing registered, and said so.
        QVERIFY(control.UninstallService());
        qunsetenv("FAKE_SYSTEMCTL_FAIL");
        QVERIFY(QDir(systemd.path("data/systemd/user")).removeRecursively());
        QVERIFY(filekit::writeFile(systemd.path("data/systemd/user"), "not a folder"));
        systemd.forgetCalls();
        QVERIFY(!control.InstallService());
        QVERIFY(!control.Installed());
        QVERIFY(systemd.calls().isEmpty());
    }

    void eventsAreLoggedInTheLanguage_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("French") << 1
                                << QStringList{"Velmorado Service: démarré",
                                               "Velmorado Service: suspendu",
                                               "Velmorado Service: reprise",
                                               "Velmorado Service: utilisateur déconnecté",
                                               "Velmorado Service: arrêté"};
        QTest::newRow("English") << 0
                                 << QStringList{"Velmorado Service: started",
                                                "Velmorado Service: paused",
                                                "Velmorado Service: continued",
                                                "Velmorado Service: logoff user",
                                                "Velmorado Service: stopped"};
    }
    void eventsAreLoggedInTheLanguage() {
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        FakeSystemd systemd;
        systemd.registerService();
        qputenv("VELMORADO_SERVICE", "1");
        RecordedLog log;
        config::setLanguage(language);
        engine::state().stopped = true;
        engine::state().passRunning = false;

        ServiceControl control;
        int stops = 0;
        int ends = 0;
        QEventLoop loop;
        ServiceEvents events(control, {[&] { ++stops; },
                                       [&] {
                                           ++ends;
                                           loop.quit();
                                       }});
        events.start();
        // Pause and continue only write their entries: a real SIGTSTP would
        // stop this test for good.
        ::raise(SIGTSTP);
        QTRY_COMPARE(log.entries.size(), 2);
        ::raise(SIGCONT);
        QTRY_COMPARE(log.entries.size(), 3);
        Q_EMIT control.UserLoggedOff();
        QCOMPARE(stops + ends, 0);

        ::raise(SIGTERM); // handled: this process goes on
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(ends, 1);
        QCOMPARE(stops, 0); // processing was not running
        QCOMPARE(log.texts(), texts);
        QCOMPARE(log.entries.at(3).first, 2); // the log-off is a warning
        for (int i : {0, 1, 2, 4}) {
            QCOMPARE(log.entries.at(i).first, 4);
        }
    }

    void onlyTheServiceAnnouncesItsStart() {
        FakeSystemd systemd;
        RecordedLog log;
        config::setLanguage(0);
        ServiceEvents::Hooks none;
        qputenv("VELMORADO_SERVICE", "1"); // started as the service, but not installed
        ServiceControl notInstalled;
        ServiceEvents(notInstalled, none).start();
        qunsetenv("VELMORADO_SERVICE"); // installed, started by hand
        systemd.registerService();
        ServiceControl byHand;
        QVERIFY(!byHand.StartedAsService());
        ServiceEvents(byHand, none).start();
        QVERIFY(log.entries.isEmpty());
    }

    void aStopWaitsForThePassToReturn() {
        FakeSystemd systemd;
        RecordedLog log;
        config::setLanguage(0);
        engine::EngineState& st = engine::state();
        st.stopped = false; // a pass is running
        st.passRunning = true;

        ServiceControl control;
        int ends = 0;
        QEventLoop loop;
        ServiceEvents events(control, {[&] { st.stopped = true; },
                                       [&] {
                                           ++ends;
                                           loop.quit();
                                       }});
        events.start();
        ::raise(SIGTERM);
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        // Processing was stopped as the button stops it, the entry written,
        // and the program still waits for the pass.
        QVERIFY(st.stopped);
        QCOMPARE(log.texts(), QStringList{"Velmorado Service: stopped"});
        QCOMPARE(ends, 0);
        QVERIFY(events.ending());

        ::raise(SIGTERM); // a second stop changes nothing
        st.passRunning = false;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(ends, 1);
        QCOMPARE(log.entries.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceUnit)
#include "test_service_unit.moc"
