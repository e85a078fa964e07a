// The walk of one source folder on real files with the built archiver: what it
// skips, deletes and takes, files being written, stops, leftovers of crashes.

#include "EngineTestKit.h"
#include "config/ParameterKeys.h"

using namespace kit;

class WalkTest : public QObject {
    Q_OBJECT

    std::optional<Program> prog;
    QString src, arch, out;
    Recorder window;

    // Extracts every archive of folder into target with an uncompress walk.
    void extractAll(const QString& folder, const QString& target) {
        ageAll(folder);
        walk(window, folder, target, false);
    }

private Q_SLOTS:
    void init() {
        prog.emplace();
        src = prog->src, arch = prog->arch, out = prog->out;
        window = Recorder();
    }
    // Folders are left alone, hidden entries deleted, links and pipes left;
    // only the plain file is taken. A stop seen at a yield, or a per-file log
    // line that cannot be written, ends the walk after the current entry.
    void whatTheWalkTakesAndWhereItStops() {
        prog->folder("src/sub");
        prog->folder("src/.hiddenDir");
        drop(src, "sub/inner");
        writeFile(in(src, ".hiddenDir/kept"), "kept");
        drop(src, ".hidden");
        drop(src, "plain");
        QVERIFY(QFile::link(in(src, "plain"), in(src, "link")));
        QCOMPARE(::mkfifo(QFile::encodeName(in(src, "pipe")).constData(), 0600), 0);
        walk(window, src, out, false);
        QCOMPARE(entries(src), QStringList({".hiddenDir", "link", "pipe", "sub"}));
        QCOMPARE(entries(in(src, "sub")), QStringList{"inner"});
        QCOMPARE(readFile(in(src, ".hiddenDir/kept")), "kept");
        QCOMPARE(entries(out), QStringList{"plain"});
        QCOMPARE(engine::state().files, 1);
        for (int i = 0; i < 6; ++i) {
            drop(arch, QStringLiteral("f%1").arg(i));
        }
        const QString to = prog->folder("to");
        window.onEvents = [&] { engine::state().stopped = !entries(to).isEmpty(); };
        walk(window, arch, to, false);
        QCOMPARE(entries(to).size(), 1);
        QCOMPARE(engine::state().files, 2); // one more than the first walk's
        window.onEvents = nullptr;
        config::settings().logs = config::settings().fichiersLogs = true;
        engine::state().dayLogPath = prog->folder("aFolderNotAFile");
        walk(window, arch, to, false);
        QCOMPARE(entries(to).size(), 2);
    }
    void walkWhileWriting_data() {
        QTest::addColumn<bool>("keepOpen");
        QTest::addColumn<QString>("name");
        QTest::newRow("file held open by a slow writer") << true << "f";
        QTest::newRow("file appended to in a loop") << false << "f";
        QTest::newRow("hidden file held open by a slow writer") << true << ".part";
        QTest::newRow("hidden file appended to in a loop") << false << ".part";
    }
    // A file being written (held open and aged, so that only the lease holds it
    // back; or reopened per chunk) is never taken nor, hidden, deleted part-way.
    void walkWhileWriting() {
        QFETCH(bool, keepOpen);
        QFETCH(QString, name);
        const QString file = in(src, name);
        QProcess writer;
        const QString loop = QString(keepOpen ? "exec 3>>\"$1\";" : "") +
                             " i=0; while [ $i -lt 40 ]; do printf 'chunk%03d\\n' $i " +
                             (keepOpen ? ">&3" : ">>\"$1\"") + "; i=$((i+1)); sleep 0.03; done";
        writer.start("/bin/sh", {"-c", loop, "w", file});
        QTRY_VERIFY(QFile::exists(file));
        int walks = 0;
        for (; !writer.waitForFinished(20); ++walks) {
            if (keepOpen) {
                age(file);
            }
            walk(window, src, out, false);
            QVERIFY2(entries(out).isEmpty(), "a file still being written was taken");
            QVERIFY2(QFile::exists(file), "a file still being written was deleted");
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(walks > 3);
        const auto whole = [](const QByteArray& data) {
            return data.count('\n') == 40 && data.startsWith("chunk000\n") &&
                   data.endsWith("chunk038\nchunk039\n");
        };
        const bool hidden = name.startsWith('.');
        QVERIFY(!hidden || whole(readFile(file))); // every chunk went into the one file
        walk(window, src, out, false);             // seen once unchanged, and again a while later
        QTest::qWait(int(platform::InUseProbe::kSightingGapMs) + 100);
        walk(window, src, out, false);
        QVERIFY(hidden ? (entries(src) + entries(out)).isEmpty() : whole(readFile(in(out, "f"))));
    }
    // Another copy's part file and its compression's files stay under its read
    // locks, however old; once unlocked they are a crash's leftovers.
    void hiddenFileHeldUnderAnotherCopysLock() {
        drop(src, ".velmorado-move-abc123", "part of a move");
        drop(src, "RA000001.rr", "user data");
        drop(src, "RA000001.rn", nameLine("report"));
        drop(src, "RA000002.rn", nameLine("packed already"));
        const QStringList all = entries(src);
        QList<int> held;
        for (const QString& n : all) {
            held << lockShared(in(src, n));
            QVERIFY(held.last() >= 0);
        }
        walk(window, src, arch, true);
        walk(window, src, arch, true);
        QCOMPARE(entries(src) + entries(arch), all);
        for (const int fd : held) {
            ::close(fd);
        }
        walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList());
        extractAll(arch, out);
        QCOMPARE(entries(out), QStringList{"report"});
        QCOMPARE(readFile(in(out, "report")), "user data");
    }
    // A prefix edited into the parameters file as ".A" (hidden archives, which
    // the uncompress walk deletes) is not used, and the log says so once.
    void aHiddenPrefixIsNotUsed() {
        const QString ini = config::program().parametersPath;
        writeFile(ini, "[Configuration]\r\nPrefixeFichiersCompresses=.A\r\n"
                       "[Logs]\r\nLogs=1\r\n");
        config::settings().load(ini, prog->path());
        drop(src, "a");
        walk(window, src, arch, true);
        walk(window, src, arch, true);
        QCOMPARE(entries(arch), QStringList{"RA000001.rar"});
        const QStringList said = logLines(prog->path(), "prefix");
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains("&quot;.A&quot;") && said[0].contains(ini), qPrintable(said[0]));
    }
    // A prefix is the same in any case: one edited in lower case here does not
    // take the number of an archive of the upper-case one, and extracts both.
    void aPrefixInAnotherCaseIsTheSamePrefix() {
        config::settings().prefix = "AB"; // as another machine writes it
        drop(src, "a", "first");
        walk(window, src, arch, true);
        config::settings().prefix = "ab";
        config::WriteSetting(config::kSectionProcessing, config::keys::kLastFileNumber, "0");
        drop(src, "b", "second");
        walk(window, src, arch, true);
        QCOMPARE(entries(arch), QStringList({"AB000001.rar", "ab000002.rar"}));
        extractAll(arch, out);
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(readFile(in(out, "a")) + readFile(in(out, "b")), "firstsecond");
    }
    // A folder that names a user's file, or holds a NUL that would cut it short
    // there, is missing: nothing is moved, the file stays whole.
    void aFolderThatIsNotAFolderIsMissing() {
        const QString notes = prog->filePath("notes.txt");
        writeFile(notes, "the user's notes");
        drop(src, "a");
        Program::addPair(src, notes);
        Program::addPair(src, notes + QChar(0) + "/rest");
        Program::addPair(notes, out);
        pass(window);
        QCOMPARE(readFile(notes), "the user's notes");
        QCOMPARE(entries(src), QStringList{"a"});
        QCOMPARE(counts(), QList<int>({0, 0, 0, 3, 1, 2}));
    }
    // Leftovers of crashed compressions get their names back (a lone name file
    // goes, an unusable name is logged); the user's look-alikes travel as they are.
    void leftoversAndFilesNamedLikeThem() {
        config::settings().logs = true;
        const QString omega = QString::fromUtf8("Ωmega report.doc");
        const QList<std::pair<const char*, QByteArray>> files = {
            {"RA000010.rr", "restored data"}, {"RA000010.rn", nameLine(omega)},
            {"RA000011.rn", nameLine("x")},   {"RA000012.rr", "data alone"},
            {"RA000013.rr", "escaping name"}, {"RA000013.rn", nameLine("../evil")},
            {"RA000016.rr", "older busy"},    {"RA000016.rn", nameLine("busy")},
            {"RA000042.rn", "my notes\n"},    {"ra000043.RN", "\"zz\"\r\n"},
            {"RA000045.rr", "user data"},     {"RA000045.rn", nameLine("x") + "and more\r\n"}};
        for (const auto& [name, data] : files) {
            drop(src, name, data);
        }
        writeFile(in(src, "busy"), "newer busy");                 // fresh: it stays
        writeFile(in(src, "RA000046.rn"), nameLine("in flight")); // fresh: it waits
        age(in(src, "busy"), -3600);                              // fresh however slow the walk is
        age(in(src, "RA000046.rn"), -3600);
        walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList({"RA000046.rn", "busy"}));
        QCOMPARE(engine::state().compressed, 8);
        extractAll(arch, out);
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(entries(out),
                 QStringList({"RA000012.rr", "RA000013.rr", "RA000016.rr", "RA000042.rn",
                              "RA000045.rn", "RA000045.rr", "ra000043.RN", omega}));
        QCOMPARE(readFile(in(out, omega)) + readFile(in(out, "RA000016.rr")) +
                     readFile(in(out, "RA000042.rn")) + readFile(in(out, "ra000043.RN")) +
                     readFile(in(out, "RA000045.rr")),
                 "restored dataolder busymy notes\n\"zz\"\r\nuser data");
        const QString kept = logLines(prog->path(), "neutral name: ").join('|');
        QVERIFY2(kept.count('|') == 1 && kept.contains(in(src, "RA000013.rr")) &&
                     kept.contains(in(src, "RA000016.rr")),
                 qPrintable(kept));
        drop(arch, "RA000020.rar", ""); // empty: never extracted
        drop(arch, "RA000020.rr");
        drop(arch, "RA000020.rn", nameLine("n"));
        const QString back = prog->folder("back"); // leftovers wait while their archive is there
        walk(window, arch, back, false);
        QCOMPARE(entries(back), QStringList());
        QVERIFY(QFile::remove(in(arch, "RA000020.rar")));
        walk(window, arch, back, false); // now ordinary files of an uncompress pair
        QCOMPARE(entries(back), QStringList({"RA000020.rn", "RA000020.rr"}));
        ageAll(src);
        walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList());
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "test_engine_walk.moc"
