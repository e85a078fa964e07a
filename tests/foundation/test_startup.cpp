// Start-up and shutdown: the sequence of app::Application through a
// recording window, the main window it opens, and the built executable.
#include "app/Application.h"
#include "app/MainWindowPort.h"
#include "app/Startup.h"
#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "engine/WindowPort.h"
#include "platform/SingleInstance.h"
#include "platform/SystemInfo.h"
#include "service/ServiceControl.h"
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
#include <QToolButton>
#include <QtTest>

#include "ProgramFolderKit.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using programkit::ProgramFolder;
using ui::frmKestrune;
using ui::ScriptedDialogs;

namespace {

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

// The main window as start-up and the scheduler see it: what they do to it, in order.
class RecordingWindow : public app::MainWindowPort, public engine::WindowPort {
public:
    QStringList calls;
    service::ServiceControl control;
    engine::Scheduler processing{*this};

    void prepare() override { calls << "prepare"; }
    void setCaption(const QString&) override { calls << "caption"; }
    void restoreWindow() override { calls << "restore"; }
    void showRunMode(bool service) override { calls << (service ? "service" : "application"); }
    void applySettings() override { calls << "settings"; }
    void showWindow(bool canStart) override {
        config::LoadFolderPairs(); // the grid's fill, which the scheduler starts from
        calls << (canStart ? "window" : "window, no start");
    }
    void minimiseToTray() override { calls << "tray"; }
    void showStartNotice() override { calls << "notice"; }
    void showMessage(Box box, const QString& title, const QString& text) override {
        calls << (box == Box::Critical ? "critical " : "exclamation ") + title + ": " + text;
    }
    bool askYesNo(const QString& question) override {
        calls << "question " + question;
        return false;
    }
    bool hasScreen() const override { return false; }
    void removeTrayIcon() override { calls << "no tray"; }
    void leaveEventLoop() override { calls << "leave"; }
    service::ServiceControl& serviceControl() override { return control; }
    engine::Scheduler& scheduler() override { return processing; }

    void showRunningState(bool running) override { calls << (running ? "running" : "stopped"); }
    void endProgram() override { calls << "end"; }
    void setLabelText(engine::Control, const QString&) override {}
    void setBarValue(engine::Control, int) override {}
    void setBarRange(engine::Control, int, int) override {}
    void setControlEnabled(engine::Control, bool) override {}
    void setTimerOn(bool) override {}
    void setTrayTip(const QString&) override {}
    int selectedPairNumber() const override { return 0; }
    void refreshFileList(int, const QString&) override {}
    void showMessageWindow(const QString&) override {}
    void beep() override {}
    void restoreIfMinimised() override {}
    void processEvents() override {}
    void setWaitingSummary(const QString&) override {}
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { engine::state().stopped = true; }

