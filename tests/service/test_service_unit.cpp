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
const QString kOddPath = "/opt/Velmorado 100%/$HOME/\"q\"\\velmorado";

QString unitFor(bool offscreen) {
    return QString("[Unit]\nDescription=Velmorado Service\n\n[Service]\nType=simple\n"
                   "ExecStart=\"/opt/Velmorado 100%%/$$HOME/\\\"q\\\"\\\\velmorado\"\n"
                   "Environment=VELMORADO_SERVICE=1\n") +
           (offscreen ? "Environment=QT_QPA_PLATFORM=offscreen\n" : "") +
           "Restart=on-failure\nRestartSec=10\nKillMode=mixed\nTimeoutStopSec=10min\n\n"
           "[Install]\nWantedBy=default.target\n";
}

// Runs the event loop until the program would end (or 10 s pass).
int endsWithin(QEventLoop& loop, int& ends, int ms = 10000) {
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return ends;
}

} // namespace

class TestServiceUnit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachStartType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("interact");
        QTest::addColumn<QString>("last"); // the last of daemon-reload, (un)mask, this call
        QTest::newRow("automatic, offscreen") << 0 << false << "enable";
        QTest::newRow("manual, on the desktop") << 1 << true << "disable";
        QTest::newRow("disabled") << 2 << false << "mask";
    }
    // The unit as written, the calls, the state a fresh control reads back;
    // an automatic install over it (the mask of a disabled one included, as
    // a removal that a crash cut short leaves it); a removal leaves nothing.
    void eachStartType() {
        QFETCH(int, type);
        QFETCH(bool, interact);
        QFETCH(QString, last);
        FakeSystemd systemd;
        ServiceControl control;
        QVERIFY(!control.Installed());
        control.setExecutablePath(kOddPath);
        control.setStartType(qint16(type));
        control.setInteractWithDesktop(interact);
        QVERIFY(control.InstallService(false));
        QCOMPARE(QString::fromUtf8(filekit::readFile(systemd.unitFile())), unitFor(!interact));
        const QString unit = " velmorado.service";
        QCOMPARE(systemd.calls(),
                 (QStringList{"--user daemon-reload",
                              type == 2 ? "--user disable" + unit : "--user unmask" + unit,
                              "--user " + last + unit}));
        QVERIFY(control.failedCommands().isEmpty());
        ServiceControl later;
        QVERIFY(later.Installed());
        QCOMPARE(later.StartType(), qint16(type));
        QCOMPARE(later.InteractWithDesktop(), interact);
        QCOMPARE(QFileInfo(systemd.wantsLink()).isSymLink(), type == 0);
        QCOMPARE(QFileInfo(systemd.maskLink()).isSymLink(), type == 2);
        control.setStartType(0);
        QVERIFY(control.InstallService());
        QVERIFY(control.failedCommands().isEmpty());
        QCOMPARE(ServiceControl().StartType(), qint16(0));
        systemd.forgetCalls();
        QVERIFY(later.UninstallService());
        QVERIFY(!later.Installed());
        QVERIFY(!QFileInfo::exists(systemd.unitFile()));
        QVERIFY(!QFileInfo(systemd.wantsLink()).isSymLink());
        QVERIFY(!QFileInfo(systemd.maskLink()).isSymLink());
        QCOMPARE(systemd.calls(), (QStringList{"--user disable" + unit, "--user unmask" + unit,
                                               "--user daemon-reload"}));
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
                                << QStringList{"démarré", "suspendu", "reprise",
                                               "utilisateur déconnecté", "arrêté"};
        QTest::newRow("English") << 0
                                 << QStringList{"started", "paused", "continued", "logoff user",
                                                "stopped"};
    }
    // Pause, continue and log-off only write their entries (a real SIGTSTP
    // would stop this test for good); SIGTERM, with processing stopped, ends
    // the program at once.
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
        int stops = 0, ends = 0;
        QEventLoop loop;
        ServiceEvents events(control, {[&] { ++stops; }, [&] { ++ends, loop.quit(); }});
        events.start();
        ::raise(SIGTSTP);
        QTRY_COMPARE(log.entries.size(), 2);
        ::raise(SIGCONT);
        QTRY_COMPARE(log.entries.size(), 3);
        Q_EMIT control.UserLoggedOff();
        QCOMPARE(stops + ends, 0);
        ::raise(SIGTERM); // handled: this process goes on
        QCOMPARE(endsWithin(loop, ends), 1);
        QCOMPARE(stops, 0); // processing was not running
        QCOMPARE(log.texts(),
                 texts.replaceInStrings(QRegularExpression("^"), "Velmorado Service: "));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(log.entries.at(i).first, i == 3 ? 2 : 4); // the log-off is a warning
        }
    }

    // A stop during a pass stops processing as the button does, writes its
    // entry, and waits for the pass to return before the program ends; a
    // second stop changes nothing.
    void aStopWaitsForThePassToReturn() {
        FakeSystemd systemd;
        RecordedLog log;
        config::setLanguage(0);
        engine::EngineState& st = engine::state();
        st.stopped = false;
        st.passRunning = true;
        ServiceControl control;
        int ends = 0;
        QEventLoop loop;
        ServiceEvents events(control, {[&] { st.stopped = true; }, [&] { ++ends, loop.quit(); }});
        events.start();
        ::raise(SIGTERM);
        QCOMPARE(endsWithin(loop, ends, 300), 0);
        QVERIFY(st.stopped && events.ending());
        QCOMPARE(log.texts(), QStringList{"Velmorado Service: stopped"});
        ::raise(SIGTERM);
        st.passRunning = false;
        QCOMPARE(endsWithin(loop, ends), 1);
        QCOMPARE(log.entries.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceUnit)
#include "test_service_unit.moc"
