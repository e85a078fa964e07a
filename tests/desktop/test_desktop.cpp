// The program as a desktop user meets it: the start-up notice, a second
// copy, --help and --version (the install for one user: test_install).
#include "platform/SingleInstance.h"
#include "ui/main/frmSplash.h"

#include "UiTestKit.h"

using filekit::eventually;

namespace {

// Runs a program to its end: its exit code (-1: killed) and its output.
QPair<int, QString> run(const QString& program, const QStringList& args,
                        const QProcessEnvironment& env) {
    const filekit::Result r = filekit::run(program, args, env);
    return {r.code, QString::fromUtf8(r.output)};
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The first copy, this process's window, takes over the socket file a
    // killed copy left (one without the lock never does). Its start ends
    // after the first pass: any key on the notice gives the window back and
    // the program no longer ends then, for this run only. A second copy
    // brings the window to the front and ends; --help and --version answer
    // all the same, with no display, and nothing else.
    void aSecondCopyBringsTheFirstOnesWindowToTheFront() {
        programkit::ProgramFolder dir({"velmorado", "rar"});
        QVERIFY(dir.writeIni("[Configuration]\r\nAutomatique=1\r\nArretAutomatique=1\r\n"));
        platform::SingleInstance other(dir.path());
        QVERIFY(filekit::writeFile(other.socketPath(), "stale"));
        ui::setDialogs(std::make_unique<ui::ScriptedDialogs>());
        ui::frmKestrune first(dir.path());
        app::Application firstApp(first, dir.path());
        QVERIFY(firstApp.start());
        QVERIFY(!other.acquire() && !other.listen({}));
        ui::frmSplash* notice = first.splash();
        QVERIFY(notice && notice->isVisible() && (first.isMinimized() || !first.isVisible()));
        QTest::keyClick(notice, Qt::Key_A);
        QVERIFY(!notice->isVisible() && !config::settings().arretAutomatique);
        QVERIFY(QTest::qWaitForWindowExposed(&first) && !first.isMinimized());
        QCOMPARE(config::ReadSettingFrom(dir.ini(), "Configuration", "ArretAutomatique"), "1");
        QVERIFY(!first.close()); // put away in the tray, or minimised
        QTRY_VERIFY(!first.isVisible() || first.isMinimized());
        QProcess second;
        second.setProcessEnvironment(programkit::environment());
        second.start(dir.exe(), {});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitCode(), 4);
        QVERIFY(first.isVisible() && !first.isMinimized());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            env.remove(display);
        }
        const auto [code, help] = run(dir.exe(), {"--help"}, env);
        QVERIFY2(code == 0 &&
                     help.startsWith(
                         "Usage: velmorado [--help | --version | --status [--json] | --debug]\n") &&
                     help.contains("VelmoradoHelpEN.htm"),
                 qPrintable(help));
        QCOMPARE(run(dir.exe(), {"--foo", "--version"}, env),
                 qMakePair(0, QString("Velmorado 1.0c\n")));
    }

    // On X11 under a window manager that prevents focus stealing (openbox),
    // each start of a second copy leaves the first copy's window active, and
    // that window carries the second start's startup id, so the launcher's
    // feedback for it ends.
    void aSecondCopyHandsItsStartupIdToTheFirst() {
        for (const QString tool : {"Xvfb", "openbox", "xdotool", "xprop", "xmessage"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                QSKIP(qPrintable(tool + " is not installed (scripts/install-deps.sh installs it)"));
            }
        }
        QProcess x;
        x.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(x.waitForReadyRead(30000));
        const QString display = ':' + QString::fromLatin1(x.readLine().trimmed());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        for (const char* gone : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_ACTIVATION_TOKEN"}) {
            env.remove(gone);
        }
        QProcess wm, first, other;
        for (QProcess* p : {&wm, &first, &other}) {
            p->setProcessEnvironment(env);
        }
        wm.start("openbox", {});
        programkit::ProgramFolder dir({"velmorado", "rar"});
        first.start(dir.exe(), {});
        QVERIFY(first.waitForStarted());
        const QString pid = QString::number(first.processId());
        // The window is known once the window manager has made it active.
        QString window;
        const auto active = [&env] {
            return run("xdotool", {"getactivewindow"}, env).second.trimmed();
        };
        QVERIFY(eventually([&] {
            window =
                run("xdotool", {"search", "--onlyvisible", "--pid", pid}, env).second.trimmed();
            return !window.isEmpty() && active() == window;
        }));
        for (int round = 1; round <= 3; ++round) {
            const QString id = "velmorado-test-" + QString::number(round);
            other.start("xmessage", {"-name", id, id});
            QVERIFY(other.waitForStarted());
            QVERIFY(eventually([&] {
                const QString shown =
                    run("xdotool", {"search", "--classname", id}, env).second.trimmed();
                return !shown.isEmpty() && active() == shown;
            }));
            QProcessEnvironment second = env;
            second.insert("DESKTOP_STARTUP_ID", id);
            second.insert("VELMORADO_DIALOG_ANSWERS", ""); // its box said on standard error
            QCOMPARE(run(dir.exe(), {}, second).first, 4);
            QVERIFY(eventually([&] { return active() == window; }));
            QCOMPARE(run("xprop", {"-id", window, "_NET_STARTUP_ID"}, env).second,
                     "_NET_STARTUP_ID(UTF8_STRING) = \"" + id + "\"\n");
            other.kill();
            other.waitForFinished();
        }
        for (QProcess* p : {&first, &wm, &x}) {
            p->kill();
            p->waitForFinished();
        }
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
