// Service control against a stand-in systemctl that records its calls.
#include "service/ServiceControl.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using service::ServiceControl;

class TestServiceControl : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_calls;

    QStringList calls() const {
        QFile f(m_calls);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void init() {
        QVERIFY(m_dir.isValid());
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        m_calls = m_dir.filePath(QStringLiteral("calls.txt"));
        QFile::remove(m_calls);
        QFile fake(bin + QStringLiteral("/systemctl"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\necho \"$*\" >> '" + m_calls.toUtf8() + "'\nexit 0\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", (bin + QStringLiteral(":") + qEnvironmentVariable("PATH")).toUtf8());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        qunsetenv("VELMORADO_SERVICE");
    }

    void installWritesTheUnitAndEnablesIt() {
        ServiceControl control;
        QVERIFY(!control.Installed());
        control.setExecutablePath(QStringLiteral("/opt/velmorado dir/velmorado"));
        control.setStartType(0);
        control.setInteractWithDesktop(false);
        QVERIFY(control.InstallService(false));
        QVERIFY(control.Installed());
        QCOMPARE(ServiceControl::unitFilePath(),
                 m_dir.filePath(QStringLiteral("data/systemd/user/velmorado.service")));
        QFile unit(ServiceControl::unitFilePath());
        QVERIFY(unit.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(unit.readAll());
        QVERIFY(text.contains(QStringLiteral("Description=Velmorado Service\n")));
        QVERIFY(text.contains(QStringLiteral("ExecStart=\"/opt/velmorado dir/velmorado\"\n")));
        QVERIFY(text.contains(QStringLiteral("Environment=VELMORADO_SERVICE=1\n")));
        QVERIFY(text.contains(QStringLiteral("Environment=QT_QPA_PLATFORM=offscreen\n")));
        QVERIFY(text.contains(QStringLiteral("WantedBy=default.target")));
        const QStringList c = calls();
        QVERIFY2(c.contains(QStringLiteral("--user daemon-reload")), qPrintable(c.join(u'|')));
        QVERIFY(c.contains(QStringLiteral("--user enable velmorado.service")));
        QVERIFY(c.indexOf(QStringLiteral("--user daemon-reload")) <
                c.indexOf(QStringLiteral("--user enable velmorado.service")));
    }

    void startTypesAndDesktop() {
        ServiceControl control;
        control.setInteractWithDesktop(true);
        control.setStartType(2);
        QVERIFY(control.InstallService());
        QVERIFY(calls().contains(QStringLiteral("--user mask velmorado.service")));
        QVERIFY(!control.unitFileText().contains(QStringLiteral("QT_QPA_PLATFORM")));

        // What systemctl leaves on disk tells the start type back.
        const QString conf = m_dir.filePath(QStringLiteral("config/systemd/user"));
        QDir().mkpath(conf + QStringLiteral("/default.target.wants"));
        QCOMPARE(control.StartType(), qint16(1));
        QVERIFY(QFile::link(ServiceControl::unitFilePath(),
                            conf + QStringLiteral("/default.target.wants/velmorado.service")));
        QCOMPARE(control.StartType(), qint16(0));
        QFile::remove(conf + QStringLiteral("/default.target.wants/velmorado.service"));
        QVERIFY(
            QFile::link(QStringLiteral("/dev/null"), conf + QStringLiteral("/velmorado.service")));
        QCOMPARE(control.StartType(), qint16(2));
    }

    void uninstallRemovesTheUnit() {
        ServiceControl control;
        QVERIFY(control.InstallService());
        QFile::remove(m_calls);
        QVERIFY(control.UninstallService());
        QVERIFY(!control.Installed());
        const QStringList c = calls();
        QVERIFY(c.contains(QStringLiteral("--user disable velmorado.service")));
        QCOMPARE(c.last(), QStringLiteral("--user daemon-reload"));
    }

    void startedByTheServiceManager() {
        ServiceControl byHand;
        QVERIFY(!byHand.StartedAsService());
        qputenv("VELMORADO_SERVICE", "1");
        ServiceControl asService;
        QVERIFY(asService.StartedAsService());
        QVERIFY(asService.RunningAsService());
        QSignalSpy started(&asService, &ServiceControl::ServiceStarted);
        asService.announceStart(); // not installed: no start event
        QCOMPARE(started.count(), 0);
        QVERIFY(asService.InstallService());
        asService.announceStart();
        QCOMPARE(started.count(), 1);
        qunsetenv("VELMORADO_SERVICE");
    }

    void signalsBecomeServiceEvents() {
        ServiceControl control;
        control.watchServiceSignals();
        QSignalSpy stopped(&control, &ServiceControl::ServiceStopped);
        QSignalSpy paused(&control, &ServiceControl::ServicePaused);
        QSignalSpy continued(&control, &ServiceControl::ServiceContinued);
        ::raise(SIGTSTP);
        QVERIFY(paused.wait(5000));
        ::raise(SIGCONT);
        QVERIFY(continued.wait(5000));
        ::raise(SIGTERM); // handled: the process goes on and can end cleanly
        QVERIFY(stopped.wait(5000));
        QCOMPARE(paused.count(), 1);
        QCOMPARE(continued.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceControl)
#include "test_service_control.moc"
