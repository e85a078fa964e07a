// The bundled "net send", with login records of the test's own and fake
// notify-send and smbclient that record what they get.
#include "FileKit.h"

#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <utmpx.h>

class TestNet : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString bin, utmp; // the only folder on PATH besides /bin; the login records
    const QString me = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);

    // net with args: its exit status and standard error.
    QPair<int, QByteArray> net(const QStringList& args, bool sessionBus = false) {
        QProcessEnvironment e;
        e.insert("PATH", bin + ":/bin");
        e.insert("VELMORADO_NET_UTMP", utmp);
        if (sessionBus) {
            e.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        }
        const filekit::Result r = filekit::run(VELMORADO_BIN_DIR "/net", args, e);
        return {r.code, r.output.mid(r.out.size())};
    }

private Q_SLOTS:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        bin = dir->filePath("bin");
        utmp = dir->filePath("utmp");
        QVERIFY(QDir().mkpath(bin) && filekit::writeFile(utmp, {}));
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
        qstrncpy(entry.ut_line, name + 5, sizeof entry.ut_line); // after "/dev/"
        qstrncpy(entry.ut_id, "vt", sizeof entry.ut_id);
        qstrncpy(entry.ut_user, me.toLocal8Bit().constData(), sizeof entry.ut_user);
        QCOMPARE(utmpxname(utmp.toLocal8Bit().constData()), 0);
        setutxent();
        QVERIFY(pututxline(&entry));
        endutxent();
        QCOMPARE(net({"send", me, "disk", "\x1b[2Jgone"}).first, 0);
        QByteArray seen;
        char buf[4096];
        pollfd pfd{master, POLLIN, 0};
        for (ssize_t n = 0; !seen.contains("EOF") && ::poll(&pfd, 1, 2000) > 0 &&
                            (n = ::read(master, buf, sizeof buf)) > 0;) {
            seen.append(buf, int(n));
        }
        ::close(slave);
        ::close(master);
        QVERIFY2(seen.contains("Message from ") && seen.contains("disk ^[[2Jgone"), seen);
    }

    void deliveredOrRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("fake"); // a program of bin, exiting as net should
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");    // on standard error
        QTest::addColumn<QByteArray>("fakeGot"); // its arguments, "|" after each, and its input
        const QString other = "NOT-A-LOCAL-NAME-7";
        const QByteArray smb = "-M|" + other.toLatin1() + "|-N|";
        QTest::newRow("local user, desktop notification")
            << QStringList{"send", me, "Warning from Velmorado: unknown folder"}
            << QByteArray("notify-send") << 0 << QByteArray()
            << QByteArray("Velmorado|Warning from Velmorado: unknown folder|");
        QTest::newRow("network name through smbclient")
            << QStringList{"send", other, "unknown", "folder"} << QByteArray("smbclient") << 0
            << QByteArray() << smb + "unknown folder\n";
        QTest::newRow("recipient only")
            << QStringList{"send", "Administrator"} << QByteArray() << 2
            << QByteArray("usage: net send RECIPIENT MESSAGE") << QByteArray("<missing>");
    }
    void deliveredOrRefused() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, fake);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        QFETCH(QByteArray, fakeGot);
        QVERIFY(fake.isEmpty() || filekit::writeFile(bin + '/' + fake,
                                                     "#!/bin/sh\nprintf '%s|' \"$@\" >\"$0.got\"\n"
                                                     "cat >>\"$0.got\"\nexit " +
                                                         QByteArray::number(status) + "\n",
                                                     0755));
        const auto [code, err] = net(args, fake == "notify-send");
        QCOMPARE(code, status);
        QVERIFY2(err.contains(said), err);
        QCOMPARE(filekit::readFile(bin + '/' + fake + ".got"), fakeGot);
    }
};

QTEST_GUILESS_MAIN(TestNet)
#include "test_net.moc"
