// The processing pass and the cycle scheduler, driven through a recording
// window on real folders. Pairs in uncompress mode move plain files without
// the archiver, which is enough to see which pairs a pass processes.

#include "EngineTestKit.h"

#include "engine/DailyLog.h"
#include "engine/ProcessingPass.h"
#include "engine/Scheduler.h"
#include "engine/Texts.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

using kit::Program;
using kit::Recorder;

namespace {

const QString kRunning = QStringLiteral("tip Velmorado 1.0c - compress/uncompress");
const QString kWait = QStringLiteral("Velmorado 1.0c - Wait");

// Drops an aged file into folder, so that the next walk takes it at once.
void drop(const QString& folder, const QString& name) {
    kit::writeFile(folder + QLatin1Char('/') + name, name.toUtf8());
    kit::age(folder + QLatin1Char('/') + name);
}

bool arrived(const QString& folder, const QString& name) {
    return QFile::exists(folder + QLatin1Char('/') + name);
}

// Lines of today's log in folder that hold part.
QStringList logLines(const QString& folder, const QString& part) {
    const QString path = engine::dayLogPath(folder, QDate::currentDate());
    return QString::fromUtf8(kit::readFile(path)).split(QStringLiteral("\r\n")).filter(part);
}

void runPass(Recorder& window, const engine::ServiceHooks& hooks = {}) {
    engine::state().stopped = false;
    engine::RunProcessingPass(window, hooks);
}

QStringList summary(const Recorder& window) {
    return window.labels.value(QStringLiteral("lblMessage")).split(QStringLiteral("\r\n"));
}

} // namespace

class PassTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // NbTemporisations counts passes; the forced pass of a start processes
    // every enabled pair; a disabled pair is checked, warned about and counted
    // but never processed.
    void intervalsForcedPassAndDisabledPairs() {
        Program prog;
        config::settings().temporisation = 1;
        config::settings().erreurDossier = true;
        const QString a = prog.folder(QStringLiteral("a")),
                      aOut = prog.folder(QStringLiteral("aOut"));
        const QString b = prog.folder(QStringLiteral("b")),
                      bOut = prog.folder(QStringLiteral("bOut"));
        const QString c = prog.folder(QStringLiteral("c")),
                      cOut = prog.folder(QStringLiteral("cOut"));
        Program::addPair(a, aOut, false, QStringLiteral("2"));
        Program::addPair(b, bOut, false, QStringLiteral("3"));
        Program::addPair(c, cOut, false, QStringLiteral("2"), false);
        Program::addPair(c, prog.dir.filePath(QStringLiteral("gone")), false, QStringLiteral("1"),
                         false);

        Recorder window;
        engine::Scheduler scheduler(window);
        QString processed;
        int pass = 0;
        const auto step = [&](const std::function<void()>& run) {
            const QString name = QStringLiteral("f%1").arg(++pass);
            for (const QString& f : {a, b, c}) {
                drop(f, name);
            }
            run();
            processed += QStringLiteral("%1:%2%3 ")
                             .arg(pass)
                             .arg(arrived(aOut, name) ? QStringLiteral("a") : QString(),
                                  arrived(bOut, name) ? QStringLiteral("b") : QString());
            QVERIFY2(!arrived(cOut, name), "a disabled pair was processed");
            QCOMPARE(engine::state().sourceFolders, 4);
            QCOMPARE(engine::state().invalidTargetFolders, 1);
            QCOMPARE(window.messages.size(), pass);
        };
        step([&] { scheduler.startStop(); }); // the forced pass
        // Temporisation 1: the first tick after a start shows "1 s"; from then
        // on every tick runs a pass and shows "1 s" once.
        scheduler.tick();
        QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QStringLiteral("1 s"));
        QCOMPARE(window.count(kRunning), 1);
        for (int i = 0; i < 3; ++i) {
            step([&] { scheduler.tick(); });
            QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QStringLiteral("1 s"));
        }
        QCOMPARE(processed, QStringLiteral("1:ab 2: 3:a 4:b "));
        QCOMPARE(config::folderPairs().pair(3)->remaining, QStringLiteral("2"));
        QCOMPARE(config::folderPairs().pair(1)->remaining, QStringLiteral("1"));
        QCOMPARE(kit::names(c).size(), 4);

        // After a stop, a start forces every enabled pair again, whatever its count.
        scheduler.startStop();
        step([&] { scheduler.startStop(); });
        QVERIFY(processed.endsWith(QStringLiteral("5:ab ")));
        QCOMPARE(config::folderPairs().pair(1)->remaining, QStringLiteral("2"));
    }

    // Missing folders: warnings in order, counted once each, the message
    // window left on the last one, one log line each and no summary entry,
    // the system log only for a service on the NT family, the beep.
    void missingFolderWarnings() {
        Program prog;
        config::Settings& s = config::settings();
        s.erreurDossier = s.erreurDossierSon = s.erreurDossierEventLog = s.logs = true;
        const QString here = prog.folder(QStringLiteral("here"));
        const QString m1 = prog.dir.filePath(QStringLiteral("missing1"));
        const QString m2 = prog.dir.filePath(QStringLiteral("missing2"));
        const QString m3 = prog.dir.filePath(QStringLiteral("missing3"));
        const QString plainFile = prog.dir.filePath(QStringLiteral("plain"));
        kit::writeFile(plainFile, "x");
        Program::addPair(m1, m2, true);                               // both missing
        Program::addPair(here, m3, true, QStringLiteral("1"), false); // disabled
        Program::addPair(QString(), here, true);                      // empty fields: counted only
        Program::addPair(here, QString(), true);
        Program::addPair(here, plainFile, false); // a file passes the existence check

        Recorder window;
        QStringList systemLog;
        bool service = true;
        const engine::ServiceHooks hooks{[&] { return service; },
                                         [&](const QString& t, int type) {
                                             systemLog
                                                 << QString::number(type) + QLatin1Char(' ') + t;
                                         }};
        runPass(window, hooks);
        const engine::EngineState& st = engine::state();
        QCOMPARE(st.sourceFolders, 3);
        QCOMPARE(st.invalidSourceFolders, 2);
        QCOMPARE(st.invalidTargetFolders, 3);
        QCOMPARE(window.messages.size(), 3);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d - Unknown source folder$"))
                    .match(window.messages[0])
                    .hasMatch());
        QVERIFY(window.messages[1].endsWith(QStringLiteral(" - Unknown target folder")));
        QCOMPARE(window.beeps, 3);
        const QStringList warnings = logLines(prog.dir.path(), QStringLiteral(" - Unknown "));
        QCOMPARE(warnings.size(), 3);
        QCOMPARE(warnings[0],
                 window.messages[0] + QStringLiteral(": ") + m1 + QStringLiteral("/<br>"));
        QVERIFY(warnings[1].endsWith(QStringLiteral(" - Unknown target folder: ") + m2 +
                                     QStringLiteral("/<br>")));
        QVERIFY(warnings[2].endsWith(m3 + QStringLiteral("/<br>")));
        QVERIFY(logLines(prog.dir.path(), QStringLiteral("<hr>")).isEmpty());
        QCOMPARE(systemLog, QStringList({QStringLiteral("2 ") + window.messages[0] +
                                             QStringLiteral(": ") + m1 + QLatin1Char('/'),
                                         QStringLiteral("2 ") + window.messages[1] +
                                             QStringLiteral(": ") + m2 + QLatin1Char('/'),
                                         QStringLiteral("2 ") + window.messages[2] +
                                             QStringLiteral(": ") + m3 + QLatin1Char('/')}));

        // Not a service, or not the NT family: no system-log entry.
        service = false;
        runPass(window, hooks);
        config::program().ntFlag = false;
        service = true;
        runPass(window, hooks);
        QCOMPARE(systemLog.size(), 3);
        // Without ErreurDossier: no message and no log line; the beep stays.
        s.erreurDossier = false;
        runPass(window, hooks);
        QCOMPARE(window.messages.size(), 9);
        QCOMPARE(logLines(prog.dir.path(), QStringLiteral(" - Unknown ")).size(), 9);
        QCOMPARE(window.beeps, 12);
    }

    // The network message: "net send " + MessageNetSend through the shell,
    // with the program folder first on PATH, only when switched on.
    void networkMessage() {
        Program prog;
        const QString net = prog.dir.filePath(QStringLiteral("net"));
        kit::writeFile(net,
                       "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" > \"$d/net.tmp\"\n"
                       "mv \"$d/net.tmp\" \"$d/net.out\"\necho x >> \"$d/net.count\"\n");
        QFile::setPermissions(net, QFile::ReadOwner | QFile::ExeOwner);
        Program::addPair(prog.dir.filePath(QStringLiteral("nowhere")), prog.dir.path(), true);
        Recorder window;
        runPass(window); // switched off
        config::settings().erreurDossierNetSend = true;
        runPass(window);
        const QString count = prog.dir.filePath(QStringLiteral("net.count"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(count), 20000);
        QCOMPARE(kit::readFile(prog.dir.filePath(QStringLiteral("net.out"))),
                 QByteArray("send\nAdministrator\nWarning from Velmorado: unknown folder\n"));
        QTest::qWait(500);
        QCOMPARE(kit::readFile(count), QByteArray("x\n")); // the pass switched off sent nothing
    }

    // The summary lines, French and English, singular and plural; the log
    // entry only when something was compressed or uncompressed.
    void summaryLines() {
        using engine::PassCounts;
        QCOMPARE(engine::texts::summaryLine1(false, QStringLiteral("D"), QStringLiteral("T"),
                                             PassCounts{3, 3, 0, 2, 0, 1}),
                 QStringLiteral("D - T; 3 files in 2 source folders (0 invalid source folder; 1 "
                                "invalid target folder)"));
        QCOMPARE(engine::texts::summaryLine1(true, QStringLiteral("D"), QStringLiteral("T"),
                                             PassCounts{2, 1, 0, 1, 2, 3}),
                 QString::fromUtf8("D à T; 2 fichiers dans 1 dossier source (2 dossiers sources "
                                   "invalides; 3 dossiers cibles invalides)"));
        QCOMPARE(
            engine::texts::summaryLine2(true, PassCounts{1, 0, 1, 5, 1, 0}, QStringLiteral("0,25")),
            QString::fromUtf8("Fichiers compressés: 0, Fichiers décompressés: 1; durée 0,25 s"));

        Program prog;
        config::settings().logs = true;
        const QString in = prog.folder(QStringLiteral("in")),
                      out = prog.folder(QStringLiteral("out"));
        Program::addPair(in, out, false, QStringLiteral("1"), false);
        Program::addPair(in, out, false, QStringLiteral("1"), false);
        drop(in, QStringLiteral("doc"));
        Recorder window;
        runPass(window);
        QStringList lines = summary(window);
        const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::LongFormat);
        QCOMPARE(lines[0].mid(lines[0].indexOf(QStringLiteral("; "))),
                 QStringLiteral("; 0 file in 2 source folders (0 invalid source folder; 0 invalid "
                                "target folder)"));
        QVERIFY(QRegularExpression(QStringLiteral("^%1 - \\d\\d:\\d\\d:\\d\\d; ")
                                       .arg(QRegularExpression::escape(date)))
                    .match(lines[0])
                    .hasMatch());
        QVERIFY(QRegularExpression(
                    QStringLiteral("^Compressed files: 0, Uncompressed files: 0; "
                                   "elapsed time \\d+%1\\d\\d s$")
                        .arg(QRegularExpression::escape(QLocale::system().decimalPoint())))
                    .match(lines[1])
                    .hasMatch());
        QVERIFY(logLines(prog.dir.path(), QStringLiteral("<hr>")).isEmpty());

        config::program().language = 1;
        config::folderPairs().pair(1)->enable = QStringLiteral("1");
        runPass(window);
        lines = summary(window);
        QVERIFY(lines[0].startsWith(date + QString::fromUtf8(" à ")));
        QVERIFY(
            lines[0].endsWith(QString::fromUtf8("; 1 fichier dans 2 dossiers sources (0 dossier "
                                                "source invalide; 0 dossier cible invalide)")));
        QVERIFY(lines[1].startsWith(
            QString::fromUtf8("Fichiers compressés: 0, Fichiers décompressés: 1; durée ")));
        QCOMPARE(
            logLines(prog.dir.path(), QStringLiteral("<hr>")),
            QStringList{lines[0] + QStringLiteral("<br>") + lines[1] + QStringLiteral("<br><hr>")});
        QCOMPARE(window.trayTip, QString::fromUtf8("Velmorado 1.0c - Attente"));
    }

    // Start and stop: the controls, the look, the tips, the countdown.
    void startStopAndCountdown() {
        Program prog;
        config::settings().temporisation = 3;
        Recorder window;
        engine::Scheduler scheduler(window);
        bool service = true;
        scheduler.runningAsService = [&] { return service; };

        scheduler.startStop(); // no pairs: nothing but the countdown and the bars
        QVERIFY(scheduler.isStopped());
        QCOMPARE(window.count(kRunning), 0);
        QCOMPARE(window.bars.value(QStringLiteral("ProgressBarCopie"), -1), 0);
        QVERIFY(window.enabled.isEmpty());

        Program::addPair(prog.folder(QStringLiteral("in")), prog.folder(QStringLiteral("out")),
                         false);
        scheduler.startStop();
        const QStringList locked = {QStringLiteral("cmdAjouterDossierSource"),
                                    QStringLiteral("cmdSupprimer"),
                                    QStringLiteral("cmdModifierDossierSource"),
                                    QStringLiteral("cmdModifierDossierCible"),
                                    QStringLiteral("mnuDossiers"),
                                    QStringLiteral("mnuTempo"),
                                    QStringLiteral("mnuLangue"),
                                    QStringLiteral("mnuQuitter"),
                                    QStringLiteral("mnuDefinirLogs"),
                                    QStringLiteral("mnuPurgeLogs"),
                                    QStringLiteral("mnuService")};
        for (const QString& c : locked) {
            QVERIFY2(window.enabled.contains(c) && !window.enabled[c], qPrintable(c));
        }
        QVERIFY(window.running && window.timerOn && !scheduler.isStopped());
        QCOMPARE(window.count(kRunning), 1);
        QCOMPARE(window.trayTip, kWait);

        // 3 s, 2 s, 1 s with the wait bar at 0, 1, 2, then a pass.
        QStringList shown;
        for (int i = 0; i < 4; ++i) {
            scheduler.tick();
            shown << window.labels.value(QStringLiteral("lblTempo")) +
                         QString::number(window.bars.value(QStringLiteral("ProgressBarAttente")));
        }
        QCOMPARE(shown, QStringList({QStringLiteral("3 s0"), QStringLiteral("2 s1"),
                                     QStringLiteral("1 s2"), QStringLiteral("3 s0")}));
        QCOMPARE(window.count(kRunning), 2);

        // Stop as the service: mnuQuitter stays off, the rest comes back.
        scheduler.startStop();
        QVERIFY(scheduler.isStopped() && !window.timerOn && !window.running);
        QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QString());
        for (const QString& c : locked) {
            QCOMPARE(window.enabled.value(c), c != QLatin1String("mnuQuitter"));
        }
        QCOMPARE(window.trayTip, QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(window.events.last(), QStringLiteral("restore"));
        scheduler.tick(); // a tick that slips through while stopped runs nothing
        QCOMPARE(window.count(kRunning), 2);

        service = false; // not a service: mnuQuitter back on
        scheduler.startStop();
        scheduler.startStop();
        QVERIFY(window.enabled.value(QStringLiteral("mnuQuitter")));
        config::program().ntFlag = false; // not the NT family: no service menu
        service = true;
        scheduler.startStop();
        scheduler.startStop();
        QVERIFY(window.enabled.value(QStringLiteral("mnuQuitter")));
        QVERIFY(!window.enabled.value(QStringLiteral("mnuService")));
    }

    // A stop pressed during a pass ends it after the current pair; the pass
    // still writes its summary and leaves the timer off. A start pressed while
    // that pass finishes is refused: no pass runs inside a pass.
    void stopAndStartDuringAPass() {
        Program prog;
        Recorder window;
        engine::Scheduler scheduler(window);
        const QString a = prog.folder(QStringLiteral("a")), b = prog.folder(QStringLiteral("b"));
        const QString out = prog.folder(QStringLiteral("out"));
        Program::addPair(a, out, false);
        Program::addPair(b, out, false);
        drop(a, QStringLiteral("fa"));
        drop(b, QStringLiteral("fb"));
        int clicks = 0; // a stop once the first file is through, then a start
        window.onEvents = [&] {
            if (clicks < 2 && arrived(out, QStringLiteral("fa"))) {
                ++clicks;
                scheduler.startStop();
            }
        };
        scheduler.startStop();
        QCOMPARE(clicks, 2);
        QCOMPARE(window.count(kRunning), 1);
        QVERIFY(scheduler.isStopped() && !window.running && !window.timerOn);
        QVERIFY(!arrived(out, QStringLiteral("fb")));
        QVERIFY(summary(window)[0].contains(QStringLiteral("1 file in 1 source folder")));
        QCOMPARE(window.trayTip, kWait);

        window.onEvents = nullptr; // once the pass is over, a start works again
        scheduler.startStop();
        QVERIFY(!scheduler.isStopped() && arrived(out, QStringLiteral("fb")));
    }

    // ArretAutomatique ends the program after the pass and one more yield of
    // Performance rounds; the file lists follow the selected pair.
    void automaticEndAndFileLists() {
        Program prog;
        config::Settings& s = config::settings();
        s.arretAutomatique = s.afficherFichiers = true;
        s.performance = 3;
        const QString in = prog.folder(QStringLiteral("in")),
                      out = prog.folder(QStringLiteral("out"));
        Program::addPair(in, out, false);
        Recorder window;
        window.selected = 1;
        engine::Scheduler scheduler(window);
        int roundsAtWait = -1;
        window.onEvents = [&] {
            if (window.trayTip == kWait && roundsAtWait < 0) {
                roundsAtWait = window.eventRounds;
            }
        };
        scheduler.startStop(); // nothing to do: only the source list
        QCOMPARE(window.events.mid(window.events.size() - 3),
                 QStringList({QStringLiteral("list 1 ") + in, QStringLiteral("tip ") + kWait,
                              QStringLiteral("end")}));
        QCOMPARE(window.eventRounds - roundsAtWait + 1, 3);

        drop(in, QStringLiteral("doc")); // a file done: the target list too
        engine::state().stopped = true;
        scheduler.startStop();
        QCOMPARE(window.ends, 2);
        QCOMPARE(window.count(QStringLiteral("list 2 ") + out), 1);
    }
};

QTEST_GUILESS_MAIN(PassTest)
#include "test_engine_pass.moc"
