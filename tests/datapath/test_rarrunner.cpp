// Compression and extraction of single files with the real bundled archiver.

#include "../engine/EngineTestKit.h"
#include "config/ParameterKeys.h"
#include "engine/RarRunner.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/FileOps.h"

#include <csignal>
#include <sys/resource.h>

using engine::FileOutcome;
using namespace kit;

class TestRarRunner : public QObject {
    Q_OBJECT

    std::optional<kit::Program> m_prog;
    QString m_src, m_tgt, m_out; // folders of a pair end with "/"

    // The file n of folder s, compressed or extracted for the pair's target t.
    static FileOutcome run(bool compressing, const QString& s, const QString& t, const QString& n) {
        return compressing ? engine::CompressFile({s, t, n}) : engine::ExtractFile({s, t, n});
    }
    static FileOutcome compress(auto... a) { return run(true, a...); }
    static FileOutcome extract(auto... a) { return run(false, a...); }
    // Packs folder + base + ".rar" from members ("quoted, options after it); its content.
    static QByteArray pack(const QString& folder, const QString& base, const QString& members) {
        const QString archive = folder + base + ".rar";
        QTest::qVerify(engine::RunRarConsole(false, "rar a -os \"" + archive + "\" \"" + members),
                       "pack", qPrintable(base), __FILE__, __LINE__);
        return readFile(archive);
    }
    // base.rr holding data and base.rn holding nameFile, packed into base.rar
    // of folder; its content.
    static QByteArray packPair(const QString& folder, const QString& base, const QByteArray& data,
                               const QByteArray& nameFile) {
        writeFile(folder + base + ".rr", data);
        writeFile(folder + base + ".rn", nameFile);
        return pack(folder, base, folder + base + ".r?\" -df");
    }
    // The archive of a number, named by hand.
    static QString archive(int number) {
        return QString("RA%1.rar").arg(number, 6, 10, QChar('0'));
    }
    QStringList log(const QString& part) const { return logLines(m_prog->path(), part); }
    // The real archiver, with a copy of file put in the way at the step given:
    // what another machine or a user does to the source folder while it works;
    // or killed once it has packed (step "kill"), or once it has deleted the
    // data file and a copy of file has taken its name (step "gap").
    void archiverWithArrival(const QString& step, const QString& file = {}) const {
        const QString rar = m_prog->filePath("rar");
        QVERIFY(QFile::remove(rar));
        writeFile(
            rar,
            "#!/bin/sh\n"
            "if [ \"$1$STEP\" = akill ]; then \"$REAL_RAR\" a -os \"$3\" \"$4\"; kill -9 $$; fi\n"
            "if [ \"$1$STEP\" = agap ]; then \"$REAL_RAR\" a -os \"$3\" \"$4\"; rm -- \"${4%?}r\";"
            " cp -- \"$FILE\" \"${4%?}r\"; kill -9 $$; fi\n"
            "if [ \"$1\" = a ] && [ \"$STEP\" = archive ]; then cp -- \"$FILE\" \"$3\"; fi\n"
            "if [ \"$1\" = a ] && [ \"$STEP\" = member ]; then cp -- \"$FILE\" \"${4%?}1\"; fi\n"
            "\"$REAL_RAR\" \"$@\"; code=$?\n"
            "if [ \"$1\" = a ] && [ \"$STEP\" = name ]; then cp -- \"$FILE\" \"${4%?}n\"; fi\n"
            "if [ \"$1\" = a ] && [ \"$STEP\" = data ]; then cp -- \"$FILE\" \"${4%?}r\"; fi\n"
            "if [ \"$1\" = e ] && [ \"$STEP\" = over ]; then for a; do last=$a; done; mv -- "
            "\"$FILE\" \"$last\"; fi\n"
            "exit $code\n",
            0755);
        qputenv("REAL_RAR", VELMORADO_BIN_DIR "/rar");
        qputenv("STEP", step.toUtf8());
        qputenv("FILE", QFile::encodeName(file));
    }

