// Start-up: the sequence of app::Application through a recording window, and
// the built executable's fatal ends.
#include "app/Startup.h"
#include "config/FolderPairs.h"
#include "engine/Scheduler.h"
#include "platform/SingleInstance.h"
#include "service/ServiceControl.h"

#include "../engine/EngineTestKit.h"
#include "../service/ServiceTestKit.h"
#include "UiTestKit.h"

#include <sys/stat.h>

namespace {

// The main window as start-up and the scheduler see it: what they do to it, in order.
class RecordingWindow : public app::MainWindowPort, public kit::Recorder {
public:
    QStringList calls;
    service::ServiceControl control;
    engine::Scheduler processing{*this};

    void prepare() override { calls << "prepare"; }
    void setCaption(const QString&) override { calls << "caption"; }
    void raiseOnRequest(const QString&, const QString&) override { calls << "restore"; }
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
    bool screen = true; // boxes answered
    bool hasScreen() const override { return screen; }
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
        QCOMPARE(a.exitCode(), lock ? app::kExitAnotherCopyRuns : 0);
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
        // With this process's environment: offscreen, boxes shown.
        const filekit::Result r = filekit::run(dir.exe(), {});
        const QString err = QString::fromUtf8(r.output.mid(r.out.size()));
        QVERIFY2(r.code > 0 && err.contains(message) && err.contains(path), qPrintable(err));
    }
    // Where nobody can answer a box (no display, so the offscreen platform),
    // a start that cannot go on says why on standard error and in the system
    // log and ends at once with a status of its own. Nothing else reaches
    // standard error: none of Qt's remarks (the runtime folder it would pick,
    // what its offscreen plugin cannot do), with XDG_RUNTIME_DIR unset.
    void unattendedStartsEndWithTheirOwnStatus_data() {
        QTest::addColumn<QString>("setup"); // "lock", "no rar", "service", "pass"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("another copy runs") << "lock" << 4 << "Programme déjà lancé";
        QTest::newRow("no archiver") << "no rar" << 5 << "WinRar n'est pas installé";
        QTest::newRow("service installed, started by hand")
            << "service" << 6 << "Velmorado Service installé (voir 'systemctl";
        QTest::newRow("one pass, then the automatic stop") << "pass" << 0 << QString();
    }
    void unattendedStartsEndWithTheirOwnStatus() {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QString, message);
        servicetest::FakeSystemd systemd; // the system log in a file, and the unit
        if (setup == "service") {
            systemd.registerService();
        }
        programkit::ProgramFolder dir(setup == "no rar" ? programkit::Programs{"velmorado"}
                                                        : programkit::Programs{"velmorado", "rar"});
        QVERIFY(dir.writeIni("[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n" +
                             QByteArray(setup == "pass" ? "ArretAutomatique=1\r\n" : "")));
        QVERIFY(setup != "pass" || dir.writePairs({{dir.folder("in"), dir.folder("out")}}));
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* gone : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                 "VELMORADO_DIALOG_ANSWERS", "VELMORADO_DEBUG", "QT_LOGGING_RULES",
                                 "VELMORADO_SERVICE"}) {
            env.remove(gone);
        }
        env.insert("HOME", home.path());
        // The copy that runs: its lock, where the program looks for it.
        const QByteArray savedHome = qgetenv("HOME");
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("HOME", home.path().toUtf8());
        qunsetenv("XDG_RUNTIME_DIR");
        platform::SingleInstance other(dir.path());
        const bool held = setup != "lock" || other.acquire();
        qputenv("HOME", savedHome);
        if (!savedRuntime.isEmpty()) {
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
        }
        QVERIFY(held);
        const filekit::Result r = filekit::run(dir.exe(), {}, env); // a box would wait for ever
        const QString err = QString::fromUtf8(r.output.mid(r.out.size()));
        QVERIFY2(r.code == status, qPrintable(err));
        const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), message.isEmpty() ? 1 : 2);
        QVERIFY2(lines[0].startsWith("velmorado: no display available") &&
                     (message.isEmpty() || lines[1].startsWith("velmorado: " + message)),
                 qPrintable(err));
        const QStringList logged = systemd.events();
        QVERIFY2(message.isEmpty() ? logged.isEmpty()
                                   : logged.size() == 1 && logged[0].startsWith("2\t" + message),
                 qPrintable(logged.join('\n')));
        QCOMPARE(QFileInfo::exists(systemd.unitFile()), setup == "service"); // kept
        QCOMPARE(config::ReadSettingFrom(dir.ini(), "Configuration", "Automatique"), "1");
    }

    // The lock and socket live in a folder of this user alone: one left
    // open to others is closed before use, and XDG_RUNTIME_DIR set to a
    // shared folder is not taken.
    void theRuntimeFolderIsThisUsersAlone() {
        if (QFileInfo(QStringLiteral("/run/user/%1").arg(::geteuid())).isDir()) {
            QSKIP("/run/user/<uid> exists here: the session's runtime folder is used");
        }
        QTemporaryDir home;
        const QString own = home.filePath(".cache/velmorado-runtime");
        QVERIFY(QDir().mkpath(own) && ::chmod(QFile::encodeName(own).constData(), 0777) == 0);
        programkit::ProgramFolder dir({"velmorado"});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_RUNTIME_DIR", QDir::tempPath());              // open to every user
        QCOMPARE(filekit::run(dir.exe(), {"--status"}, env).code, 2); // no copy runs there
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(own).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
