// Service mode: the start-up decision, and the built executable installed
// through the dialog and started as the unit starts it.
#include "config/ProgramValues.h"
#include "ui/dialogs/frmAdminService.h"

#include "ServiceTestKit.h"
#include "UiTestKit.h"

#include <optional>

using service::ServiceControl;
using servicetest::FakeSystemd;
using ui::frmAdminService;
using namespace uitest;

using filekit::eventually;

const QString kStarted = "4\tVelmorado Service: started",
              kStopped = "4\tVelmorado Service: stopped";

class TestServiceMode : public WindowTest {
    Q_OBJECT

    std::unique_ptr<FakeSystemd> systemd;
    QProcess service;

    // The built executable, the pairs, one aged file in the first source.
    bool withPairs(const QList<QPair<QString, QString>>& pairs, const QByteArray& data = "a") {
        const QString file = pairs[0].first + "/report.doc";
        return programkit::install(pf->path(), {"velmorado"}) && pf->writePairs(pairs) &&
               writeFile(file, data) && (filekit::age(file), true);
    }
    // Installs through the dialog, automatic, and starts the program of the
    // unit as the service manager would: its environment, no display.
    void startService() {
        config::setProgramFolder(pf->path());
        ServiceControl control;
        control.setExecutablePath(pf->exe());
        frmAdminService dialog(control, {});
        button(&dialog, "cmdInstall")->click();
        systemd->forget(); // the dialog's own entry
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QString program;
        for (const QString& line : QString::fromUtf8(readFile(systemd->unitFile())).split('\n')) {
            if (line.startsWith("Environment=")) {
                env.insert(line.section('=', 1, 1), line.section('=', 2));
            } else if (line.startsWith("ExecStart=\"")) {
                program = line.mid(11).chopped(1);
            }
        }
        QCOMPARE(program, pf->exe());
        for (const char* gone : {"DISPLAY", "WAYLAND_DISPLAY", "VELMORADO_DIALOG_ANSWERS"}) {
            env.remove(gone);
        }
        service.setProcessEnvironment(env);
        service.start(program, {});
        QVERIFY(service.waitForStarted());
    }
    // The executable installed, on these pairs, automatic, French, a pass a
    // second, started as a headless copy.
    void startHeadless(const QList<QPair<QString, QString>>& pairs) {
        QVERIFY(pf->writePairs(pairs));
        QVERIFY(pf->writeIni("[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n"
                             "Temporisation=1\r\n"));
        service.setProcessEnvironment(programkit::environment());
        service.start(pf->exe(), {});
        QVERIFY(service.waitForStarted());
    }
    // --status with args, asked of the copy that runs there: its exit status and output.
    QPair<int, QByteArray> status(const QStringList& args = {}) const {
        const filekit::Result r = filekit::run(pf->exe(), QStringList{"--status"} + args);
        return {r.code, r.out};
    }
    // SIGTERM, as the service manager stops it: the program ends, once.
    void stopService(int timeout) {
        service.terminate(); // SIGTERM
        QVERIFY(service.waitForFinished(timeout) && service.exitStatus() == QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        const QStringList events = systemd->events();
        QCOMPARE(events.mid(events.indexOf(kStopped)), QStringList{kStopped}); // last, and once
    }

private Q_SLOTS:
    void init() {
        fresh();
        systemd = std::make_unique<FakeSystemd>();
        config::setLanguage(0);
        ui::setDialogs(std::make_unique<ui::ScriptedDialogs>());
    }
    void cleanup() {
        service.kill();
        service.waitForFinished();
        application.reset();
        window.reset();
        systemd.reset();
    }

    // Started as the service with no pairs: the start is refused, the window
    // stays in service mode with the button offering to start.
    void aServiceWithNoPairsDoesNotStart() {
        systemd->registerService();
        qputenv("VELMORADO_SERVICE", "1");
        QVERIFY(open());
        QCOMPARE(label(w, "lblMode")->text(), "Service");
        QVERIFY(!entry(w, "mnuQuitter")->isEnabled() && entry(w, "mnuTempo")->isEnabled());
        QVERIFY(w->isMinimized() || !w->isVisible());
        QCOMPARE(systemd->events(), QStringList{kStarted});
        QVERIFY(engine::state().stopped);
        QCOMPARE(child<QWidget>(w, "cmdMiroir")->toolTip(), "Start compress/uncompress operations");
    }

    // Installed, then started as the service: it processes by itself, a
    // missing folder is a warning in the system log, SIGTERM ends it.
    void installedThenStartedAsTheServiceCompresses() {
        QVERIFY(withPairs(
            {{pf->folder("in"), pf->folder("out")}, {pf->folder("gone"), pf->folder("out")}}));
        QVERIFY(QDir(pf->filePath("gone")).removeRecursively() &&
                pf->writeIni("[Configuration]\r\nErreurDossierEventLog=1\r\n"));
        startService();
        QTRY_COMPARE_WITH_TIMEOUT(filekit::entries(pf->filePath("out")),
                                  QStringList{"RA000001.rar"}, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(filekit::entries(pf->filePath("in")).isEmpty(), 10000);
        const QRegularExpression time("\t\\d\\d:\\d\\d:\\d\\d - ");
        QTRY_COMPARE(systemd->events().mid(0, 2).replaceInStrings(time, "\thh:mm:ss - "),
                     QStringList({kStarted, "2\thh:mm:ss - Unknown source folder: " +
                                                pf->filePath("gone/")}));
        stopService(60000);
    }

    // A stop while a file is being compressed: the file is finished first,
    // whole in its archive, nothing of it left in the source folder.
    void aStopDuringAPassFinishesTheFileFirst() {
        QByteArray noise = filekit::randomBytes(256 << 20, 20261207); // hardly compressible
        QVERIFY(withPairs({{pf->folder("in"), pf->folder("out")}}, noise));
        const QByteArray original = QCryptographicHash::hash(noise, QCryptographicHash::Sha256);
        const QString target = pf->filePath("out");
        noise.clear();
        startService();
        // The file has been taken in hand when its data file appears.
        const QString data = pf->filePath("in/RA000001.rr");
        for (QDeadlineTimer deadline(120000); !QFileInfo::exists(data) && !deadline.hasExpired() &&
                                              service.state() == QProcess::Running;) {
            QTest::qSleep(2);
        }
        QVERIFY2(QFileInfo::exists(data), "the pass never took the file");
        QVERIFY2(filekit::entries(target).isEmpty(), "the archive was done before the stop");
        stopService(120000);
        QCOMPARE(filekit::entries(pf->filePath("in")), QStringList());
        QCOMPARE(filekit::entries(target), QStringList{"RA000001.rar"});
        QTemporaryDir out;
        QCOMPARE(filekit::run(programkit::binDir() + "/rar", {"e", target + "/RA000001.rar"}, {},
                              QFile::encodeName(out.path()))
                     .code,
                 0);
        QCOMPARE(QCryptographicHash::hash(readFile(out.filePath("RA000001.rr")),
                                          QCryptographicHash::Sha256),
                 original);
    }

    // The missing archiver's box would wait for an OK nobody can give: an
    // unseen service writes it to the system log instead and ends with its
    // own status, which the unit does not restart.
    void anUnseenServiceLogsItsBoxesInsteadOfWaiting() {
        QVERIFY(QFile::remove(pf->filePath("rar")) &&
                programkit::install(pf->path(), {"velmorado"}));
        startService();
        QVERIFY(service.waitForFinished(60000) && service.exitStatus() == QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 5);
        QVERIFY(readFile(systemd->unitFile()).contains("\nRestartPreventExitStatus=4 5\n"));
        QCOMPARE(systemd->events(),
                 QStringList({kStarted, "2\tWinRar not installed |  | Velmorado cannot run"}));
        QVERIFY(QString::fromUtf8(service.readAllStandardError())
                    .contains("velmorado: WinRar not installed Velmorado cannot run\n"));
    }

    // A copy without a screen, asked through its socket: whether it
    // processes, its last pass, its pairs and every file that waits, in the
    // language of the parameters file or as JSON; the exit status says
    // whether files wait, or that no copy runs there.
    void aHeadlessCopyTellsHowItIsDoing() {
        QVERIFY(programkit::install(pf->path(), {"velmorado"}));
        const QString in = pf->folder("in"), gone = pf->filePath("gone");
        const QString in2 = pf->folder("in2"), locked = pf->folder("locked");
        QVERIFY(writeFile(in2 + "/report.doc", "a report"));
        filekit::age(in2 + "/report.doc");
        std::optional<filekit::ReadOnlyFolder> readOnly(std::in_place, locked);
        QCOMPARE(status().first, 2); // nothing runs there yet
        startHeadless({{in, gone}, {in2, locked}});
        QJsonObject report;
        const auto hasWaited = [&] {
            const auto [code, out] = status({"--json"});
            report = QJsonDocument::fromJson(out).object();
            return code == 1 && report.contains("lastPass") &&
                   report["waiting"].toArray().size() == 2;
        };
        QVERIFY(eventually(hasWaited));
        QVERIFY(report["processing"].toBool());
        const QJsonArray pairs = report["pairs"].toArray();
        QCOMPARE(pairs.size(), 2);
        QCOMPARE(pairs[0].toObject()["mode"].toString(), "compress");
        QVERIFY(pairs[0].toObject()["sourceExists"].toBool() &&
                !pairs[0].toObject()["targetExists"].toBool() &&
                pairs[1].toObject()["targetExists"].toBool());
        const QJsonObject first = report["waiting"].toArray()[0].toObject();
        QCOMPARE(first["cause"].toString(), "target-missing");
        QCOMPARE(first["pair"].toInt(), 1);
        QCOMPARE(first["text"].toString(), "Dossier cible absent");
        const QJsonObject second = report["waiting"].toArray()[1].toObject();
        QCOMPARE(second["cause"].toString(), "target-read-only");
        QCOMPARE(second["pair"].toInt(), 2);
        // Packed, its archive waits in the source: the file and its archive.
        QCOMPARE(second["file"].toString(), in2 + "/report.doc -> " + in2 + "/RA000001.rar");
        const auto [code, text] = status();
        QCOMPARE(code, 1);
        QVERIFY2(text.contains("Traitement : démarré\n") &&
                     text.contains("  Dossier cible absent - couple 1 (" + in.toUtf8() + "/ -> " +
                                   gone.toUtf8() + "/): " + gone.toUtf8() + "/\n") &&
                     text.contains("dossier source : présent, dossier cible : ABSENT\n"),
                 text.constData());
        QVERIFY(QDir().mkpath(gone));
        readOnly.reset();
        QVERIFY(eventually([&] { return status().first == 0; }));
        QCOMPARE(service.state(), QProcess::Running); // asked, never replaced
    }

    // A name on a share is any bytes but "/" and NUL, and another machine
    // made it. --status shows its control characters, its bytes that are no
    // UTF-8, its direction marks and its backslashes as escapes, so that it
    // can neither drive the operator's terminal nor add a line to the
    // report; --json gives it back exactly, with nothing a terminal acts on.
    void aNameCannotDriveTheTerminal() {
        QVERIFY(programkit::install(pf->path(), {"velmorado"}));
        const QString in = pf->folder("in");
        // Clears the screen, retitles the window, starts a line of its own,
        // turns the text red through the C1 CSI, reverses what follows; the
        // byte 0x9B (no UTF-8) and a backslash.
        const QString name = "gone\x1b[2J\x1b]0;owned\x07\nPair 9 (fake)\u009b31m\u202e" +
                             QString(QChar(0xDC9B)) + "\\";
        const QString shown =
            "gone\\x1b[2J\\x1b]0;owned\\x07\\x0aPair 9 (fake)\\u009b31m\\u202e\\x9b\\\\";
        startHeadless({{in, pf->filePath(name)}});
        QByteArray json;
        QVERIFY(eventually([&] {
            int code = 0;
            std::tie(code, json) = status({"--json"});
            return code == 1;
        }));
        const auto [code, text] = status();
        QCOMPARE(code, 1);
        const QJsonObject report = QJsonDocument::fromJson(json).object();
        QCOMPARE(report["pairs"].toArray()[0].toObject()["target"].toString(), pf->filePath(name));
        QCOMPARE(report["waiting"].toArray()[0].toObject()["file"].toString(),
                 pf->filePath(name) + '/');
        for (const QByteArray& out : {json, text}) {
            const QString chars = QString::fromUtf8(out);
            for (const QChar c : chars) {
                QVERIFY2((c >= u' ' || c == u'\n') && (c < u'\x7f' || c > u'\x9f') &&
                             c != QChar(0x202E),
                         qPrintable("U+" + QString::number(c.unicode(), 16)));
            }
        }
        QVERIFY2(text.contains("  Dossier cible absent - couple 1 (" + in.toUtf8() + "/ -> " +
                               pf->filePath(shown).toUtf8() +
                               "/): " + pf->filePath(shown).toUtf8() + "/\n"),
                 text.constData());
        // The program, processing, the last pass, the pair (two lines), the count, the file.
        QCOMPARE(text.count('\n'), 7);
    }

    // Started by hand with the service installed, the answer Yes removes it
    // and switches the automatic start off (only the written "0" keeps
    // processing from starting). The menu entry opens the dialog that
    // installs it again, and ends the program: last, since that leaves the
    // event loops of this process.
    void aStartByHandAnsweredYesRemovesTheService() {
        ServiceControl installer;
        installer.setStartType(0);
        QVERIFY(installer.InstallService());
        const QString source = pf->folder("in"), target = pf->folder("out");
        QVERIFY(writeFile(source + "/report.doc", "a report"));
        QVERIFY(open(listLine(source, target), "[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n",
                     {"yes"}));
        QVERIFY(!QFileInfo::exists(systemd->unitFile()) && !systemd->enabled());
        QCOMPARE(systemd->events(), QStringList{"4\tVelmorado Service supprimé"});
        QCOMPARE(setting("Configuration", "Automatique"), "0");
        QVERIFY(!config::settings().automatique && engine::state().stopped);
        QCOMPARE(readFile(source + "/report.doc"), "a report");
        QSignalSpy ending(w, &ui::frmKestrune::programEnding);
        OnShown<frmAdminService> watcher(w, [](frmAdminService* dialog) {
            QVERIFY(dialog->isModal());
            button(dialog, "cmdInstall")->click();
        });
        entry(w, "mnuService")->trigger();
        QCOMPARE(watcher.count, 1);
        QVERIFY(QFileInfo::exists(systemd->unitFile()));
        QCOMPARE(label(w, "lblMode")->text(), "Service");
        QCOMPARE(ending.count(), 1);
    }
};

QTEST_MAIN(TestServiceMode)
#include "test_service_mode.moc"