    // strace attached to this process and the archivers it starts, writing the
    // calls named to file while this lives.
    struct Tracer {
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        QProcess strace;
        static bool on() { return !readFile("/proc/self/status").contains("TracerPid:\t0\n"); }
        Tracer(const QString& calls, const QString& file) {
            if (!asan.isEmpty()) { // a sanitizer's leak checker cannot run in a traced archiver
                qputenv("ASAN_OPTIONS", asan + ":detect_leaks=0");
            }
            strace.start("strace", {"-f", "-y", "-qq", "-e", "trace=" + calls, "-o", file, "-p",
                                    QString::number(::getpid())});
            for (int i = 0; i < 1000 && !on(); ++i) {
                QThread::msleep(10);
            }
        }
        ~Tracer() {
            strace.terminate();
            strace.waitForFinished(10000);
            if (!asan.isEmpty()) {
                qputenv("ASAN_OPTIONS", asan);
            }
        }
    };

private slots:
    void init() {
        m_prog.emplace();
        m_src = m_prog->src + '/', m_tgt = m_prog->arch + '/', m_out = m_prog->out + '/';
        config::settings().logs = true;
    }
    // The number stored for an archive reaches the disk before the archive:
    // where the program's folder is on another file system than the source,
    // its flush cannot wait for the end of the walk.
    void theStoredNumberIsFlushedAcrossFileSystems() {
        QTemporaryDir dir;
        const filekit::LoopExt4 fs(dir.path(), {});
        if (!fs.mounted()) {
            QSKIP("needs root, mkfs.ext4 and loop devices");
        }
        QVERIFY(QFile::link(VELMORADO_BIN_DIR "/rar", fs.path() + "/rar"));
        config::setProgramFolder(fs.path());
        writeFile(m_src + "a.txt", "to pack");
        {
            const platform::FolderFlushBatch batch;
            QCOMPARE(compress(m_src, m_tgt, "a.txt"), FileOutcome::Done);
            QVERIFY(!platform::FolderFlushBatch::pending().contains(fs.path()));
        }
        QCOMPARE(entries(m_tgt), QStringList{"RA000001.rar"});
        config::setProgramFolder(m_prog->path());
    }
    // Where names do not reach the disk in order, the flushes come before
    // whatever a power cut could otherwise lose the file by. Packing: the name
    // file is on disk before the file leaves its name, the archive before the
    // pair is deleted, and the archive's departure (with those deletions)
    // before the walk goes on: brought back beside its copy in the target, it
    // would travel again after a newer version of its file; a relayed
    // archive's departure likewise. Unpacking: the file's data before its
    // name, its new folder before the archive goes, the archive's removal and
    // a plain file's departure before the walk goes on (brought back, either
    // would land again over a newer version). Seen from a tracer attached to
    // this process (root: the loop mount; the tracer follows the archiver).
    void flushesComeBeforeWhatDependsOnThem() {
        QTemporaryDir dir;
        const filekit::LoopExt4 fs(dir.path(), {"-O", "^has_journal"});
        if (!fs.mounted() || QStandardPaths::findExecutable("strace").isEmpty()) {
            QSKIP("needs root, mkfs.ext4, loop devices and strace");
        }
        const QString src = fs.path() + "/src/", tgt = fs.path() + "/arch/",
                      out = fs.path() + "/out/";
        QVERIFY(QDir().mkpath(src) && QDir().mkpath(tgt) && QDir().mkpath(out));
        writeFile(src + "a.txt", "to pack");
        const auto walkGoesOn = [&] { // to its next file, before its end
            writeFile(dir.filePath("next"), "");
            QVERIFY(QFile::remove(dir.filePath("next")));
        };
        {
            const Tracer tracer("fsync,renameat,renameat2,rename,unlinkat,unlink",
                                dir.filePath("trace"));
            QVERIFY(Tracer::on());
            {
                const platform::FolderFlushBatch walk; // as a walk runs it
                QCOMPARE(compress(src, tgt, "a.txt"), FileOutcome::Done);
                walkGoesOn();
            }
            {
                const platform::FolderFlushBatch walk; // another machine's archive relayed
                writeFile(src + "RA000005.rar", "relayed");
                QCOMPARE(compress(src, tgt, "RA000005.rar"), FileOutcome::Done);
                walkGoesOn();
            }
            {
                const platform::FolderFlushBatch walk;
                QCOMPARE(extract(tgt, out, "RA000001.rar"), FileOutcome::Done);
                writeFile(tgt + "plain.txt", "moved as it is");
                QCOMPARE(extract(tgt, out, "plain.txt"), FileOutcome::Done);
                walkGoesOn();
            }
        }
        // The steps, in the order they were made.
        QString steps;
        for (const QByteArray& line : readFile(dir.filePath("trace")).split('\n')) {
            const auto has = [&](auto... parts) { return (line.contains(parts) && ...); };
            const bool unpacking = steps.count('E') == 2;
            const char step =
                has("fsync(", "/src>)")                       ? 'F' // the source folder flushed
                : has("rename", "/src/RA000001.rr\"")         ? 'R' // the file leaves its name
                : has("rename", "/src/RA00000", "/arch/RA")   ? 'L' // an archive leaves
                : has("rename", "\"RA000001.rar\"")           ? 'A' // the archive named
                : has("unlinkat(", "\"RA000001.rr\"")         ? 'D' // the pair deleted
                : has("fsync(", ".velmorado-x-RA000001.rar/") ? 'S' // a member's data flushed
                : has("rename", "\"RA000001.rr\"")            ? 'N' // the data file named
                : has("rename", "/out/plain.txt\"")           ? 'P' // a plain file moved as it is
                : has("rename", "/out/a.txt\"")               ? 'M' // moved under its own name
                : has("fsync(", "/out>)")                     ? 'O' // the target flushed
                : has("unlink", "/arch/RA000001.rar\"")       ? 'X' // the archive deleted
                : unpacking && has("fsync(", "/arch>)")       ? 'Q' // the archives' folder flushed
                : has("unlink", "/next\"")                    ? 'E' // the walk goes on
                                                              : '\0';
            if (step != '\0') {
                steps += step;
            }
        }
        const QRegularExpression order("^F+RF*AF+DF*LF+E"  // packing
                                       "LF+E"              // relaying
                                       "SNMO+XQ+PO+Q+E$"); // unpacking
        QVERIFY2(order.match(steps).hasMatch(), qPrintable(steps));
        QCOMPARE(readFile(out + "a.txt"), "to pack");
    }
    // A pair whose source is its target: nothing is unpacked over a plain
    // file, an archive is not packed again, and the file comes back whole.
    void pairOnOneFolderKeepsItsFiles() {
        const QString& f = m_src;
        writeFile(f + "b.txt", "plain");
        QCOMPARE(extract(f, f, "b.txt"), FileOutcome::Stopped);
        writeFile(f + "a.txt", "to pack");
        QCOMPARE(compress(f, f, "a.txt"), FileOutcome::Done);
        QCOMPARE(entries(f), (QStringList{"RA000001.rar", "b.txt"}));
        const QByteArray archive = readFile(f + "RA000001.rar");
        QCOMPARE(compress(f, f, "RA000001.rar"), FileOutcome::Stopped);
        QCOMPARE(readFile(f + "RA000001.rar"), archive);
        QCOMPARE(extract(f, f, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(entries(f), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(readFile(f + "a.txt") + readFile(f + "b.txt"), "to packplain");
    }
    // A plain file that cannot take its place in the target (a folder of its
    // name there) waits where it is, said once; it goes once the way is free.
    void aPlainFileThatCannotGoIsSaid() {
        writeFile(m_src + "report.doc", "the user's");
        QVERIFY(QDir().mkpath(m_out + "report.doc/inside"));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(extract(m_src, m_out, "report.doc"), FileOutcome::Stopped);
        }
        QCOMPARE(log("Cannot move into the target folder").size(), 1);
        QCOMPARE(readFile(m_src + "report.doc"), "the user's");
        QVERIFY(QDir(m_out + "report.doc").removeRecursively());
        QCOMPARE(extract(m_src, m_out, "report.doc"), FileOutcome::Done);
        QCOMPARE(readFile(m_out + "report.doc"), "the user's");
        QCOMPARE(engine::waitCauses().summary(0), QString());
    }
    void refusesBadNameFiles_data() {
        QTest::addColumn<QByteArray>("nameFile");
        QTest::newRow("odd length") << QByteArray("\"6100620\"\r\n");
        QTest::newRow("dot dot") << QByteArray("\"2E002E00\"\r\n");
        QTest::newRow("climbs out") << QByteArray("\"2E002E002F0065007300630061007000650064\"\r\n");
        QTest::newRow("absolute") << QByteArray("\"2F0074006D0070002F0078\"\r\n");
        QTest::newRow("nul") << QByteArray("\"610000006200\"\r\n");
    }
    // A name file that gives no plain name: nothing is written anywhere, the
    // archive stays and the log says why.
    void refusesBadNameFiles() {
        QFETCH(QByteArray, nameFile);
        const QByteArray archive = packPair(m_src, "RA000050", "precious", nameFile);
        QCOMPARE(extract(m_src, m_out, "RA000050.rar"), FileOutcome::Stopped);
        QCOMPARE(entries(m_src), QStringList{"RA000050.rar"});
        QCOMPARE(readFile(m_src + "RA000050.rar"), archive);
        const QString logName = QFileInfo(engine::state().dayLogPath).fileName();
        QCOMPARE(entries(m_prog->path()), QStringList({logName, "arch", "out", "rar", "src"}));
        QCOMPARE(entries(m_out), QStringList());
        QCOMPARE(log(m_src + "RA000050.rar<br>").size(), 1);
    }
    // A name file that cannot be written (full disk) leaves the file as it was;
    // so does an archiver gone while the program runs: the file keeps its own
    // name and waits, said once, pass after pass. The number stays handed out.
    void archiverMissing() {
        writeFile(m_src + "ab", "user data");
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit full{};
        ::getrlimit(RLIMIT_FSIZE, &full);
        const rlimit none{0, full.rlim_max}; // no byte can be written
        ::setrlimit(RLIMIT_FSIZE, &none);
        const FileOutcome noNameFile = compress(m_src, m_tgt, "ab");
        ::setrlimit(RLIMIT_FSIZE, &full);
        QCOMPARE(noNameFile, FileOutcome::Stopped);
        QCOMPARE(entries(m_src), QStringList{"ab"});
        QVERIFY(QFile::remove(m_prog->filePath("rar")));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_prog->path()));
        const FileOutcome outcome = compress(m_src, m_tgt, "ab");
        const FileOutcome again = compress(m_src, m_tgt, "ab");
        const bool checked = engine::CheckRarConsole();
        qputenv("PATH", oldPath);
        QVERIFY(outcome == FileOutcome::Stopped && again == FileOutcome::Stopped && !checked);
        QCOMPARE(entries(m_src), QStringList{"ab"});
        QCOMPARE(readFile(m_src + "ab"), "user data");
        QCOMPARE(log("Packing failed").size(), 1);
        QCOMPARE(config::ReadSetting(config::kSectionProcessing, "LastFileNumber"), "2");
    }
    // Archives for a read-only target take fresh numbers and wait (logged once)
    // until it can be written; a waiting archive never replaces one there.
    void numbersAreHandedOutOnce() {
        const QString src2 = m_prog->folder("src2") + '/';
        writeFile(m_src + "a", "A");
        writeFile(src2 + "b", "B");
        {
            const filekit::ReadOnlyFolder readOnly(m_src); // the file cannot leave its name
            QCOMPARE(compress(m_src, m_tgt, "a"), FileOutcome::Stopped);
            QCOMPARE(compress(m_src, m_tgt, "a"), FileOutcome::Stopped);
        }
        QCOMPARE(log("Source folder read-only - file waiting").size(), 1);
        QCOMPARE(entries(m_src), QStringList{"a"});
        {
            const filekit::ReadOnlyFolder readOnly(m_tgt);
            QCOMPARE(compress(m_src, m_tgt, "a"), FileOutcome::Stopped);
            QCOMPARE(compress(src2, m_tgt, "b"), FileOutcome::Stopped);
            QCOMPARE(compress(m_src, m_tgt, "RA000001.rar"), FileOutcome::Stopped); // next pass
        }
        QCOMPARE(entries(m_src) + entries(src2), QStringList({"RA000001.rar", "RA000002.rar"}));
        QCOMPARE(log("Target folder read-only - file waiting").size(), 2);
        QCOMPARE(log(m_src + "a -&gt; " + m_src + "RA000001.rar<br>").size(), 1);
        QCOMPARE(compress(m_src, m_tgt, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(compress(src2, m_tgt, "RA000002.rar"), FileOutcome::Done);
        QCOMPARE(log("Waiting over: Target folder read-only").size(), 2);
        QCOMPARE(log("Waiting over: Source folder read-only").size(), 1);
        QCOMPARE(extract(m_tgt, m_out, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(extract(m_tgt, m_out, "RA000002.rar"), FileOutcome::Done);
        QCOMPARE(readFile(m_out + "a") + readFile(m_out + "b"), "AB");
        writeFile(m_tgt + "RA000009.rar", "not yet extracted");
        writeFile(m_src + "RA000009.rar", "waiting");
        QCOMPARE(compress(m_src, m_tgt, "RA000009.rar"), FileOutcome::Stopped);
        QCOMPARE(readFile(m_tgt + "RA000009.rar") + readFile(m_src + "RA000009.rar"),
                 "not yet extractedwaiting");
        QCOMPARE(log("An archive of the same name is already in the target folder").size(), 1);
    }
    // In a walk the number is stored ahead of the files to come, never
    // behind one handed out (another machine's newer archive included), and
    // the last one handed out is what stays stored, unless somebody stored
    // another one meanwhile: that one is followed from the next file on, and
    // is never stored over; one that is gone does not start the numbers again.
    void numbersStoredAheadInAWalk_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("ahead");
        QTest::addColumn<int>("arrives");      // another machine's archive, after the second file
        QTest::addColumn<int>("edited");       // stored by somebody (-1: the key gone, the
        QTest::addColumn<int>("after");        // archives taken with it) after that file
        QTest::addColumn<QString>("archives"); // their numbers
        QTest::addColumn<int>("last");         // stored in the end
        QTest::newRow("block of 3") << 0 << 3 << 0 << 0 << 3 << "1 2 3 4" << 4;
        QTest::newRow("block of 8") << 0 << 8 << 0 << 0 << 3 << "1 2 3 4" << 4;
        QTest::newRow("edited") << 0 << 8 << 0 << 700 << 3 << "1 2 3 4" << 700;
        QTest::newRow("edited in the block") << 0 << 8 << 0 << 700 << 1 << "1 2 701 702" << 702;
        QTest::newRow("edited, next block") << 0 << 2 << 0 << 700 << 1 << "1 2 701 702" << 702;
        QTest::newRow("key gone") << 0 << 8 << 0 << -1 << 1 << "3 4" << 4;
        QTest::newRow("wrapping") << 999998 << 3 << 0 << 0 << 3 << "0 1 2 999999" << 2;
        QTest::newRow("newer archive") << 0 << 8 << 50 << 0 << 3 << "1 2 50 51 52" << 52;
    }
    void numbersStoredAheadInAWalk() {
        QFETCH(int, ahead);
        QFETCH(int, arrives);
        QFETCH(int, edited);
        QFETCH(int, after);
        const auto store = [](int n) {
            config::WriteSetting(config::kSectionProcessing, config::keys::kLastFileNumber,
                                 n < 0 ? QString() : QString::number(n));
        };
        const auto storedNow = [] {
            return config::ReadSetting(config::kSectionProcessing, config::keys::kLastFileNumber)
                .toInt();
        };
        QFETCH(int, stored);
        store(stored);
        {
            const engine::NumberScope scope;
            engine::NumberScope::setAhead(ahead);
            for (int i = 0; i < 4; ++i) {
                QString made, name = QString("f%1").arg(i);
                writeFile(m_src + name, name.toUtf8());
                QCOMPARE(engine::CompressFile({m_src, m_tgt, name}, &made), FileOutcome::Done);
                // What is stored is that number or one ahead of it.
                const int number = made.right(10).left(6).toInt();
                QVERIFY2((storedNow() - number + 1000000) % 1000000 < ahead,
                         qPrintable(made + " stored " + QString::number(storedNow())));
                if (i == 1 && arrives != 0) {
                    writeFile(m_tgt + archive(arrives), "another machine's");
                }
                if (i == after && edited != 0) {
                    store(edited);
                    for (const QString& taken : edited < 0 ? entries(m_tgt) : QStringList()) {
                        QVERIFY(QFile::remove(m_tgt + taken));
                    }
                }
            }
        }
        QFETCH(QString, archives);
        QStringList names;
        for (const QString& n : archives.split(' ')) {
            names << archive(n.toInt());
        }
        QCOMPARE(entries(m_tgt), names);
        QTEST(storedNow(), "last");
    }
    // A number is taken by any name in the source folder that its archive
    // would have, or that the archiver's wildcard base.r? would pack and
    // delete with the file, whatever the case of prefix and extension.
    void numbersHeldInTheSource() {
        // The archives put the number after the newest of them (6); the
        // wildcard's names after it hold theirs.
        const QStringList held{"Ra000001.Rar", "RA000006.rar", "RA000007.r1", "rA000008.RX",
                               "RA000009.r\u00e9"};
        const QStringList free{"RA000010.rtf", "RA000010.r", "RA000010.txt"};
        for (const QString& name : held + free) {
            writeFile(m_src + name, name.toUtf8());
        }
        writeFile(m_src + "doc", "document");
        QCOMPARE(compress(m_src, m_tgt, "doc"), FileOutcome::Done);
        QCOMPARE(entries(m_tgt), QStringList{"RA000010.rar"});
        writeFile(m_src + "doc", "document");
        QCOMPARE(compress(m_src, m_tgt, "doc"), FileOutcome::Done);
        QCOMPARE(entries(m_tgt), (QStringList{"RA000010.rar", "RA000011.rar"}));
        for (const QString& name : held + free) {
            QCOMPARE(readFile(m_src + name), name.toUtf8());
        }
        QCOMPARE(entries(m_src).size(), held.size() + free.size());
        QCOMPARE(extract(m_tgt, m_out, "RA000010.rar"), FileOutcome::Done);
        QCOMPARE(entries(m_out), QStringList{"doc"});
        QCOMPARE(log("not extracted").size(), 0);
    }
    void filesArrivingWhileArchiving_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("arrives"); // the name it takes in the source folder
        QTest::addColumn<QStringList>("sourceAfter");
        QTest::addColumn<QStringList>("targetAfter");
        QTest::addColumn<QString>("logged");
        // Another machine that counts its own numbers relays its archive.
        QTest::newRow("archive of the same name")
            << "archive"
            << "RA000001.rar" << QStringList{"RA000001.rar", "doc"} << QStringList{}
            << "Packing failed";
        // A user's file that the archiver's wildcard catches with the pair.
        QTest::newRow("user's file of the wildcard")
            << "member"
            << "RA000001.r1" << QStringList{"RA000001.r1", "doc"} << QStringList{}
            << "Files caught in a new archive";
        // A user's file under the name file's name, once it was packed.
        QTest::newRow("user's file named like the name file")
            << "name"
            << "RA000001.rn" << QStringList{"RA000001.rn"} << QStringList{"RA000001.rar"} << "";
        // ... and under the data file's name, once the archiver deleted it,
        // whether it ended or was killed before it deleted the name file: the
        // archive that holds the file is no unfinished one.
        QTest::newRow("user's file named like the data file")
            << "data"
            << "RA000001.rr" << QStringList{"RA000001.rr"} << QStringList{"RA000001.rar"} << "";
        QTest::newRow("... with the archiver killed before the name file went")
            << "gap"
            << "RA000001.rr" << QStringList{"RA000001.rr"} << QStringList{"RA000001.rar"} << "";
    }
    // What arrives in the source folder while a file is packed is never
    // replaced, packed or deleted with it; the file is never lost either.
    void filesArrivingWhileArchiving() {
        QFETCH(QString, step);
        QFETCH(QString, arrives);
        QFETCH(QStringList, sourceAfter);
        QFETCH(QStringList, targetAfter);
        QFETCH(QString, logged);
        // Another machine's archive is a real one, holding a file of that name.
        const QString stage = m_prog->folder("other") + '/';
        writeFile(stage + "RA000001.rr", "another's " + arrives.toUtf8());
        writeFile(stage + "RA000001.rn", nameLine(arrives));
        const QString other = stage + (step == "archive" ? "RA000001.rar" : "RA000001.rr");
        if (step == "archive") {
            pack(stage, "RA000001", stage + "RA000001.r?\"");
        }
        const QByteArray arriving = readFile(other);
        archiverWithArrival(step, other);
        writeFile(m_src + "doc", "document");
        const FileOutcome outcome = compress(m_src, m_tgt, "doc");
        QCOMPARE(outcome, targetAfter.isEmpty() ? FileOutcome::Stopped : FileOutcome::Done);
        QCOMPARE(entries(m_src), sourceAfter);
        QCOMPARE(entries(m_tgt), targetAfter);
        QCOMPARE(readFile(m_src + arrives), arriving);
        if (sourceAfter.contains("doc")) {
            QCOMPARE(readFile(m_src + "doc"), "document");
        } else {
            QCOMPARE(extract(m_tgt, m_out, "RA000001.rar"), FileOutcome::Done);
            QCOMPARE(readFile(m_out + "doc"), "document");
        }
        if (!logged.isEmpty()) {
            QCOMPARE(log(logged).size(), 1);
        }
        // The next pass packs what stands in the source folder, nothing with it.
        qputenv("STEP", "");
        for (const QString& name : sourceAfter) {
            QCOMPARE(compress(m_src, m_tgt, name), FileOutcome::Done);
        }
        QCOMPARE(entries(m_src), QStringList{});
        for (const QString& archive : entries(m_tgt)) {
            QCOMPARE(extract(m_tgt, m_out, archive), FileOutcome::Done);
        }
        QCOMPARE(entries(m_out), (QStringList{arrives, "doc"}));
        QCOMPARE(readFile(m_out + arrives), "another's " + arrives.toUtf8());
        QCOMPARE(readFile(m_out + "doc"), "document");
        QCOMPARE(log("not extracted").size(), 0);
    }
    // An archiver killed once it has named its archive, before it deleted the
    // pair: the archive holds exactly the pair and goes, and the file gets
    // its name back (else the stale archive would travel after the versions
    // of the file packed later). Another machine's archive of that name stays
    // (filesArrivingWhileArchiving).
    void anArchiverKilledAfterNamingLeavesNoStaleArchive() {
        archiverWithArrival("kill");
        writeFile(m_src + "doc", "version 1");
        QCOMPARE(compress(m_src, m_tgt, "doc"), FileOutcome::Stopped);
        QCOMPARE(entries(m_src), QStringList{"doc"});
        QCOMPARE(readFile(m_src + "doc"), "version 1");
        QCOMPARE(log("Packing failed").size(), 1);
    }
    // In a walk the watch on the source folder is kept from one file to the
    // next: a name the archiver's wildcard catches while a later file is
    // packed is seen all the same, and the archive is checked and given back.
    void aWalkKeepsItsWatchFromFileToFile() {
        const QString stage = m_prog->folder("other") + '/';
        writeFile(stage + "user.txt", "a user's file");
        archiverWithArrival("member", stage + "user.txt");
        writeFile(m_src + "a", "A");
        writeFile(m_src + "b", "B");
        {
            const engine::NumberScope walk;
            engine::NumberScope::setAhead(2);
            QCOMPARE(compress(m_src, m_tgt, "a"), FileOutcome::Stopped);
            QCOMPARE(compress(m_src, m_tgt, "b"), FileOutcome::Stopped);
        }
        QCOMPARE(entries(m_src), QStringList({"RA000001.r1", "RA000002.r1", "a", "b"}));
        QCOMPARE(entries(m_tgt), QStringList{});
        QCOMPARE(log("Files caught in a new archive").size(), 2);
    }
    // An archive renamed over the one that is being extracted is not deleted
    // in its place: it stays for the next pass, which delivers it too.
    void archiveReplacedWhileExtracting() {
        packPair(m_src, "RA000001", "first", nameLine("first.txt"));
        const QString stage = m_prog->folder("stage") + '/';
        const QByteArray second = packPair(stage, "RA000001", "second", nameLine("second.txt"));
        archiverWithArrival("over", stage + "RA000001.rar");
        QCOMPARE(extract(m_src, m_out, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(entries(m_out), QStringList{"first.txt"});
        QCOMPARE(entries(m_src), QStringList{"RA000001.rar"});
        QCOMPARE(readFile(m_src + "RA000001.rar"), second);
        qputenv("STEP", "");
        QCOMPARE(extract(m_src, m_out, "RA000001.rar"), FileOutcome::Done);
        QCOMPARE(entries(m_out), (QStringList{"first.txt", "second.txt"}));
        QCOMPARE(readFile(m_out + "first.txt") + readFile(m_out + "second.txt"), "firstsecond");
    }
    // Members beside the archive's own data and name file are not extracted
    // over the user's files or pending archives; the log names them.
    void extractionTakesOnlyItsOwnMembers() {
        const QString stage = m_prog->folder("stage") + '/';
        writeFile(stage + "RA000005.rr", "payload");
        writeFile(stage + "RA000005.rn", nameLine("report.doc"));
        writeFile(stage + "notes.txt", "from the archive");
        writeFile(stage + "RA000006.rar", "from the archive");
        pack(m_src, "RA000005", stage + "*\"");
        writeFile(m_src + "notes.txt", "the user's notes");
        writeFile(m_src + "RA000006.rar", "a pending archive");
        QCOMPARE(extract(m_src, m_out, "RA000005.rar"), FileOutcome::Done);
        QCOMPARE(entries(m_src), (QStringList{"RA000006.rar", "notes.txt"}));
        QCOMPARE(readFile(m_src + "notes.txt") + readFile(m_src + "RA000006.rar"),
                 "the user's notesa pending archive");
        QCOMPARE(entries(m_out), QStringList{"report.doc"});
        QCOMPARE(readFile(m_out + "report.doc"), "payload");
        QCOMPARE(log("not extracted: " + m_src + "RA000005.rar: RA000006.rar, notes.txt").size(),
                 1);
    }
    // Folders of extractions cut short are cleared (unless a live one holds
    // them); an archive another copy holds is not extracted meanwhile.
    void interruptedAndConcurrentExtractions() {
        packPair(m_src, "RA000007", "doc", nameLine("doc"));
        const QString stale = m_src + ".velmorado-x-RA000007.rar/";
        QVERIFY(QDir().mkpath(stale)); // files only: the archiver makes no folders
        writeFile(stale + "RA000007.rr", "half");
        {
            const platform::FileLock otherCopy = platform::FileLock::take(m_src + "RA000007.rar");
            QVERIFY(otherCopy.held() && platform::lockedByOther(m_src + "RA000007.rar"));
            QCOMPARE(extract(m_src, m_out, "RA000007.rar"), FileOutcome::Stopped);
            QCOMPARE(entries(m_out), QStringList());
        }
        QCOMPARE(extract(m_src, m_out, "RA000007.rar"), FileOutcome::Done);
        QCOMPARE(entries(m_src), QStringList());
        QCOMPARE(readFile(m_out + "doc"), "doc");
        for (const char* n : {"RA000008.rar", "RA000009.rar", "RA000010.rar"}) {
            QVERIFY(QDir().mkdir(m_src + ".velmorado-x-" + n));
            writeFile(m_src + ".velmorado-x-" + n + "/x", "x");
        }
        writeFile(m_src + "RA000010.rar", "still there: its extraction clears the folder");
        platform::FileLock live = platform::FileLock::folder(m_src + ".velmorado-x-RA000009.rar");
        QVERIFY(live.held());
        engine::ClearStaleExtractionFolders(m_src);
        QCOMPARE(entries(m_src), (QStringList{".velmorado-x-RA000009.rar",
                                              ".velmorado-x-RA000010.rar", "RA000010.rar"}));
        live.release();
        engine::ClearStaleExtractionFolders(m_src);
        QCOMPARE(entries(m_src), (QStringList{".velmorado-x-RA000010.rar", "RA000010.rar"}));
    }
    // A lock is seen by every other open file description; an exclusive
    // create that finds the name taken leaves the other file as it is.
    void locksBetweenCopies() {
        const QString f = m_src + "RA000001.rn";
        bool existed = true;
        platform::FileLock first = platform::FileLock::create(f, "first", &existed);
        QVERIFY(first.held() && !existed);
        const platform::FileLock second = platform::FileLock::create(f, "second", &existed);
        QVERIFY(!second.held() && existed);
        QCOMPARE(readFile(f), "first");
        QCOMPARE(entries(m_src).filter("RA000001"), QStringList{"RA000001.rn"});
        QVERIFY(platform::lockedByOther(f) && !platform::FileLock::take(f).held());
        ::chmod(QFile::encodeName(f).constData(), 0444); // shared lock only, then
        QVERIFY(!platform::FileLock::take(f).held() || geteuid() == 0);
        first.release();
        QVERIFY(!platform::lockedByOther(f));
        const platform::FileLock third = platform::FileLock::take(f);
        QVERIFY(third.held() && platform::lockedByOther(f));
        QVERIFY(!platform::lockedByOther(m_src + "missing"));
    }
};

QTEST_GUILESS_MAIN(TestRarRunner)
#include "test_rarrunner.moc"
