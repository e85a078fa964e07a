// The walk of one source folder on real files with the built archiver: what it
// skips, deletes and takes, in what order, files being written, stops,
// leftovers of crashes, names of every kind.

#include "EngineTestKit.h"
#include "config/ParameterKeys.h"
#include "engine/NumberedName.h"
#include "engine/RarRunner.h"

#include <linux/capability.h>
#include <sys/syscall.h>

using namespace kit;

class WalkTest : public QObject {
    Q_OBJECT

    std::optional<Program> prog;
    QString src, arch, out;
    Recorder window;

    // While it lives, this thread reads and writes files by their permission
    // bits alone, as any user does: root's right to override them is dropped.
    struct WithoutReadOverride {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct saved[2]{}, reduced[2]{};
        bool ok = ::geteuid() != 0;
        WithoutReadOverride() {
            if (ok || ::syscall(SYS_capget, &header, saved) != 0) {
                return;
            }
            std::copy(std::begin(saved), std::end(saved), std::begin(reduced));
            reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
            ok = ::syscall(SYS_capset, &header, reduced) == 0;
        }
        ~WithoutReadOverride() {
            if (::geteuid() == 0) {
                ::syscall(SYS_capset, &header, saved);
            }
        }
    };

    // A version of doc.txt saved in src and packed into arch at once.
    void saveAndPack(const QByteArray& version) {
        drop(src, "doc.txt", version);
        QCOMPARE(engine::CompressFile({src + '/', arch + '/', "doc.txt"}),
                 engine::FileOutcome::Done);
    }

private Q_SLOTS:
    void init() {
        prog.emplace();
        src = prog->src, arch = prog->arch, out = prog->out;
        window = Recorder();
    }
    // Folders, links and pipes are left alone; the plain files, a hidden one
    // too, are taken. A stop seen at a yield, or a per-file log line that
    // cannot be written, ends the walk after the current entry.
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
        QCOMPARE(entries(out), QStringList({".hidden", "plain"}));
        QCOMPARE(engine::state().files, 2);
        for (int i = 0; i < 6; ++i) {
            drop(arch, QStringLiteral("f%1").arg(i));
        }
        const QString to = prog->folder("to");
        window.onEvents = [&] { engine::state().stopped = !entries(to).isEmpty(); };
        walk(window, arch, to, false);
        QCOMPARE(entries(to).size(), 1);
        QCOMPARE(engine::state().files, 3); // one more than the first walk's
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
    // back; or reopened per chunk) is never taken part-way, hidden or not.
    void walkWhileWriting() {
        QFETCH(bool, keepOpen);
        QFETCH(QString, name);
        const QString file = in(src, name);
        QProcess writer;
        const QString loop = QString(keepOpen ? "exec 3>>\"$1\";" : "") +
                             " i=0; while [ $i -lt 40 ]; do printf 'chunk%03d\\n' $i " +
                             (keepOpen ? ">&3" : ">>\"$1\"") + "; i=$((i+1)); sleep 0.1; done";
        writer.start("/bin/sh", {"-c", loop, "w", file});
        QTRY_VERIFY(QFile::exists(file));
        int walks = 0;
        for (; !writer.waitForFinished(20); ++walks) {
            if (keepOpen) {
                age(file);
            }
            walk(window, src, out, false);
            QVERIFY2(entries(out).isEmpty(), "a file still being written was taken");
            QVERIFY2(QFile::exists(file), "a file still being written went");
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(walks > 3);
        const auto whole = [](const QByteArray& data) {
            return data.count('\n') == 40 && data.startsWith("chunk000\n") &&
                   data.endsWith("chunk038\nchunk039\n");
        };
        QVERIFY(whole(readFile(file))); // every chunk went into the one file
        walk(window, src, out, false);  // seen once unchanged, and again a while later
        QTest::qWait(int(platform::InUseProbe::kQuietMs) + 100);
        walk(window, src, out, false);
        QVERIFY(entries(src).isEmpty() && whole(readFile(in(out, name))));
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
        unpackAll(window, arch, out);
        QCOMPARE(entries(out), QStringList{"report"});
        QCOMPARE(readFile(in(out, "report")), "user data");
    }
    // A prefix edited into the parameters file as ".A" (hidden archives) is
    // not used, and the log says so once.
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
        unpackAll(window, arch, out);
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
        writeFile(in(src, "busy"), "newer busy");                 // being written: it stays
        writeFile(in(src, "RA000046.rn"), nameLine("in flight")); // being written: it waits
        const int writers[] = {::open(QFile::encodeName(in(src, "busy")), O_WRONLY),
                               ::open(QFile::encodeName(in(src, "RA000046.rn")), O_WRONLY)};
        walk(window, src, arch, true);
        for (const int fd : writers) {
            ::close(fd);
        }
        QCOMPARE(entries(src), QStringList({"RA000046.rn", "busy"}));
        QCOMPARE(engine::state().compressed, 8);
        unpackAll(window, arch, out);
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
    void theLastVersionMadeWins_data() {
        QTest::addColumn<int>("lastNumber");        // stored before the first version
        QTest::addColumn<QStringList>("lowerCase"); // archives renamed to "ra" and ".RAR"
        QTest::newRow("numbers in a row") << 0 << QStringList();
        QTest::newRow("across the wrap") << 999996 << QStringList();
        QTest::newRow("prefix in other cases")
            << 999996 << QStringList{"RA999999.rar", "RA000001.rar"};
    }
    // Six versions of one file, one archive each: a compress pair relays them
    // in the order they were made, whatever order the folder lists them in
    // (numbers wrap from 999999 to 0; the prefix's case does not count), and
    // an uncompress pair unpacks them in that order, so the last version stays.
    void theLastVersionMadeWins() {
        QFETCH(int, lastNumber);
        QFETCH(QStringList, lowerCase);
        config::WriteSetting(config::kSectionProcessing, config::keys::kLastFileNumber,
                             QString::number(lastNumber));
        QStringList made; // the archives, oldest first
        for (int v = 1, number = lastNumber; v <= 6; ++v) {
            number = engine::NumberedName::next(number);
            made << engine::NumberedName("RA").archive(number);
            saveAndPack("version " + QByteArray::number(v));
        }
        QCOMPARE(entries(arch).size(), 6);
        for (QString& n : made) {
            if (lowerCase.contains(n)) {
                QVERIFY(QFile::rename(in(arch, n), in(arch, "ra" + n.mid(2, 6) + ".RAR")));
                n = "ra" + n.mid(2, 6) + ".RAR";
            }
        }
        const QString mid = prog->folder("mid");
        QStringList arrived;
        window.onEvents = [&] {
            for (const QString& n : entries(mid)) {
                if (!arrived.contains(n)) {
                    arrived << n;
                }
            }
        };
        walk(window, arch, mid, true);
        QCOMPARE(arrived, made);
        window.onEvents = nullptr;
        walk(window, mid, out, false);
        QCOMPARE(entries(mid), QStringList());
        QCOMPARE(readFile(in(out, "doc.txt")), "version 6");
    }
    // An archive still being written holds back the later ones: the newer
    // version is not unpacked before the older one, which would then replace it.
    void laterArchivesWaitForAnEarlierOne() {
        saveAndPack("older");
        saveAndPack("newer");
        const int writer = ::open(QFile::encodeName(in(arch, "RA000001.rar")), O_WRONLY);
        QVERIFY(writer >= 0);
        walk(window, arch, out, false);
        ::close(writer);
        QCOMPARE(entries(out), QStringList());
        walk(window, arch, out, false);
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(readFile(in(out, "doc.txt")), "newer");
    }
    // An archive relayed on that must wait (another machine's archive of its
    // number is in the target) holds back the later ones too: a newer version
    // of a file passing an older one would arrive first and be replaced by it.
    void aRelayThatWaitsHoldsTheLaterArchives() {
        saveAndPack("older");
        saveAndPack("newer");
        const QString share = prog->folder("share");
        drop(share, "RA000001.rar", "another machine's");
        walk(window, arch, share, true);
        QCOMPARE(entries(arch), (QStringList{"RA000001.rar", "RA000002.rar"}));
        QCOMPARE(entries(share), QStringList{"RA000001.rar"});
    }
    // Hidden files are the user's and travel, a restored hidden name too; only
    // the program's own leftovers go (a move's copy, a name file's write
    // temporary, whole or cut short, an archive the archiver was writing), and
    // look-alikes of them are the user's, a name file's write temporary that
    // holds what no name file does among them.
    void hiddenFilesTravelOwnLeftoversGo() {
        const QStringList users = {
            ".htaccess",          ".env",           "._report.doc",     ".notes.abc123",
            ".velmorado-move-ab", ".rar-notes.tmp", ".RA000003.rn.abc", ".Velmorado.ini.Qw12Er",
            ".RA000004.rn.Xy98Zw"};
        for (const QString& n : users) {
            drop(src, n);
        }
        drop(src, ".velmorado-move-Xy12Zz", "part of a move");
        drop(src, ".RA000002.rn.Ab12Cd", nameLine("staged"));
        drop(src, ".RA000005.rn.Pq34Rs", nameLine("cut short").left(7));
        drop(src, ".RA000006.rn.Mn56Op", "");
        drop(src, ".rar-Ab12Cd34Ef56.tmp", "part of an archive");
        drop(src, "RA000050.rr", "profile");
        drop(src, "RA000050.rn", nameLine(".profile"));
        walk(window, src, arch, true);
        QCOMPARE(entries(src), QStringList());
        unpackAll(window, arch, out);
        const auto sorted = [](QStringList names) { return names.sort(), names; };
        QCOMPARE(sorted(entries(out)), sorted(users + QStringList{".profile"}));
        for (const QString& n : users) {
            QCOMPARE(readFile(in(out, n)), n.toUtf8());
        }
        QCOMPARE(readFile(in(out, ".profile")), "profile");
    }
    // What bears a name of the program's temporaries without being one is
    // the user's: a folder (with what it holds) is left alone, a file travels,
    // a link stays. A pass clears stale extraction folders first, so it runs
    // whole here.
    void theProgramsNamesOnTheUsersThings() {
        for (const char* dir : {".velmorado-x-photos", ".velmorado-x-RA000009.rar/album"}) {
            QVERIFY(QDir().mkpath(in(src, dir)));
            drop(src, dir + QStringLiteral("/holiday.jpg"), "holiday");
        }
        drop(src, ".velmorado-x-RA000003.rar", "a file, never a folder of ours");
        drop(src, "plain");
        QVERIFY(QFile::link(in(src, "plain"), in(src, ".velmorado-move-Ab12Cd")));
        const QString stage = prog->folder("stage");
        drop(stage, "packed");
        walk(window, stage, arch, true);
        QCOMPARE(entries(arch), QStringList{"RA000001.rar"});
        drop(arch, ".velmorado-x-RA000001.rar", "beside an archive of that name");
        Program::addChain(src, arch, out);
        pass(window); // the archive waits for its private folder's name
        pass(window); // which the user's file has left
        QCOMPARE(window.waiting, QString());
        QCOMPARE(entries(src), QStringList({".velmorado-move-Ab12Cd", ".velmorado-x-RA000009.rar",
                                            ".velmorado-x-photos"}));
        QCOMPARE(readFile(in(src, ".velmorado-x-photos/holiday.jpg")) +
                     readFile(in(src, ".velmorado-x-RA000009.rar/album/holiday.jpg")),
                 "holidayholiday");
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(entries(out), QStringList({".velmorado-x-RA000001.rar",
                                            ".velmorado-x-RA000003.rar", "packed", "plain"}));
        QCOMPARE(readFile(in(out, ".velmorado-x-RA000003.rar")) +
                     readFile(in(out, ".velmorado-x-RA000001.rar")) + readFile(in(out, "packed")),
                 "a file, never a folder of oursbeside an archive of that namepacked");
    }
    // Names that are not UTF-8 (Latin-1 from an old client) travel byte for
    // byte, and so does a name file that holds such bytes escaped.
    void namesThatAreNotUtf8TravelByteForByte() {
        using namespace filekit::bytes;
        const QByteArray latin1 = "caf\xE9 \xFF.txt", escaped = "d\xE9j\xE0";
        const QByteArray from = QFile::encodeName(src) + '/', to = QFile::encodeName(out) + '/';
        drop(src, "latin", "latin-1");
        QCOMPARE(::rename(from + "latin", from + latin1), 0);
        drop(src, "RA000070.rr", "escaped");
        drop(src, "RA000070.rn", "\"6400E9DC6A00E0DC\"\r\n"); // d, U+DCE9, j, U+DCE0
        walk(window, src, arch, true);
        QCOMPARE(rawNames(from), QList<QByteArray>());
        unpackAll(window, arch, out);
        QCOMPARE(rawNames(to), QList<QByteArray>({latin1, escaped}));
        QCOMPARE(get(to + latin1) + get(to + escaped), "latin-1escaped");
    }
    // A file the program may not read waits as a cause of its own: logged once
    // when it starts and once it can be read, shown with the others; it then travels.
    void anUnreadableFileIsAWaitCause() {
        config::settings().logs = true;
        drop(src, "secret", "for my eyes");
        QVERIFY(::chmod(QFile::encodeName(in(src, "secret")), 0) == 0);
        Program::addPair(src, arch, true);
        {
            const WithoutReadOverride asUser;
            if (!asUser.ok) {
                QSKIP("root that cannot drop its right to read anything: nothing is unreadable");
            }
            pass(window);
            pass(window);
        }
        QCOMPARE(entries(arch), QStringList());
        QCOMPARE(window.waiting, "Files waiting: File cannot be read (access rights) (1)");
        QCOMPARE(logLines(prog->path(), "File cannot be read").size(), 1);
        QVERIFY(::chmod(QFile::encodeName(in(src, "secret")), 0600) == 0);
        const int writer = ::open(QFile::encodeName(in(src, "secret")), O_WRONLY | O_APPEND);
        pass(window); // readable, but written to: it waits, no longer for its rights
        ::close(writer);
        QCOMPARE(window.waiting, QString());
        QCOMPARE(entries(arch), QStringList());
        pass(window);
        QCOMPARE(entries(arch), QStringList{"RA000001.rar"});
        const QStringList said = logLines(prog->path(), "File cannot be read");
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].contains("Waiting over") && said[1].contains(in(src, "secret")),
                 qPrintable(said[1]));
    }
    // A double quote in a folder's name goes through the archiver's command
    // line: files of such folders are packed and unpacked.
    void aQuoteInAFolderName() {
        const QString from = prog->folder("a\"b"), via = prog->folder("c\" \\\"d\\");
        drop(from, "report.doc", "the report");
        walk(window, from, via, true);
        QCOMPARE(entries(via), QStringList{"RA000001.rar"});
        unpackAll(window, via, out);
        QCOMPARE(entries(from) + entries(via), QStringList());
        QCOMPARE(readFile(in(out, "report.doc")), "the report");
    }
    // The quiet period runs on the program's clock from the first sighting: a
    // file dated ahead travels in a run of one pass; one written again under
    // an old date (a writer whose clock is late) waits.
    void theQuietPeriodRunsOnTheProgramsClock() {
        drop(src, "rewritten", "first part");
        int writes = 0;
        window.onEvents = [&] {
            if (writes < 3) {
                QFile f(in(src, "rewritten"));
                QVERIFY(f.open(QIODevice::Append) && f.write(" more") == 5);
                f.close();
                age(in(src, "rewritten"));
                ++writes;
            }
        };
        walk(window, src, arch, true);
        window.onEvents = nullptr;
        QCOMPARE(entries(arch), QStringList());
        QTest::qWait(int(platform::InUseProbe::kQuietMs) + 100);
        walk(window, src, arch, true);
        QCOMPARE(entries(arch), QStringList{"RA000001.rar"});

        config::settings().arretAutomatique = true;
        drop(src, "dated ahead", "from the future");
        age(in(src, "dated ahead"), -3600);
        Program::addChain(src, arch, out);
        pass(window);
        QCOMPARE(window.events.last(), "end");
        QCOMPARE(entries(src) + entries(arch), QStringList());
        QCOMPARE(readFile(in(out, "dated ahead")) + readFile(in(out, "rewritten")),
                 "from the futurefirst part more more more");
    }
};

QTEST_GUILESS_MAIN(WalkTest)
#include "test_engine_walk.moc"
