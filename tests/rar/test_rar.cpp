// Runs the built rar on real files and archives: what it writes, what it
// refuses to write, and what it leaves in place when something fails.

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using Names = QList<QByteArray>;

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Result runRar(const Names& args, const QByteArray& cwd = {},
              const std::function<void()>& childSetup = {}) {
    QProcess p;
    p.setProgram(QStringLiteral(VELMORADO_BIN_DIR "/rar"));
    QStringList list;
    for (const QByteArray& a : args) {
        list << QFile::decodeName(a);
    }
    p.setArguments(list);
    if (!cwd.isEmpty()) {
        p.setWorkingDirectory(QFile::decodeName(cwd));
    }
    if (childSetup) {
        p.setChildProcessModifier(childSetup);
    }
    p.start();
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

int runShell(const QString& command) {
    return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
}

void put(const QByteArray& path, const QByteArray& data) {
    QFile f(QFile::decodeName(path));
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), path.constData());
    QCOMPARE(f.write(data), data.size());
}

QByteArray get(const QByteArray& path) {
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every name in a folder, hidden ones included, sorted.
Names names(const QByteArray& dir) {
    Names result;
    if (DIR* d = opendir(dir.constData())) {
        while (const dirent* e = readdir(d)) {
            const QByteArray n(e->d_name);
            if (n != "." && n != "..") {
                result << n;
            }
        }
        closedir(d);
    }
    std::sort(result.begin(), result.end());
    return result;
}

QMap<QByteArray, QByteArray> userXattrs(const QByteArray& path) {
    QMap<QByteArray, QByteArray> result;
    char list[4096];
    const ssize_t n = llistxattr(path.constData(), list, sizeof list);
    for (ssize_t pos = 0; pos < n; pos += ssize_t(strlen(list + pos)) + 1) {
        const QByteArray name(list + pos);
        if (name.startsWith("user.")) {
            QByteArray value(65536, '\0');
            value.resize(lgetxattr(path.constData(), name.constData(), value.data(), value.size()));
            result.insert(name, value);
        }
    }
    return result;
}

// Half text-like, half random, in chunks, so compression has something of both.
QByteArray mixedData(int size, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray data;
    while (data.size() < size) {
        for (int i = 0; i < 500; ++i) {
            data += "line " + QByteArray::number(rng.bounded(100000)) + " of some text\n";
        }
        QByteArray noise(8192, '\0');
        rng.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        data += noise;
    }
    data.resize(size);
    return data;
}

QByteArray bsdtarList(const QByteArray& archive) {
    QProcess tar;
    tar.start(QStringLiteral("bsdtar"), {QStringLiteral("-tf"), QFile::decodeName(archive)});
    tar.waitForFinished();
    return tar.readAllStandardOutput();
}

struct Entry {
    Entry(QByteArray n, unsigned t = AE_IFREG, QByteArray d = {}, QByteArray l = {},
          unsigned m = 0644, QMap<QByteArray, QByteArray> x = {})
        : name(n), type(t), data(d), link(l), mode(m), xattrs(x) {}
    QByteArray name;
    unsigned type;
    QByteArray data;
    QByteArray link; // symlink target or hard link target
    unsigned mode;
    QMap<QByteArray, QByteArray> xattrs;
};

// Writes a tar.zst with libarchive, holding whatever entries a hostile sender could craft.
void writeArchive(const QByteArray& path, const QList<Entry>& entries) {
    archive* a = archive_write_new();
    archive_write_set_format_pax(a);
    archive_write_add_filter_zstd(a);
    QCOMPARE(archive_write_open_filename(a, path.constData()), ARCHIVE_OK);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.mode);
        archive_entry_set_size(entry, e.data.size());
        if (e.type == AE_IFLNK) {
            archive_entry_set_symlink(entry, e.link.constData());
        } else if (!e.link.isEmpty()) {
            archive_entry_set_hardlink(entry, e.link.constData());
            archive_entry_set_size(entry, 0);
        }
        if (e.type == AE_IFCHR) {
            archive_entry_set_rdev(entry, makedev(1, 3));
        }
        for (auto it = e.xattrs.begin(); it != e.xattrs.end(); ++it) {
            archive_entry_xattr_add_entry(entry, it.key().constData(), it.value().constData(),
                                          size_t(it.value().size()));
        }
        QVERIFY2(archive_write_header(a, entry) == ARCHIVE_OK, archive_error_string(a));
        if (e.link.isEmpty() && !e.data.isEmpty()) {
            archive_write_data(a, e.data.constData(), size_t(e.data.size()));
        }
        archive_entry_free(entry);
    }
    QCOMPARE(archive_write_close(a), ARCHIVE_OK);
    archive_write_free(a);
}

} // namespace

