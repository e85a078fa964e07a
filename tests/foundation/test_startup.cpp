// Start-up and shutdown of the main window, in this process and as real
// processes of the built executable.
#include "app/Startup.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "platform/SingleInstance.h"
#include "platform/SystemInfo.h"
#include "ui/main/Dialogs.h"
#include "ui/main/frmKestrune.h"
#include "ui/main/frmSplash.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "ProgramFolderKit.h"

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using programkit::ProgramFolder;
using ui::frmKestrune;
using ui::ScriptedDialogs;

namespace {

const QString kBin = QStringLiteral(VELMORADO_BIN_DIR);

// True when process pid holds a flock on path (from /proc/locks).
bool holdsFlock(qint64 pid, const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray inode = ":" + QByteArray::number(qulonglong(st.st_ino)) + " ";
    const QByteArray owner = " " + QByteArray::number(pid) + " ";
    for (const QByteArray& line : locks.readAll().split('\n')) {
        if (line.contains("FLOCK") && line.contains(owner) && line.contains(inode)) {
            return true;
        }
    }
    return false;
}

// Receives what processes write to the system log, where the machine has
// none (no /dev/log) and the test runs as root: it stands in for the system
// log's socket while it lives. Otherwise it is inactive.
class SyslogCatcher {
public:
    SyslogCatcher() {
        struct stat st {};
        if (::geteuid() != 0 || ::lstat("/dev/log", &st) == 0) {
            return;
        }
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~SyslogCatcher() {
        if (m_fd >= 0) {
            ::unlink("/dev/log");
            ::close(m_fd);
        }
    }
    SyslogCatcher(const SyslogCatcher&) = delete;
    SyslogCatcher& operator=(const SyslogCatcher&) = delete;
    bool active() const { return m_fd >= 0; }
    // Every message received so far, one per line.
    QByteArray received() {
        char buf[4096];
        for (ssize_t n; (n = ::recv(m_fd, buf, sizeof buf, 0)) > 0;) {
            m_received += QByteArray(buf, int(n)) + '\n';
        }
        return m_received;
    }

private:
    int m_fd = -1;
    QByteArray m_received;
};

ScriptedDialogs* scripted(QStringList answers = {}) {
    auto d = std::make_unique<ScriptedDialogs>(std::move(answers));
    ScriptedDialogs* raw = d.get();
    ui::setDialogs(std::move(d));
    return raw;
}

QString actionText(QWidget* w, const char* name) {
    auto* a = w->findChild<QAction*>(QString::fromLatin1(name));
    return a ? a->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captionHasProductComputerUserAndSystem() {
        QCOMPARE(app::buildCaption(QStringLiteral(" host "),
                                   QString(QStringLiteral("ann")) + QChar(0),
                                   QStringLiteral("Linux v.6.1, Build 0")),
                 QStringLiteral("Velmorado 1.0c   host; ann; Linux v.6.1, Build 0"));
        QCOMPARE(app::buildCaption(QString(), QString(), QString()),
                 QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(platform::osDescription(
                     QStringLiteral("6.1.0-13-amd64"),
                     platform::prettyNameFromOsRelease(QStringLiteral(
                         "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"))),
                 QStringLiteral("Linux v.6.1, Build 0, Debian GNU/Linux 12 (bookworm)"));
        QCOMPARE(platform::osDescription(QStringLiteral("5.15.148"), QString()),
                 QStringLiteral("Linux v.5.15, Build 148"));

        ProgramFolder dir;
        scripted();
        frmKestrune w(dir.path());
        QVERIFY(w.load());
        static const QRegularExpression shape(QStringLiteral(
            "^Velmorado 1\\.0c   [^;]+; [^;]+; Linux v\\.\\d+\\.\\d+, Build \\d+(, .+)?$"));
        QVERIFY2(shape.match(w.windowTitle()).hasMatch(), qPrintable(w.windowTitle()));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblOvelo"))->text(),
                 QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(w.trayTip(), QStringLiteral("Velmorado 1.0c"));
        QVERIFY(engine::state().stopped);
    }

    // Closing and No: test_main_window.
    void exitAnsweredYesEndsTheProgramWithStatusZero() {
        ProgramFolder dir;
        ScriptedDialogs* d = scripted({QStringLiteral("yes")});
        frmKestrune w(dir.path());
        QVERIFY(w.load());
        QSignalSpy ending(&w, &frmKestrune::programEnding);
        w.findChild<QAction*>(QStringLiteral("mnuQuitter"))->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("question"));
        QCOMPARE(ending.count(), 1);
        QCOMPARE(ending.first().first().toInt(), 0);
    }

    void settingsShowInTheWindow() {
        ProgramFolder dir;
        QVERIFY(dir.writeIni("[Configuration]\r\nLangue=1\r\nAfficherFichiers=1\r\n"
                             "VoirConsoleRar=1\r\nErreurDossierSon=1\r\nTemporisation=1\r\n"
                             "[Logs]\r\nPurgeLogs=1\r\n"));
        ScriptedDialogs* d = scripted({QStringLiteral("no")});
        frmKestrune w(dir.path());
        QVERIFY(w.load());
        QVERIFY(w.findChild<QListWidget*>(QStringLiteral("lstFichiersSources"))->isVisible());
        QVERIFY(!w.findChild<QGroupBox*>(QStringLiteral("frameLegende"))->isVisible());
        for (const char* checked : {"mnuAfficherFichiers", "mnuVoirConsoleRAR", "mnuDossierErr",
                                    "mnuPurgeLogs", "mnuFrancais"}) {
            QVERIFY2(w.findChild<QAction*>(QString::fromLatin1(checked))->isChecked(), checked);
        }
        for (const char* unchecked :
             {"mnuAutomatique", "mnuArretAutomatique", "mnuDefinirLogs", "mnuAnglais"}) {
            QVERIFY2(!w.findChild<QAction*>(QString::fromLatin1(unchecked))->isChecked(),
                     unchecked);
        }
        QCOMPARE(actionText(&w, "mnuQuitter"), QStringLiteral("&Quitter"));
        QCOMPARE(actionText(&w, "mnuDemarrer"),
                 QStringLiteral("&Démarrer la compression/décompression"));
        QCOMPARE(w.findChild<QProgressBar*>(QStringLiteral("ProgressBarAttente"))->maximum(), 1);
        w.findChild<QAction*>(QStringLiteral("mnuQuitter"))->trigger();
        QCOMPARE(d->shown.last().text, QStringLiteral("Quitter le programme"));
    }

    void withoutTheArchiverProcessingCannotStart() {
        ProgramFolder dir(programkit::Programs{});
        QVERIFY(dir.writeIni("[Configuration]\r\nAutomatique=1\r\n"));
        ScriptedDialogs* d = scripted();
        frmKestrune w(dir.path());
        QVERIFY(w.load());
        QVERIFY(!w.rarAvailable());
        QCOMPARE(d->shown.size(), 1);
        QCOMPARE(d->shown.first().icon, ui::Dialogs::Icon::Critical);
        QCOMPARE(d->shown.first().title, QStringLiteral("Velmorado - 1.0c"));
        QCOMPARE(d->shown.first().text,
                 QStringLiteral("WinRar not installed\n\nVelmorado cannot run"));
        QVERIFY(!w.findChild<QToolButton*>(QStringLiteral("cmdMiroir"))->isEnabled());
        QVERIFY(!w.findChild<QAction*>(QStringLiteral("mnuDemarrer"))->isEnabled());
        // No automatic start: the window stays up and processing stays stopped.
        QVERIFY(w.isVisible());
        QVERIFY(!(w.windowState() & Qt::WindowMinimized));
        QVERIFY(engine::state().stopped);
    }

    void theStartUpNoticeGivesTheWindowBack() {
        ProgramFolder dir;
        QVERIFY(dir.writeIni("[Configuration]\r\nAutomatique=1\r\nArretAutomatique=1\r\n"
                             "Langue=1\r\n"));
        scripted();
        frmKestrune w(dir.path());
        QVERIFY(w.load());
        ui::frmSplash* notice = w.splash();
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->message(),
                 QStringLiteral("Appuyer sur la touche 'Esc' pour afficher la fenêtre principale"));
        QVERIFY(!notice->testAttribute(Qt::WA_WState_Hidden));
        QVERIFY(w.isMinimized() || !w.isVisible());

        // Any key: the program no longer ends after its first pass, for this run only.
        QTest::keyClick(notice, Qt::Key_A);
        QVERIFY(!notice->isVisible());
        QVERIFY(!config::settings().arretAutomatique);
        QVERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
        QCOMPARE(config::ReadSettingFrom(dir.ini(), QStringLiteral("Configuration"),
                                         QStringLiteral("ArretAutomatique")),
                 QStringLiteral("1"));

        // As the message window, a click closes it and changes nothing else.
        w.showMessageWindow(QStringLiteral("14:03:27 - Unknown source folder"));
        QVERIFY(notice->isVisible());
        QVERIFY(notice->windowFlags() & Qt::WindowStaysOnTopHint);
        QTest::mouseClick(notice->findChild<QLabel*>(QStringLiteral("lblMessage")), Qt::LeftButton);
        QVERIFY(!notice->isVisible());
    }

