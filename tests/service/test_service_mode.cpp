// Service mode: the start-up decision, and the built executable installed
// through the service dialog and started as the unit starts it, against the
// stand-in service manager.
#include "app/ServiceMode.h"
#include "config/ProgramValues.h"
#include "ui/dialogs/frmAdminService.h"

#include "ServiceTestKit.h"
#include "UiTestKit.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QToolButton>

#include <csignal>

using service::ServiceControl;
using servicetest::FakeSystemd;
using servicetest::RecordedLog;
using ui::frmAdminService;
using namespace uitest;

namespace {

const QString kStopped = "4\tVelmorado Service: stopped";

// What the dialog did to the rest of the program.
struct DialogEffects {
    QList<bool> modes; // the main window's mode, true for service
    int beeps = 0, ends = 0;
    frmAdminService::Hooks hooks() {
        return {[this](bool service) { modes.append(service); }, [this] { ++beeps; },
                [this] { ++ends; }};
    }
};

QString sha(const QString& path) {
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result().toHex() : "<unreadable>";
}

} // namespace

class TestServiceMode : public WindowTest {
    Q_OBJECT

    std::unique_ptr<FakeSystemd> systemd;
    QProcess service;

    void freshBoxes() {
        auto boxes = std::make_unique<ui::ScriptedDialogs>();
        d = boxes.get();
        ui::setDialogs(std::move(boxes));
    }
    QStringList eventFile() const {
        return QString::fromUtf8(readFile(pf->filePath("events.txt")))
            .split('\n', Qt::SkipEmptyParts);
    }
    // A program folder with the built executable beside the archiver and
    // pairs of source and target; each source holds one aged file of data.
    QString withPairs(const QStringList& pairs, const QByteArray& data = "the report") {
        QByteArray list;
        for (int i = 0; i + 1 < pairs.size(); i += 2) {
            list += listLine(pf->folder(pairs[i]), pf->folder(pairs[i + 1]));
        }
        const QString file = pf->filePath(pairs[0] + "/report.doc");
        return programkit::install(pf->path(), {"velmorado"}) && pf->writeList(list) &&
                       writeFile(file, data)
                   ? (filekit::age(file), file)
                   : QString();
    }
    // Installs through the dialog for the executable of the program folder,
    // automatic, and starts the program as the service manager would: with
    // the unit's environment and program, no display, and a file for the
    // system log.
    void startService() {
        config::setProgramFolder(pf->path());
        ServiceControl control;
        control.setExecutablePath(pf->exe());
        DialogEffects effects;
        frmAdminService(control, effects.hooks()).findChild<QPushButton*>("cmdInstall")->click();
        QCOMPARE(effects.ends, 1);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        systemd->addTo(env);
        QString program;
        for (const QString& line : QString::fromUtf8(readFile(systemd->unitFile())).split('\n')) {
            if (line.startsWith("Environment=")) {
                env.insert(line.section('=', 1, 1), line.section('=', 2));
            } else if (line.startsWith("ExecStart=\"")) {
                program = line.mid(11).chopped(1);
            }
        }
        QCOMPARE(program, pf->exe());
        QCOMPARE(env.value("QT_QPA_PLATFORM"), "offscreen");
        for (const char* gone : {"DISPLAY", "WAYLAND_DISPLAY", "VELMORADO_DIALOG_ANSWERS"}) {
            env.remove(gone);
        }
        env.insert("VELMORADO_EVENT_LOG_FILE", pf->filePath("events.txt"));
        service.setProcessEnvironment(env);
        service.start(program, {});
        QVERIFY(service.waitForStarted());
    }
    // SIGTERM, as the service manager stops it: the program ends, once.
    void stopService(int timeout) {
        ::kill(pid_t(service.processId()), SIGTERM);
        QVERIFY(service.waitForFinished(timeout));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        const QStringList events = eventFile();
        QCOMPARE(events.value(events.size() - 1), kStopped);
        QCOMPARE(events.count(kStopped), 1);
    }

private Q_SLOTS:
    void init() {
        fresh();
        systemd = std::make_unique<FakeSystemd>();
        config::setLanguage(0);
        config::settings().erreurDossierEventLog = false;
        freshBoxes();
    }
    void cleanup() {
        if (service.state() != QProcess::NotRunning) {
            service.kill();
            service.waitForFinished();
        }
        application.reset();
        window.reset();
        systemd.reset();
    }

    // Started by hand with the service installed, the answer Yes removes it,
    // and the automatic start is switched off (only the written "0" keeps
    // processing from starting).
    void aStartByHandAnsweredYesRemovesTheService() {
        ServiceControl installer;
        installer.setStartType(0);
        QVERIFY(installer.InstallService());
        systemd->forgetCalls();
        RecordedLog log;
        const QString source = pf->folder("in"), target = pf->folder("out");
        QVERIFY(writeFile(source + "/report.doc", "a report"));
        QVERIFY(open(listLine(source, target), "[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n",
                     {"yes"}));
        QVERIFY(!QFileInfo::exists(systemd->unitFile()));
        QVERIFY(!QFileInfo(systemd->wantsLink()).isSymLink());
        QVERIFY(systemd->calls().contains("--user disable velmorado.service"));
        QCOMPARE(log.texts(), QStringList{"Velmorado Service supprimé"});
        QCOMPARE(log.entries.first().first, 4);
        QCOMPARE(pf->setting("Configuration", "Automatique"), "0");
        QVERIFY(!config::settings().automatique && engine::state().stopped);
        QCOMPARE(readFile(source + "/report.doc"), "a report");
    }

