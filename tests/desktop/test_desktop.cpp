// The program as a desktop user meets it: a second copy that brings the first
// one's window to the front, --help and --version, and the install for one
// user into a temporary home.
#include "app/Application.h"
#include "platform/SingleInstance.h"
#include "ui/main/Dialogs.h"
#include "ui/main/frmKestrune.h"

#include <QApplication>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include "FileKit.h"
#include "ProgramFolderKit.h"

using filekit::readFile;
using programkit::ProgramFolder;

namespace {

const QString kBin = QStringLiteral(VELMORADO_BIN_DIR);
const QString kSource = QStringLiteral(VELMORADO_SOURCE_DIR);

// Every file and folder under a folder, relative to it, sorted.
QStringList tree(const QString& root) {
    QStringList all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        all << QDir(root).relativeFilePath(it.next());
    }
    all.sort();
    return all;
}

// Runs a program to its end: its exit code (-1 when it did not end normally)
// and, in output, what it wrote to either channel.
int run(const QString& program, const QStringList& args, const QProcessEnvironment& env,
        QString* output = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool done = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    if (output) {
        *output = QString::fromUtf8(p.readAll());
    }
    return done ? p.exitCode() : -1;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The first copy is this process's window on a program folder that also
    // holds a copy of the executable; the second is that executable. The
    // first copy answers from its event loop, so this one must run.
    void aSecondCopyBringsTheFirstOnesWindowToTheFront() {
        ProgramFolder dir({"velmorado", "rar"});
        ui::setDialogs(std::make_unique<ui::ScriptedDialogs>());
        ui::frmKestrune first(dir.path());
        app::Application firstApp(first, dir.path());
        QVERIFY(firstApp.start());
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(!first.close()); // put away in the tray, or minimised
        QTRY_VERIFY(!first.isVisible() || (first.windowState() & Qt::WindowMinimized));
        QProcess second;
        second.setProcessEnvironment(programkit::environment());
        second.start(dir.exe(), {});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(first.isVisible() && !(first.windowState() & Qt::WindowMinimized));
    }

    // What a killed copy leaves: a socket file that nobody listens on. The
    // holder of the lock takes it over; a copy without the lock never does.
    void aSocketLeftByACopyThatDiedIsTakenOver() {
        ProgramFolder dir({"velmorado"});
        platform::SingleInstance holder(dir.path());
        QVERIFY(filekit::writeFile(holder.socketPath(), "stale"));
        QVERIFY(holder.acquire());
        int raised = 0;
        QVERIFY(holder.listen([&raised] { ++raised; }));
        platform::SingleInstance other(dir.path());
        QVERIFY(!other.acquire() && !other.listen([] {}));
        QProcess second;
        second.setProcessEnvironment(programkit::environment());
        second.start(dir.exe(), {});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(raised, 1);
    }

    // With no display of any kind, and another copy holding the folder's
    // lock, the answers come all the same, and nothing else.
    void helpAndVersionAnswerWithoutAWindow() {
        ProgramFolder dir({"velmorado"});
        platform::SingleInstance running(dir.path());
        QVERIFY(running.acquire());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            env.remove(display);
        }
        QString out;
        QCOMPARE(run(dir.exe(), {"--help"}, env, &out), 0);
        QVERIFY2(out.startsWith("Usage: velmorado [--help | --version]\n") &&
                     out.contains("VelmoradoHelpEN.htm"),
                 qPrintable(out));
        for (const QStringList& args :
             {QStringList{"--version"}, QStringList{"--foo", "--version"}}) {
            QCOMPARE(run(dir.exe(), args, env, &out), 0);
            QCOMPARE(out, "Velmorado 1.0c\n");
        }
    }

    // Each built file in the program folder under ~/.local/opt, the menu
    // entry (valid, starting the installed program); installing again and uninstalling keep the
    // user's parameters, and without them nothing at all is left.
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
        const QString script = kSource + "/scripts/install.sh";
        QString said;
        QCOMPARE(run("bash", {script, "--from", kBin}, env, &said), 0);
        const QString prefix = home.filePath(".local/opt/velmorado");
        const QString share = home.filePath(".local/share");
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
        const QString desktop = share + "/applications/velmorado.desktop";
        const QString entry = QString::fromUtf8(readFile(desktop));
        QVERIFY2(entry.contains("\nExec=\"" + prefix + "/velmorado\"\n") &&
                     entry.contains("\nIcon=velmorado\n") && entry.contains("\nName=Velmorado\n"),
                 qPrintable(entry));
        QCOMPARE(run("desktop-file-validate", {desktop}, env, &said), 0);
        QCOMPARE(run(prefix + "/velmorado", {"--version"}, env, &said), 0);
        QCOMPARE(said, "Velmorado 1.0c\n");
        QVERIFY(filekit::writeFile(prefix + "/Velmorado.ini", "[Configuration]\nLangue=1\n"));
        QCOMPARE(run("bash", {script, "--from", kBin}, env), 0);
        QCOMPARE(readFile(prefix + "/Velmorado.ini"), "[Configuration]\nLangue=1\n");
        QCOMPARE(run("bash", {script, "--uninstall"}, env, &said), 0);
        QCOMPARE(tree(home.path()), (QStringList{".local", ".local/opt", ".local/opt/velmorado",
                                                 ".local/opt/velmorado/Velmorado.ini"}));
        QVERIFY2(said.contains("Velmorado.ini"), qPrintable(said));
        QVERIFY(QFile::remove(prefix + "/Velmorado.ini"));
        QCOMPARE(run("bash", {script, "--from", kBin}, env), 0);
        QCOMPARE(run("bash", {script, "--uninstall"}, env), 0);
        QCOMPARE(tree(home.path()), QStringList());
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop.moc"