class TestRar : public QObject {
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void roundTripKeepsNamesContentsStreamsAndTimes();
    void pairIsArchivedBeforeItsFilesGoDataFileFirst();
    void interoperatesWithBsdtarAnd7Zip();
    void hostileArchiveWritesOnlyRegularFilesHere();
    void genuineRarArchives_data();
    void genuineRarArchives();
    void extractionReplacesExistingFileWhole();
    void failedAddKeepsArchiveAndSources();
    void damagedArchiveLeavesNoHalfFile();
};

void TestRar::commandLine_data() {
    QTest::addColumn<Names>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("no arguments") << Names{} << 7 << QByteArray("no command");
    QTest::newRow("unknown command")
        << Names{"x", "X.rar"} << 7 << QByteArray("unknown command 'x'");
    QTest::newRow("add, no archive")
        << Names{"a", "-os", "-df"} << 7 << QByteArray("missing archive");
    QTest::newRow("add, no wildcard")
        << Names{"a", "-os", "X.rar", "-df"} << 7 << QByteArray("missing file wildcard");
    QTest::newRow("extract, no archive") << Names{"e"} << 7 << QByteArray("missing archive");
    QTest::newRow("unknown switch") << Names{"a", "-os", "X.rar", "X.r?", "-df", "-zz"} << 7
                                    << QByteArray("unknown switch '-zz'");
    QTest::newRow("-df on extract")
        << Names{"e", "-df", "X.rar"} << 7 << QByteArray("unknown switch '-df'");
    QTest::newRow("help") << Names{"-?"} << 0 << QByteArray("a -os <archive>");
    QTest::newRow("extract, archive missing")
        << Names{"e", "none.rar"} << 2 << QByteArray("cannot open archive none.rar");
}

void TestRar::commandLine() {
    QFETCH(Names, args);
    QFETCH(int, code);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    put(d + "/X.rn", "name");
    put(d + "/X.rr", "data");

    const Result r = runRar(args, d);
    QCOMPARE(r.code, code);
    QVERIFY2((code == 0 ? r.out : r.err).contains(message), r.err.constData());
    if (code == 7) {
        QVERIFY(r.err.contains("Usage: rar"));
    }
    // A refused command line touches nothing.
    QCOMPARE(names(d), (Names{"X.rn", "X.rr"}));
}

void TestRar::roundTripKeepsNamesContentsStreamsAndTimes() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/src", 0755) == 0 && mkdir(d + "/out", 0755) == 0);
    const Names hardNames = {
        "\xce\xa9 capital omega",
        "with  spaces ",
        "bang!",
        "100%",
        "say \"hi\"",
        "a&b<c>d",
        "-leading dash",
        QByteArray(250, 'n') + ".long", // 255 bytes, the longest name allowed
        "empty",
    };
    QMap<QByteArray, QByteArray> contents;
    for (int i = 0; i < hardNames.size(); ++i) {
        contents[hardNames[i]] = hardNames[i] == "empty" ? QByteArray() : mixedData(1000 * i, i);
    }
    contents["big"] = mixedData(3 << 20, 99); // several read blocks
    mode_t mode = 0600;
    for (auto it = contents.begin(); it != contents.end(); ++it, mode ^= 0155) {
        const QByteArray path = d + "/src/" + it.key();
        put(path, it.value());
        chmod(path.constData(), mode);
        const timespec times[2] = {{1600000000, 0}, {1500000000 + it.value().size(), 123456789}};
        QCOMPARE(utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    }
    const QByteArray fork("\0\x01resource fork\xff", 17);
    const bool haveXattrs =
        setxattr(d + "/src/big", "user.org.netatalk.ResourceFork", fork.constData(),
                 size_t(fork.size()), 0) == 0 &&
        setxattr(d + "/src/\xce\xa9 capital omega", "user.DosStream.Zone.Identifier:$DATA",
                 "[ZoneTransfer]", 14, 0) == 0;
    QMap<QByteArray, struct stat> before;
    for (const QByteArray& n : contents.keys()) {
        stat(d + "/src/" + n, &before[n]);
    }

    Result r = runRar({"a", "-os", d + "/RA000001.rar", d + "/src/*", "-df"});
    QCOMPARE(r.code, 0);
    QVERIFY(names(d + "/src").isEmpty());
    r = runRar({"e", d + "/RA000001.rar"}, d + "/out");
    QCOMPARE(r.code, 0);
    QCOMPARE(names(d + "/out"), contents.keys());
    for (auto it = contents.begin(); it != contents.end(); ++it) {
        const QByteArray path = d + "/out/" + it.key();
        QCOMPARE(get(path), it.value());
        struct stat st {};
        QCOMPARE(stat(path, &st), 0);
        QCOMPARE(st.st_mode, before[it.key()].st_mode);
        QCOMPARE(st.st_mtim.tv_sec, before[it.key()].st_mtim.tv_sec);
        QCOMPARE(st.st_mtim.tv_nsec, before[it.key()].st_mtim.tv_nsec);
    }
    if (!haveXattrs) {
        QSKIP("the temporary folder's file system refuses user.* extended attributes");
    }
    QCOMPARE(userXattrs(d + "/out/big").value("user.org.netatalk.ResourceFork"), fork);
    QCOMPARE(
        userXattrs(d + "/out/\xce\xa9 capital omega"),
        (QMap<QByteArray, QByteArray>{{"user.DosStream.Zone.Identifier:$DATA", "[ZoneTransfer]"}}));
}

