// The processing pass and the cycle scheduler, driven through a recording
// window on real folders. Pairs in uncompress mode move plain files without
// the archiver, which is enough to see which pairs a pass processes.

#include "EngineTestKit.h"

#include "engine/DailyLog.h"
#include "engine/ProcessingPass.h"
#include "engine/Scheduler.h"
#include "engine/Texts.h"
#include "platform/ShellCommand.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

using kit::Program;
using kit::Recorder;

namespace {

const QString kTipRunningEn = QStringLiteral("tip Velmorado 1.0c - compress/uncompress");
const QString kTipWaitEn = QStringLiteral("Velmorado 1.0c - Wait");

// Drops an aged file into folder, so that the next walk takes it at once.
void drop(const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    kit::writeFile(path, name.toUtf8());
    kit::age(path);
}

bool arrived(const QString& folder, const QString& name) {
    return QFile::exists(folder + QLatin1Char('/') + name);
}

QStringList logLines(const QString& folder) {
    const QString path = engine::dayLogPath(folder, QDate::currentDate());
    QString text = QString::fromUtf8(kit::readFile(path));
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

QStringList linesContaining(const QStringList& lines, const QString& part) {
    return lines.filter(part);
}

// What follows the date and the time on summary line 1.
QString countsPart(const QString& line1) {
    return line1.mid(line1.indexOf(QStringLiteral("; ")) + 2);
}

void runPass(Recorder& window, const engine::ServiceHooks& hooks = {}) {
    engine::state().stopped = false;
    engine::RunProcessingPass(window, hooks);
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
        const QString gone = prog.dir.filePath(QStringLiteral("gone"));
        Program::addPair(a, aOut, false, QStringLiteral("2"));
        Program::addPair(b, bOut, false, QStringLiteral("3"));
        Program::addPair(c, cOut, false, QStringLiteral("2"), false);
        Program::addPair(c, gone, false, QStringLiteral("1"), false);

        Recorder window;
        engine::Scheduler scheduler(window);
        QStringList processedA, processedB;
        int pass = 0;
        const auto dropAll = [&] {
            ++pass;
            for (const QString& f : {a, b, c}) {
                drop(f, QStringLiteral("f%1").arg(pass));
            }
        };
        const auto collect = [&] {
            const QString name = QStringLiteral("f%1").arg(pass);
            if (arrived(aOut, name)) {
                processedA << QString::number(pass);
            }
            if (arrived(bOut, name)) {
                processedB << QString::number(pass);
            }
            QVERIFY2(!arrived(cOut, name), "a disabled pair was processed");
            // Each pass counts the four pairs and warns about the missing target.
            QCOMPARE(engine::state().sourceFolders, 4);
            QCOMPARE(engine::state().invalidTargetFolders, 1);
            QCOMPARE(window.messages.size(), pass);
            QVERIFY(window.messages.last().endsWith(QStringLiteral(" - Unknown target folder")));
        };

        dropAll();
        scheduler.startStop(); // forced pass
        QVERIFY(!scheduler.isStopped());
        collect();
        // Temporisation 1: the first tick after a start shows "1 s"; from then
        // on every tick runs a pass and shows "1 s" once.
        scheduler.tick();
        QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QStringLiteral("1 s"));
        QCOMPARE(window.count(kTipRunningEn), 1);
        for (int i = 0; i < 3; ++i) {
            dropAll();
            scheduler.tick();
            QCOMPARE(window.count(kTipRunningEn), i + 2);
            QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QStringLiteral("1 s"));
            collect();
        }
        // Files of a skipped pass are taken by the next processing of the pair.
        QCOMPARE(processedA, QStringList({QStringLiteral("1"), QStringLiteral("3")}));
        QCOMPARE(processedB, QStringList({QStringLiteral("1"), QStringLiteral("4")}));
        QVERIFY(arrived(aOut, QStringLiteral("f2")) && arrived(bOut, QStringLiteral("f3")));
        QCOMPARE(config::folderPairs().pair(3)->remaining, QStringLiteral("2"));
        QCOMPARE(config::folderPairs().pair(1)->remaining, QStringLiteral("1"));
        QCOMPARE(kit::names(c).size(), 4);

