// The walk of one source folder on real files: what it skips, deletes and
// takes, files still being written, a stop in the middle, and the leftovers
// of compressions that did not get to their end, with the built archiver.

#include "EngineTestKit.h"
#include "engine/ProcessingPass.h"

using kit::entries;
using kit::in;
using kit::Program;
using kit::readFile;
using kit::Recorder;

class WalkTest : public QObject {
    Q_OBJECT

    std::optional<Program> prog;
    QString src, arch, out;
    Recorder window;

    // Extracts every archive of folder into target with an uncompress walk.
    void extractAll(const QString& folder, const QString& target) {
        kit::ageAll(folder);
        kit::walk(window, folder, target, false);
    }
    void pass() {
        engine::state().stopped = false; // processing runs
        engine::RunProcessingPass(window, {});
    }

private Q_SLOTS:
    void init() {
        prog.emplace();
        src = prog->src, arch = prog->arch, out = prog->out;
        window = Recorder();
    }

    // Folders and their files are left alone, hidden entries deleted, links
    // and pipes left where they are; only the plain file is handed over. A
    // stop noticed at a yield ends the walk after the current entry, and so
    // does a per-file log line that cannot be written after a move.
    void whatTheWalkTakesAndWhereItStops() {
        prog->folder("src/sub");
        prog->folder("src/.hiddenDir");
        kit::drop(src, "sub/inner");
        kit::writeFile(in(src, ".hiddenDir/kept"), "kept");
        kit::drop(src, ".hidden");
        kit::drop(src, "plain");
        QVERIFY(QFile::link(in(src, "plain"), in(src, "link")));
        QCOMPARE(::mkfifo(QFile::encodeName(in(src, "pipe")).constData(), 0600), 0);
        kit::walk(window, src, out, false);
        QCOMPARE(entries(src), QStringList({".hiddenDir", "link", "pipe", "sub"}));
        QCOMPARE(entries(in(src, "sub")), QStringList{"inner"});
        QCOMPARE(readFile(in(src, ".hiddenDir/kept")), "kept");
        QCOMPARE(entries(out), QStringList{"plain"});
        QCOMPARE(engine::state().files, 1);
        for (int i = 0; i < 6; ++i) {
            kit::drop(arch, QStringLiteral("f%1").arg(i));
        }
        const QString to = prog->folder("to");
        window.onEvents = [&] { engine::state().stopped = !entries(to).isEmpty(); };
        kit::walk(window, arch, to, false);
        QCOMPARE(entries(to).size(), 1);
        QCOMPARE(engine::state().files, 2); // one more than the first walk's
        window.onEvents = nullptr;
        config::settings().logs = config::settings().fichiersLogs = true;
        engine::state().dayLogPath = prog->folder("aFolderNotAFile");
        kit::walk(window, arch, to, false);
        QCOMPARE(entries(to).size(), 2);
    }

