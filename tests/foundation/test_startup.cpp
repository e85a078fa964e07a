// Start-up: the sequence of app::Application through a recording window, and
// the built executable's fatal ends.
#include "config/FolderPairs.h"
#include "engine/Scheduler.h"
#include "platform/SingleInstance.h"
#include "service/ServiceControl.h"

#include "../engine/EngineTestKit.h"
#include "UiTestKit.h"

namespace {

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
    bool askYesNo(const QString&) override { return false; }
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
    // What start-up does to the window, and whether processing starts: by
    // hand, automatic (with its notice when ending after the first pass),
    // refused without pairs or archiver; a second copy refused in its
    // language before it touches anything.
    void theSequenceInOrder_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("setup");    // "pair", "rar", "lock" (another copy runs)
        QTest::addColumn<QStringList>("tail"); // the calls after "prepare"
        const QStringList opened{"caption", "application", "settings", "window"};
        const QByteArray automatic = "[Configuration]\r\nAutomatique=1\r\n";
        const QString refused = "exclamation Velmorado: ";
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
            << opened.mid(0, 3) + QStringList{"critical Velmorado - 1.0c: WinRar not installed\n\n"
                                              "Velmorado cannot run",
                                              "window, no start"};
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
        const bool lock = setup.contains("lock");
        programkit::ProgramFolder dir(setup.contains("rar") ? programkit::Programs{"rar"}
                                                            : programkit::Programs{});
        QVERIFY(ini.isEmpty() || dir.writeIni(ini));
        QVERIFY(!setup.contains("pair") ||
                dir.writePairs({{dir.folder("source"), dir.folder("target")}}));
        // Killed writes' leftovers (held by nobody) go at start; look-alikes stay.
        const QStringList left{".Velmorado.ini.Ab12Cd", ".Velmorado.ini.notes",
                               ".Velmorado.w.Ab12Cd7", ".Velmorado.w.x9Y8z7"};
        for (const QString& name : left) {
            QVERIFY(filekit::writeFile(dir.filePath(name), "left"));
        }
        platform::SingleInstance other(dir.path());
        QVERIFY(!lock || other.acquire());
        engine::state().stopped = false; // what a run before this one may leave
        RecordingWindow w;
        app::Application a(w, dir.path());
        QCOMPARE(a.start(), !lock);
        QCOMPARE(a.exitCode(), lock ? 1 : 0);
        QCOMPARE(w.calls, QStringList{"prepare"} + tail);
        QCOMPARE(engine::state().stopped, !lock && !tail.contains("running"));
        QCOMPARE(filekit::entries(dir.path()).filter(".Velmorado."), lock ? left : left.mid(1, 2));
    }

    // Without a screen nobody can answer a box: a fatal message goes to
    // standard error and the program ends at once. Files beside it that it
    // cannot read (a pipe would hang it, a device never end) are fatal too.
    void fatalMessagesWithoutAScreenEndTheProgram_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // "<fifo>", "<zero>" or the text
        QTest::addColumn<QString>("message");
        const QString notRegular = "It is not a regular file";
        QTest::newRow("odd length") << "Velmorado.w" << QByteArray("\"4100\",\"42004\"\r\n")
                                    << "Invalid hexa string in the parameters file";
        QTest::newRow("list file is a pipe") << "Velmorado.w" << QByteArray("<fifo>") << notRegular;
        QTest::newRow("parameters file is /dev/zero")
            << "Velmorado.ini" << QByteArray("<zero>") << notRegular;
    }
    void fatalMessagesWithoutAScreenEndTheProgram() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        programkit::ProgramFolder dir({"velmorado", "rar"});
        const QString path = dir.filePath(file);
        QVERIFY(content == "<fifo>"   ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                : content == "<zero>" ? QFile::link("/dev/zero", path)
                                      : filekit::writeFile(path, content));
        QProcess program; // with this process's environment: offscreen, boxes shown
        program.start(dir.exe(), {});
        const bool ended = program.waitForFinished(20000); // else killed as program goes
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(ended && program.exitStatus() == QProcess::NormalExit, qPrintable(err));
        QVERIFY(program.exitCode() != 0);
        QVERIFY2(err.contains(message) && err.contains(path), qPrintable(err));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
