// The processing pass and the cycle scheduler through a recording window, on
// uncompress pairs: plain files moved without the archiver show what ran.

#include "EngineTestKit.h"

#include <sys/mount.h>

#include "engine/Scheduler.h"
#include "engine/Texts.h"

#include <sys/stat.h>

using namespace kit;

namespace {

const QString kRunning = "tip Velmorado 1.0c - compress/uncompress";
const QString kWait = "tip Velmorado 1.0c - Wait";

// The two summary lines of a pass that moved one file, whole, with today's
// date, the time and the duration.
void checkSummary(const Recorder& window) {
    const auto text = [](const QString& t) { return QRegularExpression::escape(t); };
    const QString label = window.labels.value("lblMessage");
    QVERIFY2(QRegularExpression(
                 '^' + text(engine::texts::longDateToday() + " - ") + "\\d\\d:\\d\\d:\\d\\d" +
                 text("; 1 file in 1 source folder (0 invalid source folder; 0 invalid target "
                      "folder)\r\nCompressed files: 0, Uncompressed files: 1; elapsed time ") +
                 "\\d+\\.\\d\\d s$")
                 .match(label)
                 .hasMatch(),
             qPrintable(label));
}

} // namespace

// What stat() would say of a folder whose times are an hour old.
struct stat anHourAgo(struct stat st) {
    st.st_mtim.tv_sec -= 3600;
    st.st_ctim.tv_sec -= 3600;
    return st;
}

class PassTest : public QObject {
    Q_OBJECT