    // A writer that keeps the file open and writes slowly, and one that
    // opens, appends and closes in a loop, are never taken part-way; the file
    // is taken once it is left alone. A hidden file (a copy's part file) is
    // deleted only once it is left alone, never while it is being written.
    void walkWhileWriting_data() {
        QTest::addColumn<bool>("keepOpen");
        QTest::addColumn<QString>("name");
        QTest::newRow("file held open by a slow writer") << true << "f";
        QTest::newRow("file appended to in a loop") << false << "f";
        QTest::newRow("hidden file held open by a slow writer") << true << ".part";
        QTest::newRow("hidden file appended to in a loop") << false << ".part";
    }
    // Runs a shell writer of 40 numbered chunks into src/name and walks src
    // (an uncompress pair to out) over and over while it writes: the file
    // must never be taken (nor, hidden, deleted). The file held open is made
    // to look old before each walk, so that only the lease can hold it back.
    void walkWhileWriting() {
        QFETCH(bool, keepOpen);
        QFETCH(QString, name);
        const QString file = in(src, name);
        const bool hidden = name.startsWith('.');
        QProcess writer;
        const QString loop = " i=0; while [ $i -lt 40 ]; do printf 'chunk%03d\\n' $i ";
        writer.start("/bin/sh", {"-c",
                                 (keepOpen ? "exec 3>>\"$1\";" + loop + ">&3" : loop + ">>\"$1\"") +
                                     "; i=$((i+1)); sleep 0.03; done",
                                 "w", file});
        QTRY_VERIFY(QFile::exists(file));
        int walks = 0;
        for (; !writer.waitForFinished(20); ++walks) {
            if (keepOpen) {
                kit::age(file);
            }
            kit::walk(window, src, out, false);
            QVERIFY2(entries(out).isEmpty(), "a file still being written was taken");
            QVERIFY2(QFile::exists(file), "a file still being written was deleted");
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(walks > 3);
        const auto whole = [](const QByteArray& data) {
            return data.count('\n') == 40 && data.startsWith("chunk000\n") &&
                   data.endsWith("chunk038\nchunk039\n");
        };
        QVERIFY(!hidden || whole(readFile(file))); // every chunk went into the one file
        kit::walk(window, src, out, false);        // seen once unchanged, and again a while later
        QTest::qWait(int(platform::InUseProbe::kSightingGapMs) + 100);
        kit::walk(window, src, out, false);
        QVERIFY(hidden ? (entries(src) + entries(out)).isEmpty() : whole(readFile(in(out, "f"))));
    }

    // What another copy of the program, through a share, is working on: only
    // its locks say so. A hidden part file it moves in, and the data and name
    // files of a compression it runs, stay however old they look (the locks
    // are on read-only descriptors, which the lease allows). Once the locks
    // are gone the part file goes and the rest are a crash's leftovers:
    // restored, compressed and sent on.
    void hiddenFileHeldUnderAnotherCopysLock() {
        kit::drop(src, ".velmorado-move-abc123", "part of a move");
        kit::drop(src, "RA000001.rr", "user data");
        kit::drop(src, "RA000001.rn", kit::nameLine("report"));
        kit::drop(src, "RA000002.rn", kit::nameLine("packed already"));
        const QStringList all = entries(src);
        QList<int> held;
        for (const QString& n : all) {
            held << kit::lockShared(in(src, n));
            QVERIFY(held.last() >= 0);
        }
        kit::walk(window, src, arch, true);
        kit::walk(window, src, arch, true);
        QCOMPARE(entries(src), all);
        QCOMPARE(entries(arch), QStringList());
        for (const int fd : held) {
            ::close(fd);
        }
        kit::walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList());
        extractAll(arch, out);
        QCOMPARE(entries(out), QStringList{"report"});
        QCOMPARE(readFile(in(out, "report")), "user data");
    }

