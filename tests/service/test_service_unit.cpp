// The user unit and what each start type does to it; the service events as
// system-log entries.
#include "app/ServiceMode.h"
#include "config/ProgramValues.h"
#include "engine/EngineState.h"

#include "ServiceTestKit.h"

#include <csignal>

using service::ServiceControl;
using servicetest::FakeSystemd;

namespace {

// A path with every character that systemd reads specially in ExecStart.
const QString kOddPath = "/opt/Velmorado 100%/$HOME/\"q\"\\velmorado";
const QString kUnit = " velmorado.service";

QString unitFor(bool offscreen) {
    return QString("[Unit]\nDescription=Velmorado Service\n\n[Service]\nType=simple\n"
                   "ExecStart=\"/opt/Velmorado 100%%/$$HOME/\\\"q\\\"\\\\velmorado\"\n"
                   "Environment=VELMORADO_SERVICE=1\n") +
           (offscreen ? "Environment=QT_QPA_PLATFORM=offscreen\n" : "") +
           "Restart=on-failure\nRestartSec=10\nRestartPreventExitStatus=4 "
           "5\nKillMode=mixed\nTimeoutStopSec=10min\n\n"
           "[Install]\nWantedBy=default.target\n";
}

// Runs the event loop until the program would end (or ms pass): the ends so far.
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
    // A failing manager: the unit is written all the same and the failed
    // commands kept; an unwritable unit folder: nothing registered.
    void eachStartType() {
        QFETCH(int, type);
        QFETCH(bool, interact);
        QFETCH(QString, last);
        FakeSystemd systemd;
        ServiceControl control;
        control.setExecutablePath(kOddPath);
        control.setStartType(qint16(type));
        control.setInteractWithDesktop(interact);
        QVERIFY(control.InstallService(false));
        QCOMPARE(QString::fromUtf8(filekit::readFile(systemd.unitFile())), unitFor(!interact));
        QCOMPARE(systemd.calls(),
                 QStringList({"--user daemon-reload",
                              (type == 2 ? "--user disable" : "--user unmask") + kUnit,
                              "--user " + last + kUnit}));
        QVERIFY(control.failedCommands().isEmpty());
        ServiceControl later;
        QVERIFY(later.Installed());
        QCOMPARE(later.StartType(), qint16(type));
        QCOMPARE(later.InteractWithDesktop(), interact);
        QCOMPARE(QList<bool>({systemd.enabled(), systemd.masked()}),
                 QList<bool>({type == 0, type == 2}));
        control.setStartType(0);
        QVERIFY(control.InstallService() && control.failedCommands().isEmpty());
        QCOMPARE(ServiceControl().StartType(), qint16(0));
        systemd.forget();
        QVERIFY(later.UninstallService());
        QVERIFY(!later.Installed() && !QFileInfo::exists(systemd.unitFile()) &&
                !systemd.enabled() && !systemd.masked());
        QCOMPARE(systemd.calls(), QStringList({"--user disable" + kUnit, "--user unmask" + kUnit,
                                               "--user daemon-reload"}));
        qputenv("FAKE_SYSTEMCTL_FAIL", "1");
        QVERIFY(control.InstallService() && control.Installed());
        QCOMPARE(control.failedCommands(),
                 QStringList({"systemctl --user daemon-reload", "systemctl --user unmask" + kUnit,
                              "systemctl --user enable" + kUnit}));
        QVERIFY(control.UninstallService());
        qunsetenv("FAKE_SYSTEMCTL_FAIL");
        QVERIFY(QDir(systemd.path("data/systemd/user")).removeRecursively() &&
                filekit::writeFile(systemd.path("data/systemd/user"), "not a folder"));
        systemd.forget();
        QVERIFY(!control.InstallService() && !control.Installed() && systemd.calls().isEmpty());
    }

    // Yes at a start by hand removes the service; a removal that cannot
    // happen (the unit's folder read-only) is said, never logged as done.
    void aRemovalThatFailsIsSaid() {
        FakeSystemd systemd;
        systemd.registerService();
        ServiceControl control;
        QStringList told;
        const auto yes = [](const QString&) { return true; };
        const auto tell = [&](const QString& message) { told << message; };
        const QString cannot = "Velmorado Service: cannot remove " + systemd.unitFile();
        {
            const filekit::ReadOnlyFolder readOnly(systemd.path("data/systemd/user"));
            QCOMPARE(app::decideRunMode(control, yes, tell), app::RunMode::Application);
        }
        QVERIFY(control.Installed());
        QCOMPARE(told, QStringList{cannot});
        QCOMPARE(systemd.events(), QStringList{"2\t" + cannot});
        systemd.forget();
        QCOMPARE(app::decideRunMode(control, yes, tell), app::RunMode::Application);
        QVERIFY(!control.Installed() && told.size() == 1);
        QCOMPARE(systemd.events(), QStringList{"4\tVelmorado Service removed"});
    }

    void eventsAreLoggedInTheLanguage_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("French")
            << 1 << QString("démarré|suspendu|reprise|utilisateur déconnecté|arrêté").split('|');
        QTest::newRow("English")
            << 0 << QString("started|paused|continued|logoff user|stopped").split('|');
    }
    // Pause, continue and log-off (a warning) only write their entries (a
    // real SIGTSTP would stop this test for good); SIGTERM ends at once.
    void eventsAreLoggedInTheLanguage() {
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        FakeSystemd systemd;
        systemd.registerService();
        qputenv("VELMORADO_SERVICE", "1");
        config::setLanguage(language);
        engine::state().stopped = true;
        engine::state().passRunning = false;
        ServiceControl control;
        int stops = 0, ends = 0;
        QEventLoop loop;
        app::ServiceEvents events(control, {[&] { ++stops; }, [&] { ++ends, loop.quit(); }});
        events.start();
        ::raise(SIGTSTP);
        QTRY_COMPARE(systemd.events().size(), 2);
        ::raise(SIGCONT);
        QTRY_COMPARE(systemd.events().size(), 3);
        Q_EMIT control.UserLoggedOff();
        ::raise(SIGTERM); // handled: this process goes on
        QCOMPARE(endsWithin(loop, ends), 1);
        QCOMPARE(stops, 0); // processing was not running
        texts.replaceInStrings(QRegularExpression("^"), "4\tVelmorado Service: ")[3][0] = '2';
        QCOMPARE(systemd.events(), texts);
    }

    // A stop during a pass stops processing, writes its entry, and waits for
    // the pass to return before the program ends; a second changes nothing.
    void aStopWaitsForThePassToReturn() {
        FakeSystemd systemd;
        config::setLanguage(0);
        engine::EngineState& st = engine::state();
        st.stopped = false;
        st.passRunning = true;
        ServiceControl control;
        int ends = 0;
        QEventLoop loop;
        app::ServiceEvents events(control,
                                  {[&] { st.stopped = true; }, [&] { ++ends, loop.quit(); }});
        events.start();
        ::raise(SIGTERM);
        QCOMPARE(endsWithin(loop, ends, 300), 0);
        QVERIFY(st.stopped && events.ending());
        ::raise(SIGTERM);
        st.passRunning = false;
        QCOMPARE(endsWithin(loop, ends), 1);
        QCOMPARE(systemd.events(), QStringList{"4\tVelmorado Service: stopped"});
    }
};

QTEST_GUILESS_MAIN(TestServiceUnit)
#include "test_service_unit.moc"