    // Started as the service with no pairs: the start is refused, the window
    // stays in service mode with the button offering to start.
    void aServiceWithNoPairsDoesNotStart() {
        systemd->registerService();
        qputenv("VELMORADO_SERVICE", "1");
        RecordedLog log;
        QVERIFY(open());
        QCOMPARE(label(w, "lblMode")->text(), "Service");
        QCOMPARE(label(w, "PictureMode")->toolTip(), "Velmorado Service");
        QVERIFY(!entry(w, "mnuQuitter")->isEnabled());
        QVERIFY(w->isMinimized() || !w->isVisible());
        QCOMPARE(log.texts(), QStringList{"Velmorado Service: started"});
        QVERIFY(engine::state().stopped);
        QCOMPARE(child<QToolButton>(w, "cmdMiroir")->toolTip(),
                 "Start compress/uncompress operations");
        QVERIFY(entry(w, "mnuTempo")->isEnabled());
    }

    // Installed, then started as the service: nobody presses start, the
    // service processes by itself; a missing folder is a warning in the
    // system log; SIGTERM ends it.
    void installedThenStartedAsTheServiceCompresses() {
        QVERIFY(!withPairs({"in", "out", "gone", "out"}).isEmpty());
        QVERIFY(QDir(pf->filePath("gone")).removeRecursively());
        QVERIFY(pf->writeIni("[Configuration]\r\nErreurDossierEventLog=1\r\n"));
        startService();
        QTRY_COMPARE_WITH_TIMEOUT(filekit::entries(pf->filePath("out")),
                                  QStringList{"RA000001.rar"}, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(filekit::entries(pf->filePath("in")).isEmpty(), 10000);
        QTRY_VERIFY(eventFile().size() >= 2);
        QCOMPARE(eventFile().value(0), "4\tVelmorado Service: started");
        const QRegularExpression warning("^2\t\\d\\d:\\d\\d:\\d\\d - Unknown source folder: " +
                                         QRegularExpression::escape(pf->filePath("gone/")) + "$");
        QVERIFY2(warning.match(eventFile().value(1)).hasMatch(), qPrintable(eventFile().value(1)));
        stopService(60000);
    }

    // A stop while a file is being compressed: the file is finished first,
    // whole in its archive, and nothing of it is left in the source folder.
    void aStopDuringAPassFinishesTheFileFirst() {
        QByteArray noise(256 << 20, Qt::Uninitialized); // nothing a compressor shrinks much
        QRandomGenerator(20261207).fillRange(reinterpret_cast<quint32*>(noise.data()),
                                             noise.size() / 4);
        const QString file = withPairs({"in", "out"}, noise);
        QVERIFY(!file.isEmpty());
        const QString original = sha(file), target = pf->filePath("out");
        noise.clear();
        startService();
        // The file has been taken in hand when its data file appears.
        const QString data = pf->filePath("in/RA000001.rr");
        QDeadlineTimer deadline(120000);
        while (!QFileInfo::exists(data) && !deadline.hasExpired() &&
               service.state() == QProcess::Running) {
            QThread::msleep(2);
        }
        QVERIFY2(QFileInfo::exists(data), "the pass never took the file");
        QVERIFY2(filekit::entries(target).isEmpty(), "the archive was done before the stop");
        stopService(120000);
        QCOMPARE(filekit::entries(pf->filePath("in")), QStringList());
        QCOMPARE(filekit::entries(target), QStringList{"RA000001.rar"});
        QTemporaryDir out;
        QProcess rar;
        rar.setWorkingDirectory(out.path());
        rar.start(programkit::binDir() + "/rar", {"e", target + "/RA000001.rar"});
        QVERIFY(rar.waitForFinished(120000));
        QCOMPARE(rar.exitCode(), 0);
        QCOMPARE(sha(out.filePath("RA000001.rr")), original);
    }

    // The missing archiver's box would wait for an OK nobody can give: an
    // unseen service writes it to the system log instead.
    void anUnseenServiceLogsItsBoxesInsteadOfWaiting() {
        QVERIFY(QFile::remove(pf->filePath("rar")));
        QVERIFY(programkit::install(pf->path(), {"velmorado"}));
        startService();
        QTRY_COMPARE_WITH_TIMEOUT(
            eventFile(),
            (QStringList{"4\tVelmorado Service: started",
                         "2\tWinRar not installed |  | Velmorado cannot run"}),
            30000);
        stopService(30000);
    }

    // Last: ending the program leaves the event loops of this process.
    void theServiceEntryOpensTheDialogAndInstallEnds() {
        QVERIFY(open());
        QSignalSpy ending(w, &ui::frmKestrune::programEnding);
        QVERIFY(entry(w, "mnuService")->isEnabled());
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

VELMORADO_UI_TEST_MAIN(TestServiceMode)
#include "test_service_mode.moc"
