// Service mode: the service dialog, the start-up decision, and the built
// executable started as the unit starts it, against the stand-in service
// manager.
#include "app/ServiceMode.h"
#include "config/ProgramValues.h"
#include "ui/common/Captions.h"
#include "ui/dialogs/frmAdminService.h"

#include "ServiceTestKit.h"
#include "UiTestKit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QGroupBox>
#include <QProcess>
#include <QRadioButton>
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

const QString kInstalledEn =
    QStringLiteral("Velmorado Service installed\n(operations start automatically when the "
                   "service starts)");

// What the dialog did to the rest of the program.
struct DialogEffects {
    QList<bool> modes; // the main window's mode, true for service
    int beeps = 0;
    int ends = 0;
    frmAdminService::Hooks hooks() {
        return {[this](bool service) { modes.append(service); }, [this] { ++beeps; },
                [this] { ++ends; }};
    }
};

QString sha(const QString& path) {
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !h.addData(&f)) {
        return QStringLiteral("<unreadable>");
    }
    return QString::fromLatin1(h.result().toHex());
}

// A file of size bytes that no compressor shrinks much.
bool writeNoise(const QString& path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return false;
    }
    QRandomGenerator random(20261207);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += block.size()) {
        random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        if (f.write(block) != block.size()) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestServiceMode : public WindowTest {
    Q_OBJECT

    std::unique_ptr<FakeSystemd> systemd;

    template <typename T> T* in(QWidget* parent, const char* name) {
        return child<T>(parent, name);
    }

    // A program folder of its own with the built executable beside the
    // archiver, as it is installed.
    void addExecutable() { QVERIFY(programkit::install(pf->path(), {"velmorado"})); }

    // The environment and program of the installed unit, as the service
    // manager would start it, plus where the test reads the system log.
    QProcessEnvironment unitEnvironment(QString* program) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        systemd->addTo(env);
        for (const QString& line : QString::fromUtf8(readFile(systemd->unitFile())).split('\n')) {
            if (line.startsWith(QLatin1String("Environment="))) {
                const QString assignment = line.mid(int(qstrlen("Environment=")));
                const int eq = int(assignment.indexOf(QLatin1Char('=')));
                env.insert(assignment.left(eq), assignment.mid(eq + 1));
            } else if (line.startsWith(QLatin1String("ExecStart=\""))) {
                *program = line.mid(int(qstrlen("ExecStart=\"")));
                program->chop(1);
            }
        }
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("VELMORADO_EVENT_LOG_FILE"), pf->path() + "/events.txt");
        env.remove(QStringLiteral("VELMORADO_DIALOG_ANSWERS"));
        return env;
    }
    QStringList eventFile() const {
        return QString::fromUtf8(readFile(pf->path() + "/events.txt"))
            .split('\n', Qt::SkipEmptyParts);
    }
    // Installs through the dialog, for the copy of the executable in the program folder.
    void installForProgramFolder(int startType) {
        config::setProgramFolder(pf->path());
        ServiceControl control;
        control.setExecutablePath(pf->exe());
        DialogEffects effects;
        frmAdminService dialog(control, effects.hooks());
        in<QRadioButton>(&dialog, startType == 0 ? "optType_0" : "optType_1")->click();
        freshBoxes();
        in<QPushButton>(&dialog, "cmdInstall")->click();
        QCOMPARE(effects.ends, 1);
    }

    void freshBoxes() {
        auto boxes = std::make_unique<ui::ScriptedDialogs>();
        d = boxes.get();
        ui::setDialogs(std::move(boxes));
    }
    // Opens the main window with the answers ready for the boxes that start-up shows.
    bool openAnswering(const QStringList& answers, const QByteArray& list, const QByteArray& ini) {
        if (!writeFile(pf->list(), list) || !writeFile(pf->ini(), ini)) {
            return false;
        }
        auto boxes = std::make_unique<ui::ScriptedDialogs>(answers);
        d = boxes.get();
        ui::setDialogs(std::move(boxes));
        window = std::make_unique<ui::frmKestrune>(pf->path());
        w = window.get();
        application = std::make_unique<app::Application>(*w, pf->path());
        return application->start();
    }
    // Old enough for the in-use probe to take it at the first pass.
    static void age(const QString& path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                              QFileDevice::FileModificationTime));
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
        application.reset();
        window.reset();
        systemd.reset();
    }

    void theDialogShowsItsCaptionsAndTheServiceState_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<QString>("notInstalled");
        QTest::addColumn<QString>("installed");
        QTest::newRow("French") << 1 << "Type de démarrage"
                                << "Désactivé"
                                << "Velmorado Service non installé"
                                << "Velmorado Service installé\n(le traitement démarre "
                                   "automatiquement au lancement du service)";
        QTest::newRow("English") << 0 << "Start type"
                                 << "Disabled"
                                 << "Velmorado Service not installed" << kInstalledEn;
    }
    void theDialogShowsItsCaptionsAndTheServiceState() {
        QFETCH(int, language);
        QFETCH(QString, frame);
        QFETCH(QString, disabled);
        QFETCH(QString, notInstalled);
        QFETCH(QString, installed);
        config::setLanguage(language);
        ServiceControl control;
        DialogEffects effects;
        {
            frmAdminService dialog(control, effects.hooks());
            QCOMPARE(ui::missingCaptionNames(&dialog, frmAdminService::captions()), QStringList());
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmorado Service [NT]"));
            QCOMPARE(in<QGroupBox>(&dialog, "frameType")->title(), frame);
            QCOMPARE(in<QRadioButton>(&dialog, "optType_2")->text(), disabled);
            QCOMPARE(label(&dialog, "lblService")->text(), notInstalled);
            QVERIFY(in<QRadioButton>(&dialog, "optType_0")->isChecked());
            // The desktop box shows its warning while ticked, and stores nothing.
            auto* interact = in<QCheckBox>(&dialog, "chkInteract");
            QVERIFY(!interact->isChecked());
            QVERIFY(label(&dialog, "lblInteract")->isHidden());
            interact->click();
            QVERIFY(!label(&dialog, "lblInteract")->isHidden());
            interact->click();
            QVERIFY(label(&dialog, "lblInteract")->isHidden());
            QVERIFY(!QFileInfo::exists(systemd->unitFile()));
        }
        // Installed, disabled, on the desktop: the dialog opens on what is installed.
        control.setStartType(2);
        control.setInteractWithDesktop(true);
        QVERIFY(control.InstallService());
        ServiceControl fresh;
        frmAdminService dialog(fresh, effects.hooks());
        QCOMPARE(label(&dialog, "lblService")->text(), installed);
        QVERIFY(in<QRadioButton>(&dialog, "optType_2")->isChecked());
        QVERIFY(in<QCheckBox>(&dialog, "chkInteract")->isChecked());
        QVERIFY(!label(&dialog, "lblInteract")->isHidden());
    }

    void theEventLogBoxIsSavedByItsOwnClick() {
        config::setProgramFolder(pf->path());
        ServiceControl control;
        DialogEffects effects;
        {
            frmAdminService dialog(control, effects.hooks());
            dialog.show();
            in<QCheckBox>(&dialog, "chkDossierErrEventLog")->click();
            QCOMPARE(pf->setting("Configuration", "ErreurDossierEventLog"), QStringLiteral("1"));
            QVERIFY(config::settings().erreurDossierEventLog);
            button(&dialog, "cmdAnnuler")->click(); // Cancel keeps it
        }
        QCOMPARE(pf->setting("Configuration", "ErreurDossierEventLog"), QStringLiteral("1"));
        frmAdminService dialog(control, effects.hooks());
        auto* box = in<QCheckBox>(&dialog, "chkDossierErrEventLog");
        QVERIFY(box->isChecked());
        box->click();
        QCOMPARE(pf->setting("Configuration", "ErreurDossierEventLog"), QStringLiteral("0"));
        QVERIFY(!config::settings().erreurDossierEventLog);
        QVERIFY(effects.modes.isEmpty() && effects.ends == 0);
    }

    void installIsRefusedOverAnInstalledService() {
        systemd->registerService();
        const QByteArray unit = readFile(systemd->unitFile());
        RecordedLog log;
        ServiceControl control;
        DialogEffects effects;
        frmAdminService dialog(control, effects.hooks());
        dialog.show();
        button(&dialog, "cmdInstall")->click();
        QCOMPARE(label(&dialog, "lblService")->text(),
                 QStringLiteral("Velmorado Service already installed"));
        QCOMPARE(effects.beeps, 1);
        QCOMPARE(effects.ends, 0);
        QVERIFY(effects.modes.isEmpty());
        QVERIFY(dialog.isVisible());
        QVERIFY(systemd->calls().isEmpty());
        QCOMPARE(readFile(systemd->unitFile()), unit);
        QVERIFY(log.entries.isEmpty());
        QVERIFY(last().kind.isEmpty());
    }

    void installRegistersTellsHowToStartAndEnds() {
        RecordedLog log;
        ServiceControl control;
        DialogEffects effects;
        frmAdminService dialog(control, effects.hooks());
        in<QRadioButton>(&dialog, "optType_1")->click();
        in<QCheckBox>(&dialog, "chkInteract")->click();
        button(&dialog, "cmdInstall")->click();

        QVERIFY(ServiceControl().Installed());
        QCOMPARE(ServiceControl().StartType(), qint16(1));
        QVERIFY(!readFile(systemd->unitFile()).contains("QT_QPA_PLATFORM"));
        QVERIFY(systemd->calls().contains(QStringLiteral("--user disable velmorado.service")));
        QCOMPARE(effects.modes, QList<bool>{true});
        QCOMPARE(label(&dialog, "lblService")->text(), kInstalledEn);
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries.first().first, 4);
        QCOMPARE(log.entries.first().second, kInstalledEn);
        QCOMPARE(d->shown.size(), 1);
        QCOMPARE(last().icon, ui::Dialogs::Icon::Information);
        QCOMPARE(last().title, QStringLiteral("Velmorado"));
        QCOMPARE(last().text, kInstalledEn + QStringLiteral("\n\nConfiguration and start, see\n"
                                                            "'Control panel/Services'\n\n"
                                                            "Start the service now:\n"
                                                            "    systemctl --user start velmorado\n"
                                                            "Keep it running after logout:\n"
                                                            "    loginctl enable-linger"));
        QCOMPARE(effects.ends, 1);
        QCOMPARE(effects.beeps, 0);
    }

    void removeWithAndWithoutAService() {
        ServiceControl installer;
        installer.setStartType(0);
        QVERIFY(installer.InstallService());
        RecordedLog log;
        ServiceControl control;
        DialogEffects effects;
        frmAdminService dialog(control, effects.hooks());
        dialog.show();
        button(&dialog, "cmdRemove")->click();
        QVERIFY(!QFileInfo::exists(systemd->unitFile()));
        QVERIFY(!QFileInfo(systemd->wantsLink()).isSymLink());
        QCOMPARE(label(&dialog, "lblService")->text(),
                 QStringLiteral("Velmorado Service: removed"));
        QCOMPARE(log.texts(), QStringList{"Velmorado Service: removed"});
        QCOMPARE(effects.beeps, 0);
        // Again, with nothing left to remove: a beep, and still application mode.
        button(&dialog, "cmdRemove")->click();
        QCOMPARE(label(&dialog, "lblService")->text(),
                 QStringLiteral("Velmorado Service not installed"));
        QCOMPARE(effects.beeps, 1);
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(effects.modes, (QList<bool>{false, false}));
        QVERIFY(dialog.isVisible());
        QCOMPARE(effects.ends, 0);
    }

    void aStartByHandAnsweredYesRemovesTheService() {
        ServiceControl installer;
        installer.setStartType(0);
        QVERIFY(installer.InstallService());
        systemd->forgetCalls();
        RecordedLog log;
        const QString source = pf->folder("in");
        const QString target = pf->folder("out");
        QVERIFY(writeFile(source + "/report.doc", "a report"));
        // Automatic start on: only the written "0" keeps processing from starting.
        QVERIFY(openAnswering({QStringLiteral("yes")}, listLine(source, target),
                              "[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n"));
        QCOMPARE(d->shown.first().kind, QStringLiteral("question"));
        QCOMPARE(d->shown.first().title, QStringLiteral("Velmorado"));
        QCOMPARE(d->shown.first().text,
                 QStringLiteral("Velmorado Service installé\nvoir 'Panneau de "
                                "configuration/Services'\n\nSupprimer Velmorado Service ?"));
        QVERIFY(!QFileInfo::exists(systemd->unitFile()));
        QVERIFY(!QFileInfo(systemd->wantsLink()).isSymLink());
        QVERIFY(systemd->calls().contains(QStringLiteral("--user disable velmorado.service")));
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries.first().first, 4);
        QCOMPARE(log.entries.first().second, QStringLiteral("Velmorado Service supprimé"));
        QCOMPARE(pf->setting("Configuration", "Automatique"), QStringLiteral("0"));
        QVERIFY(!config::settings().automatique);
        QVERIFY(engine::state().stopped);
        QCOMPARE(readFile(source + "/report.doc"), QByteArray("a report"));
        QVERIFY(filekit::entries(target).isEmpty());
        QCOMPARE(label(w, "lblMode")->text(), QStringLiteral("Application"));
        QVERIFY(entry(w, "mnuQuitter")->isEnabled());
    }

    void aServiceWithNoPairsDoesNotStart() {
        systemd->registerService();
        qputenv("VELMORADO_SERVICE", "1");
        RecordedLog log;
        QVERIFY(open());
        QCOMPARE(label(w, "lblMode")->text(), QStringLiteral("Service"));
        QCOMPARE(label(w, "PictureMode")->toolTip(), QStringLiteral("Velmorado Service"));
        QVERIFY(!entry(w, "mnuQuitter")->isEnabled());
        QVERIFY(w->isMinimized() || !w->isVisible());
        QCOMPARE(log.texts(), QStringList{"Velmorado Service: started"});
        // The start was refused: still stopped, the button offers to start.
        QVERIFY(engine::state().stopped);
        QCOMPARE(child<QToolButton>(w, "cmdMiroir")->toolTip(),
                 QStringLiteral("Start compress/uncompress operations"));
        QVERIFY(entry(w, "mnuTempo")->isEnabled());
    }

    void installedThenStartedAsTheServiceCompresses() {
        addExecutable();
        const QString source = pf->folder("in");
        const QString target = pf->folder("out");
        const QString gone = pf->path() + "/gone";
        QVERIFY(writeFile(pf->list(), listLine(source, target) + listLine(gone, target)));
        QVERIFY(writeFile(pf->ini(), "[Configuration]\r\nErreurDossierEventLog=1\r\n"));
        QVERIFY(writeFile(source + "/report.doc", "the report"));
        age(source + "/report.doc");
        installForProgramFolder(0);
        QString program;
        QProcess service;
        service.setProcessEnvironment(unitEnvironment(&program));
        QCOMPARE(program, pf->exe());
        QCOMPARE(service.processEnvironment().value("QT_QPA_PLATFORM"),
                 QStringLiteral("offscreen"));
        service.start(program, {});
        QVERIFY(service.waitForStarted());
        // Nobody presses start: the service starts processing by itself.
        QTRY_COMPARE_WITH_TIMEOUT(filekit::entries(target), QStringList{"RA000001.rar"}, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(filekit::entries(source).isEmpty(), 10000);
        QTRY_VERIFY(eventFile().size() >= 2);
        QCOMPARE(eventFile().value(0), QStringLiteral("4\tVelmorado Service: started"));
        // The missing folder of the other pair is a warning in the system log.
        const QRegularExpression warning(QStringLiteral("^2\t\\d\\d:\\d\\d:\\d\\d - Unknown "
                                                        "source folder: ") +
                                         QRegularExpression::escape(gone + "/") + "$");
        QVERIFY2(warning.match(eventFile().value(1)).hasMatch(), qPrintable(eventFile().value(1)));

        ::kill(pid_t(service.processId()), SIGTERM);
        QVERIFY(service.waitForFinished(60000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(eventFile().last(), QStringLiteral("4\tVelmorado Service: stopped"));
        QCOMPARE(eventFile().count(QStringLiteral("4\tVelmorado Service: stopped")), 1);
    }

    void aStopDuringAPassFinishesTheFileFirst() {
        addExecutable();
        const QString source = pf->folder("in");
        const QString target = pf->folder("out");
        QVERIFY(writeFile(pf->list(), listLine(source, target)));
        const qint64 size = qint64(256) << 20;
        QVERIFY(writeNoise(source + "/big.bin", size));
        age(source + "/big.bin");
        const QString original = sha(source + "/big.bin");
        installForProgramFolder(0);
        QString program;
        QProcess service;
        service.setProcessEnvironment(unitEnvironment(&program));
        service.start(program, {});
        QVERIFY(service.waitForStarted());

        // The file has been taken in hand when its data file appears.
        const QString data = source + "/RA000001.rr";
        QDeadlineTimer deadline(120000);
        while (!QFileInfo::exists(data) && !deadline.hasExpired() &&
               service.state() == QProcess::Running) {
            QThread::msleep(2);
        }
        QVERIFY2(QFileInfo::exists(data), "the pass never took the file");
        QVERIFY2(filekit::entries(target).isEmpty(), "the archive was done before the stop");
        ::kill(pid_t(service.processId()), SIGTERM);
        QVERIFY(service.waitForFinished(120000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QVERIFY(eventFile().contains(QStringLiteral("4\tVelmorado Service: stopped")));

        // Whole, in the archive only: nothing of it left in the source folder.
        QVERIFY2(filekit::entries(source).isEmpty(),
                 qPrintable(filekit::entries(source).join(' ')));
        QCOMPARE(filekit::entries(target), QStringList{"RA000001.rar"});
        QTemporaryDir out;
        QProcess rar;
        rar.setWorkingDirectory(out.path());
        rar.start(programkit::binDir() + "/rar", {"e", target + "/RA000001.rar"});
        QVERIFY(rar.waitForFinished(120000));
        QCOMPARE(rar.exitCode(), 0);
        QCOMPARE(sha(out.filePath("RA000001.rr")), original);
    }

    void anUnseenServiceLogsItsBoxesInsteadOfWaiting() {
        QVERIFY(QFile::remove(pf->path() + "/rar"));
        addExecutable();
        installForProgramFolder(0);
        QString program;
        QProcess service;
        service.setProcessEnvironment(unitEnvironment(&program));
        service.start(program, {});
        QVERIFY(service.waitForStarted());
        // The missing archiver's box would wait for an OK nobody can give.
        QTRY_COMPARE_WITH_TIMEOUT(
            eventFile(),
            (QStringList{"4\tVelmorado Service: started",
                         "2\tWinRar not installed |  | Velmorado cannot run"}),
            30000);
        ::kill(pid_t(service.processId()), SIGTERM);
        QVERIFY(service.waitForFinished(30000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(eventFile().last(), QStringLiteral("4\tVelmorado Service: stopped"));
    }

    void aStartByHandAnsweredNoEndsWithNothingChanged() {
        addExecutable();
        systemd->registerService();
        const QByteArray ini =
            "[Configuration]\r\nLangue=1\r\nAutomatique=1\r\n; kept as it is\r\n";
        QVERIFY(writeFile(pf->ini(), ini));
        QProcessEnvironment env = programkit::environment(QStringLiteral("no"));
        systemd->addTo(env);
        env.insert(QStringLiteral("VELMORADO_EVENT_LOG_FILE"), pf->path() + "/events.txt");
        QProcess byHand;
        byHand.setProcessEnvironment(env);
        byHand.start(pf->exe(), {});
        QVERIFY(byHand.waitForFinished(60000));
        QCOMPARE(byHand.exitStatus(), QProcess::NormalExit);
        QCOMPARE(byHand.exitCode(), 0);
        const QString err = QString::fromUtf8(byHand.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("velmorado-dialog: question: Velmorado: Velmorado "
                                             "Service installé | voir 'Panneau de "
                                             "configuration/Services' |  | Supprimer Velmorado "
                                             "Service ?")),
                 qPrintable(err));
        QCOMPARE(readFile(pf->ini()), ini);
        QVERIFY(QFileInfo::exists(systemd->unitFile()));
        QVERIFY(systemd->calls().isEmpty());
        QVERIFY(!QFileInfo::exists(pf->path() + "/events.txt"));
    }

    // Last: ending the program leaves the event loops of this process.
    void theServiceEntryOpensTheDialogAndInstallEnds() {
        QVERIFY(open());
        QSignalSpy ending(w, &ui::frmKestrune::programEnding);
        QAction* service = entry(w, "mnuService");
        QVERIFY(service->isEnabled());
        OnShown<frmAdminService> watcher(w, [](frmAdminService* dialog) {
            QVERIFY(dialog->isModal());
            button(dialog, "cmdInstall")->click();
        });
        service->trigger();
        QCOMPARE(watcher.count, 1);
        QVERIFY(QFileInfo::exists(systemd->unitFile()));
        QCOMPARE(label(w, "lblMode")->text(), QStringLiteral("Service"));
        QCOMPARE(label(w, "PictureMode")->toolTip(), QStringLiteral("Velmorado Service"));
        QCOMPARE(ending.count(), 1);
    }
};

VELMORADO_UI_TEST_MAIN(TestServiceMode)
#include "test_service_mode.moc"
