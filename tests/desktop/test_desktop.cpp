// The program as a desktop user meets it: the start-up notice, a second
// copy, --help and --version, and the install for one user.
#include "platform/SingleInstance.h"
#include "ui/main/frmSplash.h"

#include "UiTestKit.h"

using filekit::readFile;

namespace {

const QString kBin = VELMORADO_BIN_DIR;

// Runs a program to its end: its exit code (-1: killed) and its output.
QPair<int, QString> run(const QString& program, const QStringList& args,
                        const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool done = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {done ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

const QPair<int, QString> kVersion{0, "Velmorado 1.0c\n"};

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
        QVERIFY(!other.acquire() && !other.listen([] {}));
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
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(first.isVisible() && !first.isMinimized());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            env.remove(display);
        }
        const auto [code, help] = run(dir.exe(), {"--help"}, env);
        QVERIFY2(code == 0 && help.startsWith("Usage: velmorado [--help | --version]\n") &&
                     help.contains("VelmoradoHelpEN.htm"),
                 qPrintable(help));
        QCOMPARE(run(dir.exe(), {"--foo", "--version"}, env), kVersion);
    }

    // Each built file under ~/.local/opt, a valid menu entry starting it;
    // installing again and uninstalling keep the user's parameters, and
    // without them nothing at all is left.
    void theInstallForOneUserPutsEachFileInPlaceAndTakesItAway() {
        for (const QString tool : {"rsvg-convert", "desktop-file-validate", "bash"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                QSKIP(qPrintable(tool + " is not installed (scripts/install-deps.sh installs it)"));
            }
        }
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.remove("XDG_DATA_HOME");
        env.remove("VELMORADO_PREFIX");
        const QStringList install{VELMORADO_SOURCE_DIR "/scripts/install.sh", "--from", kBin};
        const QStringList uninstall{install[0], "--uninstall"};
        QCOMPARE(run("bash", install, env).first, 0);
        const QString prefix = home.filePath(".local/opt/velmorado");
        QStringList expected{"velmorado", "rar", "VelmoradoHelpEN.htm", "VelmoradoHelpFR.htm"};
        expected << (QFileInfo::exists(kBin + "/net") ? QStringList{"net"} : QStringList{});
        for (const QString& image : QDir(kBin + "/help-images").entryList(QDir::Files)) {
            expected << "help-images/" + image;
        }
        QVERIFY(expected.size() > 4);
        for (const QString& name : expected) {
            QVERIFY2(readFile(prefix + '/' + name) == readFile(kBin + '/' + name),
                     qPrintable(name));
            QCOMPARE(QFileInfo(prefix + '/' + name).isExecutable(),
                     name == "velmorado" || name == "rar" || name == "net");
        }
        const QString desktop = home.filePath(".local/share/applications/velmorado.desktop");
        const QString entry = QString::fromUtf8(readFile(desktop));
        QVERIFY2(entry.contains("\nExec=\"" + prefix + "/velmorado\"\n") &&
                     entry.contains("\nIcon=velmorado\n") && entry.contains("\nName=Velmorado\n"),
                 qPrintable(entry));
        QCOMPARE(run("desktop-file-validate", {desktop}, env).first, 0);
        QCOMPARE(run(prefix + "/velmorado", {"--version"}, env), kVersion);
        const QByteArray parameters = "[Configuration]\nLangue=1\n";
        QVERIFY(filekit::writeFile(prefix + "/Velmorado.ini", parameters));
        QCOMPARE(run("bash", install, env).first, 0);
        QCOMPARE(readFile(prefix + "/Velmorado.ini"), parameters);
        const auto [code, said] = run("bash", uninstall, env);
        QCOMPARE(code, 0);
        for (const char* folder : {".", ".local", ".local/opt", ".local/opt/velmorado"}) {
            QCOMPARE(filekit::entries(home.filePath(folder)).size(), 1); // down to Velmorado.ini
        }
        QVERIFY2(said.contains("Velmorado.ini"), qPrintable(said));
        // Gone with the folders that held it, a fresh install leaves nothing.
        QVERIFY(QDir(home.filePath(".local")).removeRecursively());
        QCOMPARE(run("bash", install, env).first, 0);
        QCOMPARE(run("bash", uninstall, env).first, 0);
        QCOMPARE(filekit::entries(home.path()), QStringList());
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
