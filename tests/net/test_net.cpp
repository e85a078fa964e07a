// The bundled "net send": a local user reached on a terminal of the test's
// own (a pseudo-terminal in a login record file of its own) and through a
// desktop notification, a network name through smbclient, and the recipients
// it cannot reach. Fake notify-send and smbclient record what they get.
#include "FileKit.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <unistd.h>
#include <utmpx.h>

namespace {

const QString kNet = QStringLiteral(VELMORADO_BIN_DIR "/net");

QString me() {
    const passwd* pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

struct Result {
    int status = -1;
    QByteArray err;
};

} // namespace

class TestNet : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString bin;  // the only folder on PATH besides the shell's own
    QString utmp; // an empty login record file unless a test adds to it

    Result net(const QStringList& args, const QStringList& env = {}) {
        QProcess p;
        QProcessEnvironment e;
        e.insert("PATH", bin + ":/bin");
        e.insert("VELMORADO_NET_UTMP", utmp);
        for (const QString& kv : env) {
            e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        }
        p.setProcessEnvironment(e);
        p.start(kNet, args);
        if (!p.waitForFinished(20000)) {
            p.kill();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardError()};
    }
    // A program of bin that records its arguments and input, and exits with status.
    void fake(const char* name, int status = 0) {
        const QString out = dir.path() + "/" + name;
        QVERIFY(filekit::writeFile(bin + "/" + name,
                                   "#!/bin/sh\nprintf '%s|' \"$@\" >'" + out.toUtf8() +
                                       ".args'\ncat >'" + out.toUtf8() + ".in'\nexit " +
                                       QByteArray::number(status) + "\n",
                                   0755));
    }
    QByteArray recorded(const char* name, const char* what) {
        return filekit::readFile(dir.path() + "/" + name + "." + what);
    }

private Q_SLOTS:
    void init() {
        QVERIFY(dir.isValid());
        bin = dir.path() + "/bin-" + QString::number(QRandomGenerator::global()->generate());
        QVERIFY(QDir().mkpath(bin));
        utmp = dir.path() + "/utmp-" + QString::number(QRandomGenerator::global()->generate());
        QVERIFY(filekit::writeFile(utmp, {}));
        QVERIFY(QFile::exists(kNet));
    }

    void aLocalUserGetsItOnTheTerminalsWhereLoggedIn() {
        int master = -1, slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            QSKIP("no pseudo-terminal can be opened here");
        }
        ::fchmod(slave, 0620);                           // accepts messages, as "mesg y" leaves it
        const QByteArray line = QByteArray(name).mid(5); // after "/dev/"
        utmpx entry{};
        entry.ut_type = USER_PROCESS;
        entry.ut_pid = getpid();
        std::strncpy(entry.ut_line, line.constData(), sizeof entry.ut_line - 1);
        std::strncpy(entry.ut_id, "vt", sizeof entry.ut_id);
        std::strncpy(entry.ut_user, me().toLocal8Bit().constData(), sizeof entry.ut_user - 1);
        QCOMPARE(utmpxname(utmp.toLocal8Bit().constData()), 0);
        setutxent();
        QVERIFY(pututxline(&entry));
        endutxent();

        const Result r = net({"send", me(), "disk", "\x1b[2Jgone"});
        QCOMPARE(r.status, 0);
        QByteArray seen;
        pollfd pfd{master, POLLIN, 0};
        while (::poll(&pfd, 1, 2000) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            seen.append(buf, int(n));
            if (seen.contains("EOF")) {
                break;
            }
        }
        ::close(slave);
        ::close(master);
        QVERIFY2(seen.contains("Message from "), seen.constData());
        // The words as one message; an escape shown, not obeyed.
        QVERIFY2(seen.contains("disk ^[[2Jgone"), seen.constData());
    }

    void aLocalUserGetsADesktopNotificationWhereASessionCanShowIt() {
        fake("notify-send");
        const Result r = net({"send", me(), "Warning from Velmorado: unknown folder"},
                             {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"});
        QCOMPARE(r.status, 0);
        QCOMPARE(recorded("notify-send", "args"),
                 QByteArray("Velmorado|Warning from Velmorado: unknown folder|"));
    }

    void aLocalUserLoggedInNowhereIsReportedUndelivered() {
        const Result r = net({"send", me(), "hello"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("logged in on no terminal"), r.err.constData());
    }

    void aNetworkNameGoesThroughSmbclient() {
        fake("smbclient");
        const Result r = net({"send", "NOT-A-LOCAL-NAME-7", "unknown", "folder"});
        QCOMPARE(r.status, 0);
        QCOMPARE(recorded("smbclient", "args"), QByteArray("-M|NOT-A-LOCAL-NAME-7|-N|"));
        QCOMPARE(recorded("smbclient", "in"), QByteArray("unknown folder\n"));
    }

    void anUnreachableNameFailsAndSaysWhy() {
        Result r = net({"send", "NOT-A-LOCAL-NAME-7", "hello"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("not a user of this machine") && r.err.contains("smbclient"),
                 r.err.constData());
        fake("smbclient", 1); // installed, but the machine does not answer
        r = net({"send", "NOT-A-LOCAL-NAME-7", "hello"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("could not deliver"), r.err.constData());
    }

    void badCommandLinesAreRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("another verb") << QStringList{"view"};
        QTest::newRow("no recipient") << QStringList{"send"};
        QTest::newRow("recipient only") << QStringList{"send", "Administrator"};
    }
    void badCommandLinesAreRefused() {
        QFETCH(QStringList, args);
        const Result r = net(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("usage: net send RECIPIENT MESSAGE"));
    }
};

QTEST_GUILESS_MAIN(TestNet)
#include "test_net.moc"