void TestRar::pairIsArchivedBeforeItsFilesGoDataFileFirst() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    put(d + "/RA000124.rn", "Report 2024.pdf");
    put(d + "/RA000124.rr", mixedData(100000, 1));
    put(d + "/RA000124.rar", "stale archive from an earlier attempt");
    put(d + "/RA000124.rrr", "not matched by r?");
    put(d + "/RA000125.rr", "another pair");

    const int watch = inotify_init1(IN_NONBLOCK);
    QVERIFY(watch >= 0);
    QVERIFY(inotify_add_watch(watch, d.constData(), IN_DELETE | IN_MOVED_TO) >= 0);
    const Result r = runRar({"a", "-os", d + "/RA000124.rar", d + "/RA000124.r?", "-df"});
    QCOMPARE(r.code, 0);

    Names events;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* ev = reinterpret_cast<inotify_event*>(p);
            events << QByteArray(ev->mask & IN_DELETE ? "deleted " : "moved in ") + ev->name;
            p += sizeof(inotify_event) + ev->len;
        }
    }
    close(watch);
    // The new archive is in place before any source goes, and the data file before its name file.
    QCOMPARE(events,
             (Names{"moved in RA000124.rar", "deleted RA000124.rr", "deleted RA000124.rn"}));
    QCOMPARE(names(d), (Names{"RA000124.rar", "RA000124.rrr", "RA000125.rr"}));
    QCOMPARE(bsdtarList(d + "/RA000124.rar"), QByteArray("RA000124.rn\nRA000124.rr\n"));

    // An archive never packs an older copy of itself, even when "*" matches it.
    put(d + "/all.rar", "stale");
    QCOMPARE(runRar({"a", d + "/all.rar", d + "/*"}).code, 0);
    QCOMPARE(bsdtarList(d + "/all.rar"), QByteArray("RA000124.rar\nRA000124.rrr\nRA000125.rr\n"));
}

void TestRar::interoperatesWithBsdtarAnd7Zip() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    for (const char* sub : {"/src", "/bsd", "/back"}) {
        QVERIFY(mkdir(d + sub, 0755) == 0);
    }
    const QByteArray data = mixedData(500000, 7);
    put(d + "/src/X.rn", "name file");
    put(d + "/src/X.rr", data);
    QCOMPARE(runRar({"a", "-os", d + "/X.rar", d + "/src/X.r?"}).code, 0);
    const QString archive = QFile::decodeName(d + "/X.rar");

    QCOMPARE(runShell("cd '" + dir.path() + "/bsd' && bsdtar -xf '" + archive + "'"), 0);
    QCOMPARE(get(d + "/bsd/X.rr"), data);
    QCOMPARE(get(d + "/bsd/X.rn"), QByteArray("name file"));

    // The other way round: a tar.zst made by bsdtar extracts with rar.
    QCOMPARE(runShell("cd '" + dir.path() + "/src' && bsdtar --zstd -cf ../made.rar X.rr"), 0);
    QCOMPARE(runRar({"e", d + "/made.rar"}, d + "/back").code, 0);
    QCOMPARE(get(d + "/back/X.rr"), data);

    QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    if (sevenZip.isEmpty()) {
        sevenZip = QStandardPaths::findExecutable(QStringLiteral("7z"));
    }
    if (sevenZip.isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
    // 7-Zip opens one layer at a time: it checks the zstd layer, then lists the tar inside.
    QCOMPARE(QProcess::execute(sevenZip, {QStringLiteral("t"), archive}), 0);
    QProcess list;
    list.start(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"),
                sevenZip + " x -so '" + archive + "' | " + sevenZip + " l -si -ttar"});
    QVERIFY(list.waitForFinished());
    const QByteArray listing = list.readAllStandardOutput();
    QVERIFY2(listing.contains("X.rn") && listing.contains("X.rr") &&
                 listing.contains(QByteArray::number(data.size())),
             listing.constData());
}