    std::optional<Program> prog;
    QString src, out;
    Recorder window;

private Q_SLOTS:
    void init() {
        prog.emplace();
        out = prog->out, src = prog->src;
        window = Recorder();
    }
    // NbTemporisations counts passes: after a start, a pair of 2 is processed,
    // skipped, processed. The forced pass of a start processes every enabled
    // pair; a disabled pair is checked, warned about and counted, never processed.
    void intervalsForcedPassAndDisabledPairs() {
        config::settings().temporisation = 1;
        const QString a = prog->folder("a"), b = prog->folder("b"), c = prog->folder("c");
        const QString cOut = prog->folder("cOut");
        Program::addPair(a, out, false, "2");
        Program::addPair(b, out, false, "3");
        Program::addPair(c, cOut, false, "2", false);
        engine::Scheduler scheduler(window);
        QString processed;
        int pass = 0;
        const auto step = [&](const std::function<void()>& run) {
            ++pass;
            for (const QString& f : {a, b, c}) {
                drop(f, f.right(1) + QString::number(pass));
            }
            run();
            processed += QString::number(pass) + ':';
            for (const QString& f : entries(out)) {
                processed += f;
                QVERIFY(QFile::remove(in(out, f)));
            }
            processed += ' ';
            QVERIFY2(entries(cOut).isEmpty(), "a disabled pair was processed");
            QCOMPARE(engine::state().sourceFolders, 3); // the disabled pair's too
        };
        step([&] { scheduler.startStop(); }); // the forced pass
        scheduler.tick(); // the first tick after a start only shows the countdown
        for (int i = 0; i < 3; ++i) {
            step([&] { scheduler.tick(); });
        }
        QCOMPARE(processed, "1:a1b1 2: 3:a2a3 4:b2b3b4 ");
        scheduler.startStop(); // a stop, then a start forces every enabled pair again
        step([&] { scheduler.startStop(); });
        QVERIFY(processed.endsWith("5:a4a5b5 "));
    }
    // Missing folders, source before target, each counted once: a message
    // window, log line, beep and network message (a "net" in the program
    // folder comes first) each, no summary entry; the system log for a service.
    void missingFolderWarnings() {
        config::Settings& s = config::settings();
        s.erreurDossier = s.erreurDossierSon = s.erreurDossierEventLog = s.logs = true;
        s.erreurDossierNetSend = true;
        writeFile(prog->filePath("net"),
                  "#!/bin/sh\ncd \"$(dirname \"$0\")\"\nprintf '%s\\n' \"$@\" >n.$$\n"
                  "mv n.$$ $$.net\n",
                  0700);
        const QStringList gone = {prog->filePath("gone1/"), prog->filePath("gone2/"),
                                  prog->filePath("gone3/")};
        Program::addPair(gone[0], gone[1], true);         // both missing
        Program::addPair(src, gone[2], true, "1", false); // disabled
        Program::addPair(QString(), src, true);           // empty fields: counted only
        Program::addPair(src, QString(), true);
        QStringList systemLog;
        bool service = true;
        const engine::ServiceHooks hooks{
            [&] { return service; },
            [&](const QString& t, int type) { systemLog << QString::number(type) + ' ' + t; }};
        pass(window, hooks);
        const QStringList log = logLines(prog->path(), " - Unknown ");
        // folders, invalid ones, beeps, message windows, log lines
        QCOMPARE(counts().mid(3) << window.beeps << int(window.messages.size()) << int(log.size()),
                 QList<int>({2, 2, 3, 3, 3, 3}));
        for (int i = 0; i < 3; ++i) {
            const QString& m = window.messages[i];
            QVERIFY(m.endsWith(i == 0 ? " - Unknown source folder" : " - Unknown target folder"));
            QCOMPARE(log[i], m + ": " + gone[i] + "<br>");
            QCOMPARE(systemLog[i], "2 " + m + ": " + gone[i]);
        }
        QVERIFY(logLines(prog->path(), "<hr>").isEmpty());
        const auto sent = [&] { return QDir(prog->path()).entryList({"*.net"}); };
        QTRY_COMPARE(sent().size(), 3); // one per warning
        QCOMPARE(readFile(prog->filePath(sent()[0])),
                 "send\nAdministrator\n\"Warning from Velmorado: unknown folder\"\n");
        s.erreurDossierNetSend = service = false;
        pass(window, hooks);
        QCOMPARE(systemLog.size(), 3);
    }
    // A source folder found empty, and unchanged since, is not walked again;
    // whatever comes into it, made there or renamed into it, is taken at the
    // next pass all the same.
    void anIdleFolderTakesWhatComesIntoIt() {
        Program::addPair(src, out);
        // A folder changed within the last two seconds is always walked: each
        // step waits longer, so that only the folder's times can tell.
        const auto settle = [] { QTest::qWait((engine::IdleFolders::kSettleSeconds + 1) * 1000); };
        settle();
        pass(window);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(src), &st) == 0);
        engine::IdleFolders::Look look;
        QVERIFY(engine::idleFolders().unchanged(src + '/', st, &look));
        drop(src, "made here.txt", "one");
        settle();
        pass(window);
        QCOMPARE(entries(out), QStringList{"made here.txt"});
        settle();
        pass(window);
        drop(prog->arch, "renamed in.txt", "two");
        QVERIFY(QFile::rename(in(prog->arch, "renamed in.txt"), in(src, "renamed in.txt")));
        settle();
        pass(window);
        QCOMPARE(entries(out), (QStringList{"made here.txt", "renamed in.txt"}));
    }
    // A device number freed by an unmount can come back as a share's, whose
    // folder times another machine's changes do not reach: once the mount
    // table has changed, the next pass asks again which file systems are
    // local. /proc stands for the share.
    void aDeviceNumberThatComesBackAsAShareIsAskedAgain() {
        struct stat local {
        }, share{};
        QVERIFY(::stat(QFile::encodeName(src), &local) == 0 && ::stat("/proc/self", &share) == 0);
        engine::IdleFolders::Look look;
        engine::idleFolders().unchanged(src + '/', anHourAgo(local), &look);
        if (!look.trusted) {
            QSKIP("the temporary folder's changes are not all seen here");
        }
        if (::geteuid() != 0) {
            QSKIP("needs root to change the mount table");
        }
        const QByteArray mountPoint = QFile::encodeName(prog->folder("mnt"));
        QVERIFY(::mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") == 0);
        const auto unmount = qScopeGuard([&] { ::umount2(mountPoint, MNT_DETACH); });
        share.st_dev = local.st_dev;
        pass(window);
        engine::idleFolders().unchanged("/proc/self/", anHourAgo(share), &look);
        QVERIFY(!look.trusted);
    }
    // The folder a pair names can change between the look at it and the
    // question of its file system: a link to a share replaced by a local
    // folder. What the local folder answered must not stay with the share's
    // device number once the pass is over. /proc stands for the share.
    void aShareSwappedForALocalFolderIsNotTrustedLater() {
        const QString via = prog->path() + "/via";
        QVERIFY(QFile::link("/proc/self", via));
        struct stat share {};
        QVERIFY(::stat(QFile::encodeName(via), &share) == 0);
        // Swapped while the pair is looked at.
        QVERIFY(QFile::remove(via) && QDir().mkdir(via));
        engine::IdleFolders::Look look;
        engine::idleFolders().unchanged(via + '/', anHourAgo(share), &look);
        pass(window);
        QVERIFY(::stat("/proc/self", &share) == 0);
        engine::idleFolders().unchanged("/proc/self/", anHourAgo(share), &look);
        QVERIFY(!look.trusted);
    }
    // An archive this pass made is complete: the next pair of the pass, whose
    // source is that target, extracts it without waiting for it to be quiet,
    // though that folder had been idle and looked at before.
    void aChainedPairTakesTheArchiveMadeInThePass() {
        Program::addChain(src, prog->arch, out);
        QTest::qWait((engine::IdleFolders::kSettleSeconds + 1) * 1000);
        pass(window);
        drop(src, "report.doc", "a report");
        pass(window);
        QCOMPARE(entries(prog->arch), QStringList());
        QCOMPARE(readFile(in(out, "report.doc")), "a report");
    }
    // The copy bar's range is the number of pairs, so that any table fills it
    // step by step; it is emptied at the end.
    void theCopyBarCountsThePairs() {
        for (const QString& f : {prog->folder("a"), prog->folder("b"), prog->folder("c")}) {
            Program::addPair(f, out);
        }
        pass(window);
        QCOMPARE(window.barLog.value("ProgressBarCopie"),
                 QStringList({"range 0 3", "1", "2", "3", "0"}));
        QCOMPARE(window.barLog.value("ProgressBarAttente"), QStringList{"0"});
    }
    // The summary lines, French and English, singular and plural; the log
    // entry only when something was compressed or uncompressed.
    void summaryLines_data() {
        QTest::addColumn<bool>("french");
        QTest::addColumn<QList<int>>("n"); // as in PassCounts
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("line2");
        QTest::newRow("English, plural targets")
            << false << QList<int>{3, 3, 0, 2, 0, 1}
            << "D - T; 3 files in 2 source folders (0 invalid source folder; 1 invalid target "
               "folder)"
            << "Compressed files: 3, Uncompressed files: 0; elapsed time 0.25 s";
        QTest::newRow("English, plural invalid")
            << false << QList<int>{1, 0, 1, 1, 2, 2}
            << "D - T; 1 file in 1 source folder (2 invalid source folders; 2 invalid target "
               "folders)"
            << "Compressed files: 0, Uncompressed files: 1; elapsed time 0.25 s";
        QTest::newRow("French, plural")
            << true << QList<int>{2, 1, 0, 1, 2, 3}
            << "D à T; 2 fichiers dans 1 dossier source (2 dossiers sources invalides; 3 "
               "dossiers cibles invalides)"
            << "Fichiers compressés: 1, Fichiers décompressés: 0; durée 0,25 s";
        QTest::newRow("French, singular")
            << true << QList<int>{0, 0, 0, 2, 1, 0}
            << "D à T; 0 fichier dans 2 dossiers sources (1 dossier source invalide; 0 dossier "
               "cible invalide)"
            << "Fichiers compressés: 0, Fichiers décompressés: 0; durée 0,25 s";
    }
    void summaryLines() {
        QFETCH(bool, french);
        QFETCH(QList<int>, n);
        const engine::PassCounts counts{n[0], n[1], n[2], n[3], n[4], n[5]};
        QFETCH(QString, line1);
        QFETCH(QString, line2);
        QCOMPARE(engine::texts::summaryLine1(french, "D", "T", counts), line1);
        QCOMPARE(engine::texts::summaryLine2(french, counts, french ? "0,25" : "0.25"), line2);
        QCOMPARE(engine::texts::elapsedText(0.25) + ' ' + engine::texts::elapsedText(12345.678),
                 "0.25 12345.68"); // in the C locale
        config::settings().logs = true;
        Program::addPair(src, out, false, "1", false);
        drop(src, "doc");
        pass(window); // nothing done: no log entry
        QVERIFY(logLines(prog->path(), "<hr>").isEmpty());
        config::folderPairs().pair(1)->enable = "1";
        pass(window);
        QCOMPARE(
            logLines(prog->path(), "<hr>"),
            QStringList{window.labels.value("lblMessage").replace("\r\n", "<br>") + "<br><hr>"});
    }
    // Start and stop: the controls, the countdown, the selected pair's file
    // lists (the target's once a file was done); a service cannot be ended
    // from its window; a stray tick while stopped runs nothing.
    void startStopCountdownAndFileLists() {
        config::settings().temporisation = 3;
        config::settings().afficherFichiers = true;
        Program::addPair(src, out);
        window.selected = 1;
        engine::Scheduler scheduler(window);
        scheduler.runningAsService = [] { return true; };
        scheduler.startStop();
        QVERIFY(window.running && window.timerOn && !scheduler.isStopped());
        QStringList off = window.enabled.keys(false); // every control that edits what runs
        off.sort();
        QCOMPARE(off, QStringList({"cmdAjouterDossierSource", "cmdModifierDossierCible",
                                   "cmdModifierDossierSource", "cmdSupprimer", "mnuDefinirLogs",
                                   "mnuDossiers", "mnuLangue", "mnuPurgeLogs", "mnuQuitter",
                                   "mnuService", "mnuTempo"}));
        QCOMPARE(window.events.last(2), QStringList({"list 1 " + src, kWait}));
        drop(src, "doc");
        QStringList shown; // 3 s, 2 s, 1 s with the wait bar at 0, 1, 2, then a pass
        for (int i = 0; i < 4; ++i) {
            scheduler.tick();
            shown << window.labels.value("lblTempo") +
                         QString::number(window.bars.value("ProgressBarAttente"));
        }
        QCOMPARE(shown, QStringList({"3 s0", "2 s1", "1 s2", "3 s0"}));
        QCOMPARE(window.events.last(4),
                 QStringList({kRunning, "list 1 " + src, "list 2 " + out, kWait}));
        scheduler.startStop();
        QVERIFY(scheduler.isStopped() && !window.timerOn && !window.running);
        QCOMPARE(window.enabled.keys(false), QStringList{"mnuQuitter"});
        QCOMPARE(window.events.last(2), QStringList({"tip Velmorado 1.0c", "restore"}));
        scheduler.tick();
        QCOMPARE(window.events.last(), "restore");
    }
    // A stop during a pass ends it after the current pair, with its summary
    // and the timer off; a start while it finishes is refused (no pass in a pass).
    void stopAndStartDuringAPass() {
        engine::Scheduler scheduler(window);
        const QString a = prog->folder("a"), b = prog->folder("b");
        Program::addPair(a, out);
        Program::addPair(b, out);
        drop(a, "fa");
        drop(b, "fb");
        int clicks = 0; // a stop once the first file is through, then a start
        window.onEvents = [&] {
            if (clicks < 2 && QFile::exists(in(out, "fa"))) {
                ++clicks;
                scheduler.startStop();
            }
        };
        scheduler.startStop();
        QCOMPARE(clicks, 2);
        QCOMPARE(window.events.count(kRunning), 1);
        QVERIFY(scheduler.isStopped() && !window.running && !window.timerOn);
        QVERIFY(!QFile::exists(in(out, "fb")));
        checkSummary(window);
        window.onEvents = nullptr; // once the pass is over, a start works again
        scheduler.startStop();
        QVERIFY(!scheduler.isStopped() && QFile::exists(in(out, "fb")));
    }
};

QTEST_GUILESS_MAIN(PassTest)
#include "test_engine_pass.moc"
