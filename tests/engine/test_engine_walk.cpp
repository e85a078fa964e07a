// The walk of one source folder on real files: what it skips, deletes and
// takes, files still being written, a stop in the middle, and the leftovers
// of compressions that did not get to their end, with the built archiver.

#include "EngineTestKit.h"
#include "engine/ProcessingPass.h"

#include <fcntl.h>
#include <unistd.h>

using kit::in;
using kit::Program;
using kit::Recorder;

namespace {

// Extracts every archive of folder into target with an uncompress walk.
void extractAll(Recorder& window, const QString& folder, const QString& target) {
    kit::ageAll(folder);
    kit::walk(window, folder, target, false);
}

} // namespace

class WalkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        prog.emplace();
        src = prog->src, arch = prog->arch, out = prog->out;
        window = Recorder();
    }

    // Folders and their files are left alone, hidden entries deleted, links
    // and pipes left where they are; only the plain file is handed over.
    void whatTheWalkTakes() {
        prog->folder("src/sub");
        prog->folder("src/.hiddenDir");
        kit::drop(src, "sub/inner");
        kit::writeFile(in(src, ".hiddenDir/kept"), "kept");
        kit::drop(src, ".hidden");
        kit::drop(src, "plain");
        QVERIFY(QFile::link(in(src, "plain"), in(src, "link")));
        QCOMPARE(::mkfifo(QFile::encodeName(in(src, "pipe")).constData(), 0600), 0);

        kit::walk(window, src, out, false);
        QCOMPARE(kit::entries(src), QStringList({".hiddenDir", "link", "pipe", "sub"}));
        QCOMPARE(kit::entries(in(src, "sub")), QStringList{"inner"});
        QCOMPARE(kit::readFile(in(src, ".hiddenDir/kept")), QByteArray("kept"));
        QCOMPARE(kit::entries(out), QStringList{"plain"});
        QCOMPARE(engine::state().files, 1);
    }

    // A stop noticed at a yield ends the walk after the current entry; what
    // was handed over stays counted. An outcome that ends the walk does too.
    void stopAndEndOfWalk() {
        for (int i = 0; i < 6; ++i) {
            kit::drop(src, QStringLiteral("f%1").arg(i));
        }
        window.onEvents = [&] { engine::state().stopped = !kit::entries(out).isEmpty(); };
        kit::walk(window, src, out, false);
        QCOMPARE(kit::entries(out).size(), 1);
        QCOMPARE(engine::state().files, 1);

        // A per-file log line that cannot be written after a move ends the walk.
        window.onEvents = nullptr;
        config::settings().logs = config::settings().fichiersLogs = true;
        engine::state().dayLogPath = prog->folder("aFolderNotAFile");
        kit::walk(window, src, out, false);
        QCOMPARE(kit::entries(out).size(), 2);
    }

    // A writer that keeps the file open and writes slowly, and one that
    // opens, appends and closes in a loop, are never taken part-way; the file
    // is taken once it is left alone.
    void fileHeldOpenByASlowWriter() { walkWhileWriting(true); }
    void fileAppendedToInALoop() { walkWhileWriting(false); }
    // The same for a hidden file (a copy's part file): it is deleted only
    // once it is left alone, never while it is being written.
    void hiddenFileHeldOpenByASlowWriter() { walkWhileWriting(true, ".part"); }
    void hiddenFileAppendedToInALoop() { walkWhileWriting(false, ".part"); }

    // A hidden part file that another copy of the program moves in through a
    // share: only its lock says it is in flight. The lock is taken on a
    // read-only descriptor, which the lease allows, and the file is aged, so
    // the in-use probe alone would let it go.
    void hiddenFileHeldUnderAnotherCopysLock() {
        kit::drop(src, ".velmorado-move-abc123", "part of a move");
        const int fd = ::open(QFile::encodeName(in(src, ".velmorado-move-abc123")).constData(),
                              O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(fd, F_OFD_SETLK, &lock), 0);
        kit::walk(window, src, arch, true);
        QCOMPARE(kit::entries(src), QStringList{".velmorado-move-abc123"});
        ::close(fd);
        kit::walk(window, src, arch, true);
        QCOMPARE(kit::entries(src), QStringList());
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
        QCOMPARE(kit::entries(src), QStringList{"RA000046.rn"});
        QCOMPARE(engine::state().compressed, 4);
        extractAll(window, arch, out);
        QCOMPARE(kit::entries(out),
                 QStringList({"RA000042.rn", "RA000045.rn", "RA000045.rr", "ra000043.RN"}));
        QCOMPARE(kit::readFile(in(out, "RA000042.rn")), QByteArray("my notes\n"));
        QCOMPARE(kit::readFile(in(out, "ra000043.RN")), QByteArray("\"zz\"\r\n"));
        QCOMPARE(kit::readFile(in(out, "RA000045.rr")), QByteArray("user data"));

        kit::age(in(src, "RA000046.rn"));
        kit::walk(window, src, arch, true);
        QCOMPARE(kit::entries(src), QStringList());

        using engine::IsOwnNameFileContent;
        QVERIFY(IsOwnNameFileContent(kit::nameLine("a b")));
        QVERIFY(IsOwnNameFileContent("\"61006200\""));
        for (const QByteArray& bad :
             {QByteArray("\"61006200\"\r\nmore"), QByteArray("61006200\r\n"),
              QByteArray("\"6100ZZ00\"\r\n"), QByteArray("\"2F00\"\r\n"), QByteArray("\"\"\r\n"),
              '"' + QByteArray(3000, 'A') + "\"\r\n", QByteArray(" \"61006200\"\r\n")}) {
            QVERIFY2(!IsOwnNameFileContent(bad), bad.left(40).constData());
        }
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
        engine::state().stopped = false; // processing runs
        engine::RunProcessingPass(window, {});
        engine::RunProcessingPass(window, {});
        QCOMPARE(kit::entries(src) + kit::entries(arch), QStringList());
        QCOMPARE(kit::entries(out), QStringList({"report.doc", "waiting.txt"}));
        QCOMPARE(kit::readFile(in(out, "report.doc")), QByteArray("report"));
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
        kit::drop(src, "b");
        Program::addPair(src, notes);
        Program::addPair(src, notes + QChar(0) + "/rest");
        Program::addPair(notes, out);
        engine::state().stopped = false;
        engine::RunProcessingPass(window, {});
        QCOMPARE(kit::readFile(notes), QByteArray("the user's notes"));
        QCOMPARE(kit::entries(src), QStringList({"a", "b"}));
        QCOMPARE(engine::state().invalidTargetFolders, 2);
        QCOMPARE(engine::state().invalidSourceFolders, 1);
        QCOMPARE(engine::state().files, 0);
    }

    // The leftovers of compressions cut short: the data file with its name
    // file gets its name back and travels; a name file alone goes; a data
    // file alone is an ordinary file; a name that cannot be used (it climbs
    // out, or is taken) leaves the neutral name, and the log says so.
    void leftoversInACompressPair() {
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
        QCOMPARE(kit::entries(src), QStringList{"busy"});
        QCOMPARE(engine::state().compressed, 4);
        extractAll(window, arch, out);
        QCOMPARE(kit::entries(arch), QStringList());
        QCOMPARE(kit::entries(out),
                 QStringList({"RA000012.rr", "RA000013.rr", "RA000016.rr", omega}));
        QCOMPARE(kit::readFile(in(out, omega)), QByteArray("restored data"));
        QCOMPARE(kit::readFile(in(out, "RA000016.rr")), QByteArray("older busy"));
        const QStringList kept = kit::logLines(prog->dir.path(), "neutral name: ");
        QCOMPARE(kept.size(), 2);
        QVERIFY(kept.join(' ').contains(in(src, "RA000013.rr")) &&
                kept.join(' ').contains(in(src, "RA000016.rr")));
    }

    // In an uncompress pair, leftovers wait while the archive of their number
    // lies there: the extraction that made them is not over.
    void leftoversThatStillBelongToTheirWork() {
        kit::drop(src, "RA000020.rar", ""); // empty: never extracted
        kit::drop(src, "RA000020.rr");
        kit::drop(src, "RA000020.rn", kit::nameLine("n"));
        kit::walk(window, src, out, false);
        QCOMPARE(kit::entries(out), QStringList());
        QVERIFY(QFile::remove(in(src, "RA000020.rar")));
        kit::walk(window, src, out, false); // now ordinary files of an uncompress pair
        QCOMPARE(kit::entries(out), QStringList({"RA000020.rn", "RA000020.rr"}));
    }

    // The archiver killed in the middle of a compression, its archive half
    // written: the user's file waits in the source folder under its neutral
    // name with its name file, and the next walk with a working archiver
    // sends it on under its own name.
    void archiverKilledPartWay() {
        const QString rar = prog->dir.filePath("rar");
        QVERIFY(QFile::remove(rar));
        kit::writeFile(rar, "#!/bin/sh\nprintf partial > \"$3\"\nkill -9 $$\n");
        QFile::setPermissions(rar, QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray big(3 << 20, 'b');
        const QString name = QString::fromUtf8("résumé \"final\" [1].bin");
        kit::drop(src, name, big);
        kit::walk(window, src, arch, true);
        QCOMPARE(kit::entries(arch), QStringList());
        const QStringList left = kit::entries(src); // the part-written archive is gone
        QCOMPARE(left.size(), 2);
        QVERIFY(left[0].endsWith(".rn") && left[1].endsWith(".rr"));
        QCOMPARE(kit::readFile(in(src, left[1])), big);

        QVERIFY(QFile::remove(rar)); // the archiver is back
        QVERIFY(QFile::link(VELMORADO_BIN_DIR "/rar", rar));
        kit::ageAll(src);
        kit::walk(window, src, arch, true);
        QCOMPARE(kit::entries(src), QStringList());
        extractAll(window, arch, out);
        QCOMPARE(kit::entries(out), QStringList{name});
        QCOMPARE(kit::readFile(in(out, name)), big);
    }

    // The name a name file gives back, and the ones it must not.
    void namesFromNameFiles() {
        using engine::NameFromNameFile;
        QCOMPARE(NameFromNameFile(kit::nameLine("ab")).value_or("-"), "ab");
        QCOMPARE(NameFromNameFile("  61006200 ,x").value_or("-"), "ab");
        for (const QString& bad :
             QStringList{"", ".", "..", "a/b", ".x", QStringLiteral("a") + QChar(0),
                         QString(QChar(0xD800)), QString(300, 'n')}) {
            QVERIFY2(!NameFromNameFile(kit::nameLine(bad)), qPrintable(bad));
        }
        QVERIFY(!NameFromNameFile("\"610\"\r\n"));
        QVERIFY(!NameFromNameFile("\"6100ZZZZ6200\"\r\n")); // not read as "a", NUL, "b"
    }

private:
    std::optional<Program> prog;
    QString src, arch, out;
    Recorder window;

    // Runs a shell writer of 40 numbered chunks into src/name, one that keeps
    // the file open or one that opens, appends and closes each time, and walks
    // src (an uncompress pair to out) over and over while it writes: the file
    // must never be taken (nor, hidden, deleted). The file held open is made
    // to look old before each walk, so that only the lease can hold it back.
    // Once left alone it is taken (a hidden one deleted, whole until then).
    void walkWhileWriting(bool keepOpen, const QString& name = "f") {
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
            QVERIFY2(kit::entries(out).isEmpty(), "a file still being written was taken");
            QVERIFY2(QFile::exists(file), "a file still being written was deleted");
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(walks > 3);
        const auto whole = [](const QByteArray& data) {
            return data.count('\n') == 40 && data.startsWith("chunk000\n") &&
                   data.endsWith("chunk038\nchunk039\n");
        };
        if (hidden) {
            QVERIFY(whole(kit::readFile(file))); // every chunk went into the one file
        }
        kit::walk(window, src, out, false); // seen once unchanged, and again a while later
        QTest::qWait(int(platform::InUseProbe::kSightingGapMs) + 100);
        kit::walk(window, src, out, false);
        if (hidden) {
            QCOMPARE(kit::entries(src) + kit::entries(out), QStringList());
        } else {
            QVERIFY(whole(kit::readFile(in(out, "f"))));
        }
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "test_engine_walk.moc"