        // After a stop, a start forces every enabled pair again, whatever its count.
        scheduler.startStop();
        QVERIFY(scheduler.isStopped());
        dropAll();
        scheduler.startStop();
        QVERIFY(arrived(aOut, QStringLiteral("f5")) && arrived(bOut, QStringLiteral("f5")));
        QCOMPARE(config::folderPairs().pair(1)->remaining, QStringLiteral("2"));
    }

    // Missing folders: the warnings in order, the counts, the message window,
    // one log line each, the system log only for a service, the beep.
    void missingFolderWarnings() {
        Program prog;
        config::Settings& s = config::settings();
        s.erreurDossier = true;
        s.erreurDossierSon = true;
        s.erreurDossierEventLog = true;
        s.logs = true;
        const QString here = prog.folder(QStringLiteral("here"));
        const QString missing1 = prog.dir.filePath(QStringLiteral("missing1"));
        const QString missing2 = prog.dir.filePath(QStringLiteral("missing2"));
        const QString missing3 = prog.dir.filePath(QStringLiteral("missing3"));
        const QString plainFile = prog.dir.filePath(QStringLiteral("plain"));
        kit::writeFile(plainFile, "x");
        Program::addPair(missing1, missing2, true); // both missing
        Program::addPair(here, missing3, true, QStringLiteral("1"),
                         false);                 // disabled, target missing
        Program::addPair(QString(), here, true); // empty fields: counted only
        Program::addPair(here, QString(), true);
        Program::addPair(here, plainFile, false); // a file passes the existence check

        Recorder window;
        QStringList systemLog;
        bool service = true;
        const engine::ServiceHooks hooks{[&] { return service; },
                                         [&](const QString& text, int type) {
                                             systemLog
                                                 << QString::number(type) + QLatin1Char(' ') + text;
                                         }};
        runPass(window, hooks);

        const engine::EngineState& st = engine::state();
        QCOMPARE(st.sourceFolders, 3);
        QCOMPARE(st.invalidSourceFolders, 2);
        QCOMPARE(st.invalidTargetFolders, 3);
        QCOMPARE(window.messages.size(), 3);
        QVERIFY(window.messages[0].endsWith(QStringLiteral(" - Unknown source folder")));
        QVERIFY(window.messages[1].endsWith(QStringLiteral(" - Unknown target folder")));
        QVERIFY(window.messages[2].endsWith(QStringLiteral(" - Unknown target folder")));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d - "))
                    .match(window.messages[0])
                    .hasMatch());
        QCOMPARE(window.beeps, 3);

        const QStringList lines = logLines(prog.dir.path());
        const QStringList warnings = linesContaining(lines, QStringLiteral(" - Unknown "));
        QCOMPARE(warnings.size(), 3);
        QVERIFY(warnings[0].contains(QStringLiteral(" - Unknown source folder: ") + missing1 +
                                     QStringLiteral("/<br>")));
        QVERIFY(warnings[1].contains(QStringLiteral(" - Unknown target folder: ") + missing2 +
                                     QStringLiteral("/<br>")));
        QVERIFY(warnings[2].contains(missing3 + QStringLiteral("/<br>")));
        QVERIFY2(linesContaining(lines, QStringLiteral("<hr>")).isEmpty(),
                 "a pass that did nothing wrote a summary");
        QCOMPARE(linesContaining(lines, QStringLiteral("<html>")).size(), 1);

        QCOMPARE(systemLog.size(), 3);
        QCOMPARE(systemLog[0], QStringLiteral("2 ") + window.messages[0] + QStringLiteral(": ") +
                                   missing1 + QLatin1Char('/'));

        // Not a service, or not the NT family: no system-log entry.
        service = false;
        runPass(window, hooks);
        config::program().ntFlag = false;
        service = true;
        runPass(window, hooks);
        QCOMPARE(systemLog.size(), 3);
        QCOMPARE(window.messages.size(), 9);

        // Without ErreurDossier: no message and no log line, the beep stays.
        s.erreurDossier = false;
        runPass(window, hooks);
        QCOMPARE(window.messages.size(), 9);
        QCOMPARE(linesContaining(logLines(prog.dir.path()), QStringLiteral(" - Unknown ")).size(),
                 9);
        QCOMPARE(window.beeps, 12);
    }

    // The network message: "net send " + MessageNetSend through the shell,
    // with the program folder first on PATH; only on the NT family, when
    // switched on and not empty.
    void networkMessage() {
        Program prog;
        const QString out = prog.dir.filePath(QStringLiteral("net.out"));
        const QString net = prog.dir.filePath(QStringLiteral("net"));
        kit::writeFile(net, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/net.tmp\"\n"
                            "mv \"$(dirname \"$0\")/net.tmp\" \"$(dirname \"$0\")/net.out\"\n");
        QFile::setPermissions(net, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        config::Settings& s = config::settings();
        s.erreurDossierNetSend = true;
        Program::addPair(prog.dir.filePath(QStringLiteral("nowhere")), prog.dir.path(), true);

        // Switched off, empty, or not the NT family: nothing is run. A marker
        // command run afterwards shows that the shell had its chance.
        Recorder window;
        const auto runWithout = [&](const std::function<void()>& change) {
            s.erreurDossierNetSend = true;
            s.messageNetSend = config::kDefaultMessageNetSend;
            config::program().ntFlag = true;
            change();
            runPass(window);
        };
        runWithout([&] { s.erreurDossierNetSend = false; });
        runWithout([&] { s.messageNetSend.clear(); });
        runWithout([&] { config::program().ntFlag = false; });
        const QString marker = prog.dir.filePath(QStringLiteral("marker"));
        QVERIFY(platform::runShellCommandDetached(
            QStringLiteral("sleep 0.5; touch '") + marker + QLatin1Char('\''), QString()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
        QVERIFY2(!QFile::exists(out), "the network message was sent while switched off");

        s.erreurDossierNetSend = true;
        s.messageNetSend = config::kDefaultMessageNetSend;
        config::program().ntFlag = true;
        runPass(window);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);
        QCOMPARE(kit::readFile(out),
                 QByteArray("send\nAdministrator\nWarning from Velmorado: unknown folder\n"));
    }

    // The two summary lines, French and English, singular and plural.
    void summaryTexts() {
        using engine::texts::PassCounts;
        const QString date = QStringLiteral("Saturday, December 5, 2026");
        PassCounts c{3, 3, 0, 2, 0, 1};
        QCOMPARE(engine::texts::summaryLine1(false, date, QStringLiteral("14:03:41"), c),
                 QStringLiteral("Saturday, December 5, 2026 - 14:03:41; 3 files in 2 source "
                                "folders (0 invalid source folder; 1 invalid target folder)"));
        QCOMPARE(engine::texts::summaryLine2(false, c, QStringLiteral("4.52")),
                 QStringLiteral("Compressed files: 3, Uncompressed files: 0; elapsed time 4.52 s"));
        c = PassCounts{2, 1, 0, 1, 2, 3};
        QCOMPARE(engine::texts::summaryLine1(true, QStringLiteral("D"), QStringLiteral("T"), c),
                 QString::fromUtf8("D à T; 2 fichiers dans 1 dossier source (2 dossiers sources "
                                   "invalides; 3 dossiers cibles invalides)"));
        c = PassCounts{1, 0, 1, 5, 1, 0};
        QCOMPARE(engine::texts::summaryLine1(true, QStringLiteral("D"), QStringLiteral("T"), c),
                 QString::fromUtf8("D à T; 1 fichier dans 5 dossiers sources (1 dossier source "
                                   "invalide; 0 dossier cible invalide)"));
        QCOMPARE(
            engine::texts::summaryLine2(true, c, QStringLiteral("0,25")),
            QString::fromUtf8("Fichiers compressés: 0, Fichiers décompressés: 1; durée 0,25 s"));
        QCOMPARE(engine::texts::elapsedText(1234.5),
                 QStringLiteral("1234") + QLocale::system().decimalPoint() + QStringLiteral("50"));
    }

    // A pass writes its summary to lblMessage always and to the log only when
    // it compressed or uncompressed something.
    void summaryOfAPass() {
        Program prog;
        config::settings().logs = true;
        const QString in = prog.folder(QStringLiteral("in")),
                      out = prog.folder(QStringLiteral("out"));
        Program::addPair(in, out, false, QStringLiteral("1"), false);
        Program::addPair(in, out, false, QStringLiteral("1"), false);
        drop(in, QStringLiteral("doc"));

        Recorder window;
        runPass(window);
        QStringList lines =
            window.labels.value(QStringLiteral("lblMessage")).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 2);
        const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::LongFormat);
        QVERIFY2(lines[0].startsWith(date + QStringLiteral(" - ")), qPrintable(lines[0]));
        QCOMPARE(countsPart(lines[0]), QStringLiteral("0 file in 2 source folders (0 invalid "
                                                      "source folder; 0 invalid target folder)"));
        const QString sep = QLocale::system().decimalPoint();
        QVERIFY2(QRegularExpression(QStringLiteral("^Compressed files: 0, Uncompressed files: 0; "
                                                   "elapsed time \\d+") +
                                    QRegularExpression::escape(sep) + QStringLiteral("\\d\\d s$"))
                     .match(lines[1])
                     .hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY(linesContaining(logLines(prog.dir.path()), QStringLiteral("<hr>")).isEmpty());

        // One file moved by the enabled pair, in French this time.
        config::program().language = 1;
        config::folderPairs().pair(1)->enable = QStringLiteral("1");
        runPass(window);
        QVERIFY(arrived(out, QStringLiteral("doc")));
        lines = window.labels.value(QStringLiteral("lblMessage")).split(QStringLiteral("\r\n"));
        QVERIFY2(lines[0].startsWith(date + QString::fromUtf8(" à ")), qPrintable(lines[0]));
        QCOMPARE(countsPart(lines[0]),
                 QString::fromUtf8("1 fichier dans 2 dossiers sources (0 dossier source invalide; "
                                   "0 dossier cible invalide)"));
        QVERIFY(lines[1].startsWith(
            QString::fromUtf8("Fichiers compressés: 0, Fichiers décompressés: 1; durée ")));
        const QStringList summaries =
            linesContaining(logLines(prog.dir.path()), QStringLiteral("<hr>"));
        QCOMPARE(summaries.size(), 1);
        QCOMPARE(summaries[0],
                 lines[0] + QStringLiteral("<br>") + lines[1] + QStringLiteral("<br><hr>"));
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

        // No pairs: only the countdown and the bars are reset.
        scheduler.startStop();
        QVERIFY(scheduler.isStopped());
        QCOMPARE(window.count(kTipRunningEn), 0);
        QCOMPARE(engine::state().countdown, qint16(3));
        QCOMPARE(window.bars.value(QStringLiteral("ProgressBarCopie"), -1), 0);
        QVERIFY(window.enabled.isEmpty());

        const QString in = prog.folder(QStringLiteral("in")),
                      out = prog.folder(QStringLiteral("out"));
        Program::addPair(in, out, false);
        window.labels[QStringLiteral("lblMessage")] = QStringLiteral("old");
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
        QVERIFY(window.running);
        QVERIFY(!scheduler.isStopped());
        QVERIFY(!engine::state().forcedPass);
        QCOMPARE(window.count(kTipRunningEn), 1);
        QVERIFY(window.timerOn);
        QCOMPARE(window.trayTip, kTipWaitEn);
        QVERIFY(window.labels.value(QStringLiteral("lblMessage"))
                    .contains(QStringLiteral("0 file in 1 source folder (")));

        // Temporisation 3: 3 s, 2 s, 1 s with the wait bar at 0, 1, 2, then a pass.
        QStringList shown;
        QList<int> bar;
        for (int i = 0; i < 4; ++i) {
            scheduler.tick();
            shown << window.labels.value(QStringLiteral("lblTempo"));
            bar << window.bars.value(QStringLiteral("ProgressBarAttente"));
        }
        QCOMPARE(shown, QStringList({QStringLiteral("3 s"), QStringLiteral("2 s"),
                                     QStringLiteral("1 s"), QStringLiteral("3 s")}));
        QCOMPARE(bar, QList<int>({0, 1, 2, 0}));
        QCOMPARE(window.count(kTipRunningEn), 2);

        // Stop as the service: mnuQuitter stays off, the rest comes back.
        scheduler.startStop();
        QVERIFY(scheduler.isStopped());
        QVERIFY(!window.timerOn);
        QCOMPARE(window.labels.value(QStringLiteral("lblTempo")), QString());
        for (const QString& c : locked) {
            QCOMPARE(window.enabled.value(c), c != QLatin1String("mnuQuitter"));
        }
        QVERIFY(!window.running);
        QCOMPARE(window.trayTip, QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(window.events.last(), QStringLiteral("restore"));
        // Ticks that slip through while stopped run nothing.
        scheduler.tick();
        QCOMPARE(window.count(kTipRunningEn), 2);

        // Not a service: mnuQuitter on. Not the NT family: mnuService off.
        service = false;
        scheduler.startStop();
        scheduler.startStop();
        QVERIFY(window.enabled.value(QStringLiteral("mnuQuitter")));
        QVERIFY(window.enabled.value(QStringLiteral("mnuService")));
        config::program().ntFlag = false;
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

        // The stop comes once the first file is through, the start at the
        // next round of events, while the pass still runs.
        int clicks = 0;
        window.onEvents = [&] {
            if (clicks < 2 && arrived(out, QStringLiteral("fa"))) {
                ++clicks;
                scheduler.startStop();
            }
        };
        const int tipsBefore = window.count(kTipRunningEn);
        scheduler.startStop();
        QCOMPARE(clicks, 2);
        QCOMPARE(window.count(kTipRunningEn), tipsBefore + 1);
        QVERIFY(scheduler.isStopped());
        QVERIFY(!window.running);
        QVERIFY(!window.timerOn);
        QVERIFY(!engine::state().passRunning);
        QVERIFY(arrived(out, QStringLiteral("fa")));
        QVERIFY2(!arrived(out, QStringLiteral("fb")), "the pass went on after the stop");
        QVERIFY(window.labels.value(QStringLiteral("lblMessage"))
                    .contains(QStringLiteral("1 file in 1 source folder")));
        QCOMPARE(window.trayTip, kTipWaitEn);

        // Once the pass is over, a start works again.
        window.onEvents = nullptr;
        scheduler.startStop();
        QVERIFY(!scheduler.isStopped());
        QVERIFY(arrived(out, QStringLiteral("fb")));
    }

    // ArretAutomatique ends the program after the pass, after one more round
    // of events; the file lists follow the selected pair.
    void automaticEndAndFileLists() {
        Program prog;
        config::Settings& s = config::settings();
        s.arretAutomatique = true;
        s.afficherFichiers = true;
        s.performance = 2;
        const QString in = prog.folder(QStringLiteral("in")),
                      out = prog.folder(QStringLiteral("out"));
        Program::addPair(in, out, false);
        Recorder window;
        window.selected = 1;
        engine::Scheduler scheduler(window);

        scheduler.startStop(); // nothing to do
        QCOMPARE(window.ends, 1);
        QCOMPARE(window.events.last(), QStringLiteral("end"));
        QVERIFY(window.count(QStringLiteral("list 1 ") + in) == 1);
        QVERIFY(window.count(QStringLiteral("list 2 ") + out) == 0);
        const int waitAt = int(window.events.lastIndexOf(QStringLiteral("tip ") + kTipWaitEn));
        QVERIFY(waitAt >= 0 && waitAt < window.events.size() - 1);

        // With a file done, the target list too; Performance rounds per yield.
        drop(in, QStringLiteral("doc"));
        const int roundsBefore = window.eventRounds;
        engine::state().stopped = true;
        scheduler.startStop();
        QCOMPARE(window.ends, 2);
        QVERIFY(window.count(QStringLiteral("list 2 ") + out) == 1);
        QCOMPARE((window.eventRounds - roundsBefore) % 2, 0);

        // Performance below 1: no events at all.
        s.performance = 0;
        const int rounds = window.eventRounds;
        engine::state().stopped = true;
        scheduler.startStop();
        QCOMPARE(window.eventRounds, rounds);
    }
};

QTEST_GUILESS_MAIN(PassTest)
#include "test_engine_pass.moc"