void TestRar::hostileArchiveWritesOnlyRegularFilesHere() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/work", 0755) == 0);
    put(d + "/outside.txt", "OUTSIDE");
    // A symbolic link already here must be replaced, not written through.
    QVERIFY(symlink("../outside.txt", d + "/work/victim") == 0);
    const Entry setuid{"bin/tool", AE_IFREG, "#!/bin/sh\n",
                       {},         04755,    {{"user.ok", "1"}, {"trusted.evil", "1"}}};
    writeArchive(d + "/h.rar", {
                                   {"../escape.txt", AE_IFREG, "E"},
                                   {d + "/abs.txt", AE_IFREG, "A"},
                                   {"deep/dir/ok.txt", AE_IFREG, "O"},
                                   {"link", AE_IFLNK, {}, "../outside.txt"},
                                   {"hard", AE_IFREG, {}, "deep/dir/ok.txt"},
                                   {"fifo", AE_IFIFO},
                                   {"null", AE_IFCHR},
                                   {"folder", AE_IFDIR, {}, {}, 0755},
                                   {".", AE_IFREG, "dot"},
                                   {"x/..", AE_IFREG, "dotdot"},
                                   {"victim", AE_IFREG, "NEW"},
                                   setuid,
                               });

    const Result r = runRar({"e", d + "/h.rar"}, d + "/work");
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("skipping 'link'") && r.err.contains("skipping 'fifo'"));
    QCOMPARE(names(d + "/work"), (Names{"abs.txt", "escape.txt", "ok.txt", "tool", "victim"}));
    QCOMPARE(names(d), (Names{"h.rar", "outside.txt", "work"}));
    QCOMPARE(get(d + "/outside.txt"), QByteArray("OUTSIDE"));
    struct stat st {};
    QCOMPARE(lstat(d + "/work/victim", &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(get(d + "/work/victim"), QByteArray("NEW"));
    // No set-user-ID bit and no trusted.* attribute from an archive.
    QCOMPARE(stat(d + "/work/tool", &st), 0);
    QCOMPARE(st.st_mode & 07777, 0755u);
    QCOMPARE(getxattr(d + "/work/tool", "trusted.evil", nullptr, 0), ssize_t(-1));
    // An mtree list names files to copy from this machine; it is not an archive.
    put(d + "/list.rar", "#mtree\n./leak type=file contents=" + d + "/outside.txt\n");
    QCOMPARE(runRar({"e", d + "/list.rar"}, d + "/work").code, 2);
    QVERIFY(!names(d + "/work").contains("leak"));

    if (setxattr(d + "/work/ok.txt", "user.probe", "1", 1, 0) == 0) {
        QCOMPARE(userXattrs(d + "/work/tool").value("user.ok"), QByteArray("1"));
    }
}

void TestRar::genuineRarArchives_data() {
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("code");
    QTest::newRow("RAR 4, links and folders") << QByteArray("rar.rar") << QByteArray("test.txt")
                                              << QByteArray("test text document\r\n") << 1;
    QTest::newRow("RAR 5, stored") << QByteArray("rar5_stored.rar") << QByteArray("helloworld.txt")
                                   << QByteArray("hello libarchive test suite!\n") << 0;
    QTest::newRow("RAR 5, links and folders")
        << QByteArray("rar5_symlink.rar") << QByteArray("file.txt") << QByteArray("1234\n") << 1;
}

void TestRar::genuineRarArchives() {
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, content);
    QFETCH(int, code);
    const QByteArray source = VELMORADO_TESTDATA_DIR "/rar/" + archive;
    if (!QFileInfo::exists(QFile::decodeName(source))) {
        QSKIP("the shared genuine RAR archives are not present in " VELMORADO_TESTDATA_DIR);
    }
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/work", 0755) == 0);

    const Result r = runRar({"e", source}, d + "/work");
    QCOMPARE(r.code, code);
    QCOMPARE(names(d + "/work"), Names{file});
    QCOMPARE(names(d), Names{"work"});
    QCOMPARE(get(d + "/work/" + file), content);
}

