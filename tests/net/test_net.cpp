// The bundled "net send": a local user reached through a desktop notification,
// a network name through smbclient, and the recipients it cannot reach (an
// empty login record file of the test's own). Fake notify-send and smbclient
// record what they get.
#include "FileKit.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

namespace {

QString me() {
    const passwd* pw = getpwuid(getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

} // namespace

class TestNet : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString bin;  // the only folder on PATH besides the shell's own
    QString utmp; // an empty login record file unless a test adds to it

    // net with args; its exit status and standard error.
    QPair<int, QByteArray> net(const QStringList& args, bool sessionBus = false) {
        QProcess p;
        QProcessEnvironment e;
        e.insert("PATH", bin + ":/bin");
        e.insert("VELMORADO_NET_UTMP", utmp);
        if (sessionBus) {
            e.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        }
        p.setProcessEnvironment(e);
        p.start(VELMORADO_BIN_DIR "/net", args);
        if (!p.waitForFinished(20000)) {
            p.kill();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardError()};
    }

private Q_SLOTS:
    void init() {
        QVERIFY(dir.isValid());
        bin = dir.path() + "/bin-" + QString::number(QRandomGenerator::global()->generate());
        QVERIFY(QDir().mkpath(bin));
        utmp = dir.path() + "/utmp-" + QString::number(QRandomGenerator::global()->generate());
        QVERIFY(filekit::writeFile(utmp, {}));
    }

    // A local user logged in on a terminal gets the words there, with an
    // escape sequence shown as text, never obeyed.
    void aLocalUserGetsItOnTheTerminalsWhereLoggedIn() {
        int master = -1, slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            QSKIP("no pseudo-terminal can be opened here");
        }
        ::fchmod(slave, 0620); // accepts messages, as "mesg y" leaves it
        utmpx entry{};
        entry.ut_type = USER_PROCESS;
        entry.ut_pid = getpid();
        std::strncpy(entry.ut_line, name + 5, sizeof entry.ut_line - 1); // after "/dev/"
        std::strncpy(entry.ut_id, "vt", sizeof entry.ut_id);
        std::strncpy(entry.ut_user, me().toLocal8Bit().constData(), sizeof entry.ut_user - 1);
        QCOMPARE(utmpxname(utmp.toLocal8Bit().constData()), 0);
        setutxent();
        QVERIFY(pututxline(&entry));
        endutxent();

        QCOMPARE(net({"send", me(), "disk", "\x1b[2Jgone"}).first, 0);
        QByteArray seen;
        char buf[4096];
        for (pollfd pfd{master, POLLIN, 0}; !seen.contains("EOF") && ::poll(&pfd, 1, 2000) > 0;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            seen.append(buf, int(n));
        }
        ::close(slave);
        ::close(master);
        // The words as one message; an escape shown, not obeyed.
        QVERIFY2(seen.contains("Message from ") && seen.contains("disk ^[[2Jgone"), seen);
    }

    void deliveredOrRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("fake"); // a program of bin that records what it gets
        QTest::addColumn<int>("fakeStatus");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArrayList>("said"); // on standard error
        QTest::addColumn<QByteArray>("fakeGot");  // its arguments, "|" after each, and its input
        const QString other = "NOT-A-LOCAL-NAME-7";
        QTest::newRow("local user, desktop notification")
            << QStringList{"send", me(), "Warning from Velmorado: unknown folder"}
            << QByteArray("notify-send") << 0 << 0 << QByteArrayList()
            << QByteArray("Velmorado|Warning from Velmorado: unknown folder|");
        QTest::newRow("network name through smbclient")
            << QStringList{"send", other, "unknown", "folder"} << QByteArray("smbclient") << 0 << 0
            << QByteArrayList() << QByteArray("-M|" + other.toLatin1() + "|-N|unknown folder\n");
        QTest::newRow("network name, machine not answering")
            << QStringList{"send", other, "hello"} << QByteArray("smbclient") << 1 << 1
            << QByteArrayList{"could not deliver"}
            << QByteArray("-M|" + other.toLatin1() + "|-N|hello\n");
        const QByteArrayList usage{"usage: net send RECIPIENT MESSAGE"};
        QTest::newRow("recipient only") << QStringList{"send", "Administrator"} << QByteArray() << 0
                                        << 2 << usage << QByteArray();
    }

    void deliveredOrRefused() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, fake);
        QFETCH(int, fakeStatus);
        QFETCH(int, status);
        QFETCH(QByteArrayList, said);
        QFETCH(QByteArray, fakeGot);
        const QString got = dir.path() + "/got";
        QFile::remove(got);
        QVERIFY(fake.isEmpty() ||
                filekit::writeFile(bin + '/' + fake,
                                   "#!/bin/sh\nprintf '%s|' \"$@\" >'" + got.toUtf8() +
                                       "'\ncat >>'" + got.toUtf8() + "'\nexit " +
                                       QByteArray::number(fakeStatus) + "\n",
                                   0755));
        const auto [code, err] = net(args, fake == "notify-send");
        QCOMPARE(code, status);
        for (const QByteArray& part : said) {
            QVERIFY2(err.contains(part), err);
        }
        QCOMPARE(filekit::readFile(got), fakeGot.isEmpty() ? QByteArray("<missing>") : fakeGot);
    }
};

QTEST_GUILESS_MAIN(TestNet)
#include "test_net.moc"