    // Files of the user's that are named like the program's name files
    // travel like any other; only the program's own lone name file goes,
    // and only once nobody writes it.
    void filesNamedLikeNameFiles() {
        kit::drop(src, "RA000042.rn", "my notes\n");
        kit::drop(src, "ra000043.RN", "\"zz\"\r\n");
        kit::drop(src, "RA000044.rn", kit::nameLine("gone long ago"));      // ours: removed
        kit::drop(src, "RA000045.rr", "user data");                         // both the
        kit::drop(src, "RA000045.rn", kit::nameLine("x") + "and more\r\n"); // user's
        kit::writeFile(in(src, "RA000046.rn"), kit::nameLine("in flight")); // fresh: waits
        kit::walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList{"RA000046.rn"});
        QCOMPARE(engine::state().compressed, 4);
        extractAll(arch, out);
        QCOMPARE(entries(out),
                 QStringList({"RA000042.rn", "RA000045.rn", "RA000045.rr", "ra000043.RN"}));
        QCOMPARE(readFile(in(out, "RA000042.rn")), "my notes\n");
        QCOMPARE(readFile(in(out, "ra000043.RN")), "\"zz\"\r\n");
        QCOMPARE(readFile(in(out, "RA000045.rr")), "user data");
        kit::age(in(src, "RA000046.rn"));
        kit::walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList());
    }

    // A prefix edited into the parameters file as ".A" would make every
    // archive a hidden file that the uncompress walk deletes: it is not
    // used, "RA" is, and the day's log says so once in the run.
    void aHiddenPrefixIsNotUsed() {
        const QString ini = config::program().parametersPath;
        kit::writeFile(ini, "[Configuration]\r\nPrefixeFichiersCompresses=.A\r\n"
                            "[Logs]\r\nLogs=1\r\n");
        config::settings().load(ini, prog->dir.path());
        QCOMPARE(config::settings().prefix, "RA");
        kit::drop(src, "report.doc", "report");
        kit::drop(arch, "waiting.txt", "waiting");
        Program::addPair(src, arch, true);
        Program::addPair(arch, out);
        pass();
        pass();
        QCOMPARE(entries(src) + entries(arch), QStringList());
        QCOMPARE(entries(out), QStringList({"report.doc", "waiting.txt"}));
        QCOMPARE(readFile(in(out, "report.doc")), "report");
        const QStringList said = kit::logLines(prog->dir.path(), "prefix");
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains("&quot;.A&quot;") && said[0].contains(ini), qPrintable(said[0]));
    }

    // A pair's folder must be a folder. A target that names a file of the
    // user's, or whose text holds a NUL (which would cut it short at that
    // file), is a missing folder: nothing is moved, the file stays whole.
    void aFolderThatIsNotAFolderIsMissing() {
        const QString notes = prog->dir.filePath("notes.txt");
        kit::writeFile(notes, "the user's notes");
        kit::drop(src, "a");
        Program::addPair(src, notes);
        Program::addPair(src, notes + QChar(0) + "/rest");
        Program::addPair(notes, out);
        pass();
        QCOMPARE(readFile(notes), "the user's notes");
        QCOMPARE(entries(src), QStringList{"a"});
        QCOMPARE(engine::state().invalidTargetFolders, 2);
        QCOMPARE(engine::state().invalidSourceFolders, 1);
        QCOMPARE(engine::state().files, 0);
    }

    // The leftovers of compressions cut short: the data file with its name
    // file gets its name back and travels; a name file alone goes; a data
    // file alone is an ordinary file; a name that cannot be used (it climbs
    // out, or is taken) leaves the neutral name, and the log says so. In an
    // uncompress pair, leftovers wait while the archive of their number lies
    // there: the extraction that made them is not over.
    void leftovers() {
        config::settings().logs = true;
        engine::state().dayLogPath = engine::dayLogPath(prog->dir.path(), QDate::currentDate());
        const QString omega = QString::fromUtf8("Ωmega report.doc");
        const QList<std::pair<const char*, QByteArray>> files = {
            {"RA000010.rr", "restored data"},    {"RA000010.rn", kit::nameLine(omega)},
            {"RA000011.rn", kit::nameLine("x")}, {"RA000012.rr", "data alone"},
            {"RA000013.rr", "escaping name"},    {"RA000013.rn", kit::nameLine("../evil")},
            {"RA000016.rr", "older busy"},       {"RA000016.rn", kit::nameLine("busy")}};
        for (const auto& [name, data] : files) {
            kit::drop(src, name, data);
        }
        kit::writeFile(in(src, "busy"), "newer busy"); // fresh: it stays
        kit::walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList{"busy"});
        QCOMPARE(engine::state().compressed, 4);
        extractAll(arch, out);
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(entries(out), QStringList({"RA000012.rr", "RA000013.rr", "RA000016.rr", omega}));
        QCOMPARE(readFile(in(out, omega)), "restored data");
        QCOMPARE(readFile(in(out, "RA000016.rr")), "older busy");
        const QString kept = kit::logLines(prog->dir.path(), "neutral name: ").join('|');
        QVERIFY2(kept.count('|') == 1 && kept.contains(in(src, "RA000013.rr")) &&
                     kept.contains(in(src, "RA000016.rr")),
                 qPrintable(kept));
        kit::drop(arch, "RA000020.rar", ""); // empty: never extracted
        kit::drop(arch, "RA000020.rr");
        kit::drop(arch, "RA000020.rn", kit::nameLine("n"));
        const QString back = prog->folder("back");
        kit::walk(window, arch, back, false);
        QCOMPARE(entries(back), QStringList());
        QVERIFY(QFile::remove(in(arch, "RA000020.rar")));
        kit::walk(window, arch, back, false); // now ordinary files of an uncompress pair
        QCOMPARE(entries(back), QStringList({"RA000020.rn", "RA000020.rr"}));
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "test_engine_walk.moc"