void TestRar::extractionReplacesExistingFileWhole() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/work", 0755) == 0);
    writeArchive(d + "/new.rar", {{"a.txt", AE_IFREG, "new contents"}});
    put(d + "/work/a.txt", "old contents, longer than the new ones");
    // A second name for the old file shows whether it was rewritten in place.
    QVERIFY(link(d + "/work/a.txt", d + "/old-link") == 0);

    QCOMPARE(runRar({"e", d + "/new.rar"}, d + "/work").code, 0);
    QCOMPARE(get(d + "/work/a.txt"), QByteArray("new contents"));
    QCOMPARE(get(d + "/old-link"), QByteArray("old contents, longer than the new ones"));
    QCOMPARE(names(d + "/work"), Names{"a.txt"});
}

void TestRar::failedAddKeepsArchiveAndSources() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/src", 0755) == 0 && mkdir(d + "/dest", 0755) == 0);
    const QByteArray data = mixedData(1 << 20, 3);
    put(d + "/src/X.rn", "name");
    put(d + "/src/X.rr", data);
    put(d + "/dest/X.rar", "OLD ARCHIVE");
    const auto sourcesIntact = [&] {
        QCOMPARE(names(d + "/src"), (Names{"X.rn", "X.rr"}));
        QCOMPARE(get(d + "/src/X.rr"), data);
        QCOMPARE(names(d + "/dest"), Names{"X.rar"});
        QCOMPARE(get(d + "/dest/X.rar"), QByteArray("OLD ARCHIVE"));
    };

    // The archive's folder does not exist.
    Result r = runRar({"a", "-os", d + "/missing/X.rar", d + "/src/X.r?", "-df"});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("missing"));
    sourcesIntact();

    // The disk "fills up" half way through: writes past 64 KiB fail.
    r = runRar({"a", "-os", d + "/dest/X.rar", d + "/src/X.r?", "-df"}, {}, [] {
        const rlimit limit{64 << 10, 64 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(r.code, 2);
    sourcesIntact();

    // A matched file cannot be read (permissions bind everyone but root).
    if (geteuid() != 0) {
        chmod(d + "/src/X.rr", 0);
        QCOMPARE(runRar({"a", "-os", d + "/dest/X.rar", d + "/src/X.r?", "-df"}).code, 2);
        chmod(d + "/src/X.rr", 0644);
        sourcesIntact();
    }

    r = runRar({"a", "-os", d + "/dest/Y.rar", d + "/src/Y.r?", "-df"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("No files to add"));
    sourcesIntact();
}

void TestRar::damagedArchiveLeavesNoHalfFile() {
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    QVERIFY(mkdir(d + "/src", 0755) == 0 && mkdir(d + "/work", 0755) == 0);
    put(d + "/src/X.rn", "name");
    // Incompressible data is stored as raw zstd blocks: only a checksum can notice damage there.
    QByteArray noise(2 << 20, '\0');
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    put(d + "/src/X.rr", noise);
    QCOMPARE(runRar({"a", "-os", d + "/X.rar", d + "/src/X.r?"}).code, 0);
    const QByteArray good = get(d + "/X.rar");

    QByteArray flipped = good;
    for (qsizetype i = good.size() / 2; i < good.size() / 2 + 4; ++i) {
        flipped[i] = char(~flipped[i]);
    }
    const QList<std::pair<const char*, QByteArray>> damaged = {
        {"bytes flipped in the middle", flipped}, {"cut short", good.left(good.size() * 3 / 5)}};
    for (const auto& [what, bytes] : damaged) {
        put(d + "/bad.rar", bytes);
        put(d + "/work/X.rr", "OLD");
        const Result r = runRar({"e", d + "/bad.rar"}, d + "/work");
        QVERIFY2(r.code == 3, what);
        QCOMPARE(get(d + "/work/X.rr"), QByteArray("OLD"));
        // The name file before the damage may be there; nothing else may.
        for (const QByteArray& n : names(d + "/work")) {
            QVERIFY2(n == "X.rr" || n == "X.rn", n.constData());
        }
    }
}

QTEST_GUILESS_MAIN(TestRar)
#include "test_rar.moc"