    // What start-up does to the window, and whether processing starts: the
    // automatic start (and its notice when the program ends after the first
    // pass), the refusal of a start without pairs or without the archiver,
    // and a second copy refused in its language before it touches anything.
    void theSequenceInOrder_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("setup");    // "pair", "rar", "lock" (another copy runs)
        QTest::addColumn<QStringList>("tail"); // the calls after "prepare"
        const QStringList opened{"caption", "application", "settings", "window"};
        const QByteArray automatic = "[Configuration]\r\nAutomatique=1\r\n";
        QTest::newRow("by hand") << QByteArray() << "pair rar" << opened;
        QTest::newRow("automatic start")
            << automatic << "pair rar" << opened + QStringList{"tray", "running"};
        QTest::newRow("automatic start, no pair")
            << automatic << "rar" << opened + QStringList{"tray"};
        QTest::newRow("automatic start, ends after the first pass")
            << automatic + "ArretAutomatique=1\r\n"
            << "pair rar" << opened + QStringList{"tray", "notice", "running", "end"};
        QTest::newRow("automatic start, no archiver")
            << automatic << "pair"
            << QStringList{
                   "caption", "application", "settings",
                   "critical Velmorado - 1.0c: WinRar not installed\n\nVelmorado cannot run",
                   "window, no start"};
        const QString refused = QStringLiteral("exclamation Velmorado: ");
        QTest::newRow("second copy")
            << QByteArray() << "pair rar lock" << QStringList{refused + "Program already running"};
        QTest::newRow("second copy, French")
            << QByteArray("[Configuration]\nLangue=1\n") << "rar lock"
            << QStringList{refused + "Programme déjà lancé"};
        QTest::newRow("second copy, other language")
            << QByteArray("[Configuration]\nLangue=2\n") << "rar lock"
            << QStringList{refused + "Program already running"};
    }
    void theSequenceInOrder() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, setup);
        QFETCH(QStringList, tail);
        const bool lock = setup.contains(QStringLiteral("lock"));
        ProgramFolder dir(setup.contains(QStringLiteral("rar")) ? programkit::Programs{"rar"}
                                                                : programkit::Programs{});
        QVERIFY(ini.isEmpty() || dir.writeIni(ini));
        if (setup.contains(QStringLiteral("pair"))) {
            QVERIFY(dir.writePairs({{dir.folder("source"), dir.folder("target")}}));
        }
        // What killed writes of the parameters and list files left: cleared
        // by the copy that runs (the rules are in test_parameters), and only that.
        for (const char* name :
             {".Velmorado.ini.Ab12Cd", ".Velmorado.w.x9Y8z7", ".Velmorado.ini.notes"}) {
            QVERIFY(filekit::writeFile(dir.filePath(QString::fromLatin1(name)), "left"));
        }
        platform::SingleInstance other(dir.path());
        QVERIFY(!lock || other.acquire());
        engine::state().stopped = false; // what a run before this one may leave

        RecordingWindow w;
        app::Application a(w, dir.path());
        QCOMPARE(a.start(), !lock);
        QCOMPARE(a.exitCode(), lock ? 1 : 0);
        QCOMPARE(w.calls, QStringList{"prepare"} + tail);
        QCOMPARE(engine::state().stopped, !lock && !tail.contains(QStringLiteral("running")));
        const QStringList left = QDir(dir.path())
                                     .entryList(QDir::Hidden | QDir::Files, QDir::Name)
                                     .filter(QStringLiteral(".Velmorado."));
        QCOMPARE(left.size(), lock ? 3 : 1);
        QVERIFY(left.contains(QStringLiteral(".Velmorado.ini.notes")));
    }

    void theCaptionNamesTheProductComputerUserAndSystem() {
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
    }

    // The window once started: its caption, the settings as it shows them (in
    // French, without the archiver), and the end through its Exit entry.
    void theWindowShowsTheSettingsAndExitEnds() {
        ProgramFolder dir(programkit::Programs{});
        QVERIFY(dir.writeIni("[Configuration]\r\nLangue=1\r\nAfficherFichiers=1\r\n"
                             "VoirConsoleRar=1\r\nErreurDossierSon=1\r\nTemporisation=1\r\n"
                             "[Logs]\r\nPurgeLogs=1\r\n"));
        ScriptedDialogs* d = scripted({QStringLiteral("yes")});
        frmKestrune w(dir.path());
        app::Application a(w, dir.path());
        QVERIFY(a.start());
        static const QRegularExpression shape(QStringLiteral(
            "^Velmorado 1\\.0c   [^;]+; [^;]+; Linux v\\.\\d+\\.\\d+, Build \\d+(, .+)?$"));
        QVERIFY2(shape.match(w.windowTitle()).hasMatch(), qPrintable(w.windowTitle()));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblOvelo"))->text(),
                 QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(w.trayTip(), QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(d->shown.size(), 1);
        QCOMPARE(d->shown.first().icon, ui::Dialogs::Icon::Critical);
        QCOMPARE(d->shown.first().text,
                 QStringLiteral("WinRar n'est pas installé\n\nVelmorado ne peut pas fonctionner"));
        QVERIFY(!w.findChild<QToolButton*>(QStringLiteral("cmdMiroir"))->isEnabled());
        QVERIFY(!w.findChild<QAction*>(QStringLiteral("mnuDemarrer"))->isEnabled());
        QVERIFY(w.isVisible() && !(w.windowState() & Qt::WindowMinimized));
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
        QCOMPARE(w.findChild<QAction*>(QStringLiteral("mnuQuitter"))->text(),
                 QStringLiteral("&Quitter"));
        QCOMPARE(w.findChild<QProgressBar*>(QStringLiteral("ProgressBarAttente"))->maximum(), 1);
        // Exit, answered Yes, ends the program with status 0.
        QSignalSpy ending(&w, &frmKestrune::programEnding);
        w.findChild<QAction*>(QStringLiteral("mnuQuitter"))->trigger();
        QCOMPARE(d->shown.last().text, QStringLiteral("Quitter le programme"));
        QCOMPARE(ending.count(), 1);
        QCOMPARE(ending.first().first().toInt(), 0);
    }

    void theStartUpNoticeGivesTheWindowBack() {
        ProgramFolder dir;
        QVERIFY(dir.writeIni("[Configuration]\r\nAutomatique=1\r\nArretAutomatique=1\r\n"
                             "Langue=1\r\n"));
        scripted();
        frmKestrune w(dir.path());
        app::Application a(w, dir.path());
        QVERIFY(a.start());
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
        QTest::newRow("list file is a pipe")
            << "Velmorado.w" << QByteArray("<fifo>") << QStringLiteral("It is not a regular file");
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
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