    // Without a screen nobody can answer a box: a fatal message goes to
    // standard error (and the system log) and the program ends at once with
    // a non-zero status, freeing its lock. Files beside the program that it
    // cannot read (a pipe would hang it, a device never end) are fatal too.
    void fatalMessagesWithoutAScreenEndTheProgram_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // "<fifo>", "<zero>" or the text
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Invalid hexa string in the parameters file");
        QTest::newRow("odd length")
            << "Velmorado.w" << QByteArray("\"4100\",\"42004\"\r\n") << invalid;
        QTest::newRow("not hexadecimal")
            << "Velmorado.w" << QByteArray("\"41005A5AZZZZ\",\"4200\"\r\n") << invalid;
        QTest::newRow("list file is a pipe")
            << "Velmorado.w" << QByteArray("<fifo>") << QStringLiteral("It is not a regular file");
        QTest::newRow("parameters file is a pipe") << "Velmorado.ini" << QByteArray("<fifo>")
                                                   << QStringLiteral("It is not a regular file");
        QTest::newRow("parameters file is /dev/zero") << "Velmorado.ini" << QByteArray("<zero>")
                                                      << QStringLiteral("It is not a regular file");
    }
    void fatalMessagesWithoutAScreenEndTheProgram() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        ProgramFolder dir({"velmorado", "rar"});
        const QString path = dir.filePath(file);
        if (content == "<fifo>") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (content == "<zero>") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        }
        QProcessEnvironment env = programkit::environment();
        env.remove(QStringLiteral("VELMORADO_DIALOG_ANSWERS")); // the real message box
        SyslogCatcher systemLog;
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(dir.exe(), {});
        const bool ended = program.waitForFinished(20000);
        if (!ended) {
            program.kill();
            program.waitForFinished(10000);
        }
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(ended, qPrintable("still running after 20 s: " + err));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(program.exitCode() != 0);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY2(err.contains(path), qPrintable(err));
        if (!systemLog.active()) {
            QSKIP("the system log is checked only as root on a machine without one (/dev/log)");
        }
        const QString logged = QString::fromUtf8(systemLog.received());
        QVERIFY2(logged.contains(QStringLiteral("Velmorado[")) && logged.contains(message),
                 qPrintable(logged));
    }

    // Start-up clears what killed writes of the parameters and list files
    // left beside the program (the rules are in test_parameters), and only that.
    void startUpClearsStaleWriteTemporaries() {
        ProgramFolder dir;
        QVERIFY(dir.writeIni("[Configuration]\r\nLangue=0\r\n"));
        for (const char* name :
             {".Velmorado.ini.Ab12Cd", ".Velmorado.w.x9Y8z7", ".Velmorado.ini.notes"}) {
            QVERIFY(filekit::writeFile(dir.filePath(QString::fromLatin1(name)), "left"));
        }
        scripted();
        {
            frmKestrune w(dir.path());
            QVERIFY(w.load());
        }
        const QStringList left = QDir(dir.path())
                                     .entryList(QDir::Hidden | QDir::Files, QDir::Name)
                                     .filter(QStringLiteral(".Velmorado"));
        QCOMPARE(left, QStringList({".Velmorado.ini.notes"}));
    }

    void aSecondProcessIsRefusedInItsLanguage_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("message");
        QTest::newRow("no language") << QByteArray() << QStringLiteral("Program already running");
        QTest::newRow("French") << QByteArray("[Configuration]\nLangue=1\n")
                                << QStringLiteral("Programme déjà lancé");
        QTest::newRow("other value") << QByteArray("[Configuration]\nLangue=2\n")
                                     << QStringLiteral("Program already running");
    }
    void aSecondProcessIsRefusedInItsLanguage() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, message);
        ProgramFolder dir({"velmorado", "rar"});
        const QProcessEnvironment env = programkit::environment();

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(dir.exe(), {});
        QVERIFY(first.waitForStarted());
        // Wait until the first copy holds its lock, as the kernel's lock table
        // shows it (taking the lock here to look would race with it).
        const QString lockFile = platform::SingleInstance(dir.path()).lockFilePath();
        QDeadlineTimer deadline(60000);
        bool held = false;
        while (!held && !deadline.hasExpired() && first.state() == QProcess::Running) {
            held = holdsFlock(first.processId(), lockFile);
            if (!held) {
                QTest::qWait(50);
            }
        }
        QVERIFY2(held, "the first copy never took its lock");

        if (!ini.isEmpty()) {
            QVERIFY(dir.writeIni(ini));
        }
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(dir.exe(), {});
        QVERIFY(second.waitForFinished(30000));
        const QString err = QString::fromUtf8(second.readAllStandardError());
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("velmorado-dialog: message: Velmorado: ") + message),
                 qPrintable(err));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished(10000);
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
