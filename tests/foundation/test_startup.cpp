// Start-up and shutdown: the sequence of app::Application through a
// recording window, the main window it opens, and the built executable.
#include "app/Application.h"
#include "app/MainWindowPort.h"
#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "platform/SingleInstance.h"
#include "service/ServiceControl.h"
#include "ui/main/Dialogs.h"
#include "ui/main/frmKestrune.h"
#include "ui/main/frmSplash.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "../engine/EngineTestKit.h"
#include "ProgramFolderKit.h"

#include <sys/stat.h>

using programkit::ProgramFolder;
using ui::frmKestrune;
using ui::ScriptedDialogs;

namespace {

ScriptedDialogs* scripted(QStringList answers = {}) {
    auto d = std::make_unique<ScriptedDialogs>(std::move(answers));
    ScriptedDialogs* raw = d.get();
    ui::setDialogs(std::move(d));
    return raw;
}

// The main window as start-up and the scheduler see it: what they do to it, in order.
class RecordingWindow : public app::MainWindowPort, public kit::Recorder {
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

    void showRunningState(bool on) override { calls << (on ? "running" : "stopped"); }
    void endProgram() override { calls << "end"; }
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
        QVERIFY(w.isMinimized() || !w.isVisible());

        // Any key: the program no longer ends after its first pass, for this run only.
        QTest::keyClick(notice, Qt::Key_A);
        QVERIFY(!notice->isVisible());
        QVERIFY(!config::settings().arretAutomatique);
        QVERIFY(w.isVisible() && !w.isMinimized());
        QCOMPARE(config::ReadSettingFrom(dir.ini(), QStringLiteral("Configuration"),
                                         QStringLiteral("ArretAutomatique")),
                 QStringLiteral("1"));
    }

    // Without a screen nobody can answer a box: a fatal message goes to
    // standard error and the program ends at once with
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
