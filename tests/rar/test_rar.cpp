// Runs the built rar on real files and archives: what it writes, what it
// refuses to write, and what it leaves in place when something fails.

#include "FileKit.h"

#include <QtTest>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using Names = QList<QByteArray>;

struct Result {
    int code = -1;
    QByteArray output; // standard output and error together
};

// rar, or (program given) another program, run in cwd.
Result run(const Names& args, const QByteArray& cwd = {}, const std::function<void()>& setup = {},
           const QString& program = VELMORADO_BIN_DIR "/rar") {
    QProcess p;
    QStringList list;
    for (const QByteArray& a : args) {
        list << QFile::decodeName(a);
    }
    p.setWorkingDirectory(QFile::decodeName(cwd));
    p.setChildProcessModifier(setup ? setup : [] {});
    p.setProcessChannelMode(QProcess::MergedChannels); // the help goes to stdout
    p.start(program, list);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAll()};
}

Result shell(const QByteArray& folder, const QByteArray& command) {
    return run({"-c", command}, folder, {}, "/bin/sh");
}

// Paths here are bytes, as the archiver sees them.
void put(const QByteArray& path, const QByteArray& data) {
    filekit::writeFile(QFile::decodeName(path), data);
}

QByteArray get(const QByteArray& path) {
    return filekit::readFile(QFile::decodeName(path));
}

// Every name in a folder, hidden ones included, in byte order.
Names names(const QByteArray& dir) {
    Names result;
    for (const QString& n : filekit::entries(QFile::decodeName(dir))) {
        result << QFile::encodeName(n);
    }
    std::sort(result.begin(), result.end());
    return result;
}

Names userXattrs(const QByteArray& path) {
    return filekit::userXattrs(QFile::decodeName(path));
}

// Random bytes: incompressible, stored raw in an archive.
QByteArray noise(int size, quint32 seed) {
    QByteArray data(size, '\0');
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

// Text-like lines and random noise in turn, so compression has something of both.
QByteArray mixedData(int size, quint32 seed) {
    QByteArray data;
    for (quint32 i = 0; data.size() < size; ++i) {
        data += "line " + QByteArray::number(i) + " of some text\n" + noise(1024, seed + i);
    }
    return data.left(size);
}

struct Entry {
    QByteArray name;
    unsigned type = AE_IFREG;
    QByteArray data = {};
    QByteArray link = {}; // symlink target or hard link target
    unsigned mode = 0644;
    QMap<QByteArray, QByteArray> xattrs = {};
};

// Writes a tar.zst with libarchive, holding whatever entries a hostile sender could craft.
void writeArchive(const QByteArray& path, const QList<Entry>& entries) {
    archive* a = archive_write_new();
    archive_write_set_format_pax(a);
    archive_write_add_filter_zstd(a);
    QCOMPARE(archive_write_open_filename(a, path), ARCHIVE_OK);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name);
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.mode);
        archive_entry_set_size(entry, e.link.isEmpty() ? e.data.size() : 0);
        if (e.type == AE_IFLNK) {
            archive_entry_set_symlink(entry, e.link);
        } else if (!e.link.isEmpty()) {
            archive_entry_set_hardlink(entry, e.link);
        }
        archive_entry_set_rdev(entry, makedev(1, 3));
        for (auto it = e.xattrs.begin(); it != e.xattrs.end(); ++it) {
            archive_entry_xattr_add_entry(entry, it.key(), it.value(), size_t(it.value().size()));
        }
        QVERIFY2(archive_write_header(a, entry) == ARCHIVE_OK, archive_error_string(a));
        archive_write_data(a, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    QCOMPARE(archive_write_close(a), ARCHIVE_OK);
    archive_write_free(a);
}

} // namespace

class TestRar : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_dir.emplace().isValid());
        d = QFile::encodeName(m_dir->path());
        QVERIFY(mkdir(d + "/src", 0755) == 0 && mkdir(d + "/work", 0755) == 0);
    }

    void commandLine_data() {
        QTest::addColumn<Names>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no arguments") << Names{} << 7 << QByteArray("no command");
        QTest::newRow("unknown command") << Names{"x", "X.rar"} << 7 << QByteArray("'x'");
        QTest::newRow("add, no wildcard")
            << Names{"a", "-os", "X.rar", "-df"} << 7 << QByteArray("missing file wildcard");
        QTest::newRow("-df on extract") << Names{"e", "-df", "X.rar"} << 7 << QByteArray("'-df'");
        QTest::newRow("help") << Names{"-?"} << 0 << QByteArray("a -os <archive>");
        QTest::newRow("archive missing")
            << Names{"e", "none.rar"} << 2 << QByteArray("cannot open archive none.rar");
    }

    // Refused command lines exit 7 with the usage and touch nothing.
    void commandLine() {
        QFETCH(Names, args);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        put(d + "/X.rn", "name");
        put(d + "/X.rr", "data");
        const Result r = run(args, d);
        QCOMPARE(r.code, code);
        QVERIFY2(r.output.contains(message) && (code != 7 || r.output.contains("Usage: rar")),
                 r.output);
        QCOMPARE(names(d), (Names{"X.rn", "X.rr", "src", "work"}));
    }

    // Hard names, contents, modes, nanosecond times and user.* attributes
    // come back unchanged; -df empties the source folder.
    void roundTrip() {
        const Names hardNames = {"empty",
                                 "\xce\xa9 capital omega",
                                 "with  spaces ",
                                 "bang!",
                                 "100%",
                                 "say \"hi\"",
                                 "a&b<c>d",
                                 "-leading dash",
                                 QByteArray(250, 'n') + ".long"}; // 255 bytes, the longest
        QMap<QByteArray, QByteArray> contents;
        for (int i = 0; i < hardNames.size(); ++i) {
            contents[hardNames[i]] = mixedData(1000 * i, i);
        }
        contents["big"] = mixedData(3 << 20, 99); // several read blocks
        mode_t mode = 0600;
        QMap<QByteArray, struct stat> before;
        for (auto it = contents.begin(); it != contents.end(); ++it, mode ^= 0155) {
            const QByteArray path = d + "/src/" + it.key();
            put(path, it.value());
            chmod(path, mode);
            const timespec times[2] = {{0, 0}, {1500000000 + it.value().size(), 123456789}};
            QCOMPARE(utimensat(AT_FDCWD, path, times, 0), 0);
            stat(path, &before[it.key()]);
        }
        const QByteArray fork("\0\x01resource fork\xff", 17);
        const bool haveXattrs =
            setxattr(d + "/src/big", "user.org.netatalk.ResourceFork", fork, fork.size(), 0) == 0 &&
            setxattr(d + "/src/\xce\xa9 capital omega", "user.DosStream.Zone.Identifier:$DATA",
                     "[ZoneTransfer]", 14, 0) == 0;

        QCOMPARE(run({"a", "-os", d + "/RA000001.rar", d + "/src/*", "-df"}).code, 0);
        QVERIFY(names(d + "/src").isEmpty());
        QCOMPARE(run({"e", d + "/RA000001.rar"}, d + "/work").code, 0);
        QCOMPARE(names(d + "/work"), contents.keys());
        for (auto it = contents.begin(); it != contents.end(); ++it) {
            const QByteArray path = d + "/work/" + it.key();
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
        QCOMPARE(userXattrs(d + "/work/big"), Names{"user.org.netatalk.ResourceFork=" + fork});
        QCOMPARE(userXattrs(d + "/work/\xce\xa9 capital omega"),
                 Names{"user.DosStream.Zone.Identifier:$DATA=[ZoneTransfer]"});
    }

    // The new archive is in place before any source goes, and the data file
    // goes before its name file; files the wildcard does not match stay.
    void pairIsArchivedBeforeItsFilesGoDataFileFirst() {
        put(d + "/RA000124.rn", "Report 2024.pdf");
        put(d + "/RA000124.rr", mixedData(100000, 1));
        put(d + "/RA000124.rar", "stale archive from an earlier attempt");
        put(d + "/RA000124.rrr", "not matched by r?");
        const int watch = inotify_init1(IN_NONBLOCK);
        QVERIFY(watch >= 0 && inotify_add_watch(watch, d, IN_DELETE | IN_MOVED_TO) >= 0);
        QCOMPARE(run({"a", "-os", d + "/RA000124.rar", d + "/RA000124.r?", "-df"}).code, 0);

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
        QCOMPARE(events,
                 (Names{"moved in RA000124.rar", "deleted RA000124.rr", "deleted RA000124.rn"}));
        QCOMPARE(names(d), (Names{"RA000124.rar", "RA000124.rrr", "src", "work"}));
        QCOMPARE(shell(d, "bsdtar -tf RA000124.rar").output, "RA000124.rn\nRA000124.rr\n");
        // An archive never packs an older copy of itself, even when "*" matches it.
        put(d + "/all.rar", "stale");
        QCOMPARE(run({"a", d + "/all.rar", d + "/*"}).code, 0);
        QCOMPARE(shell(d, "bsdtar -tf all.rar").output, "RA000124.rar\nRA000124.rrr\n");
    }

    // bsdtar extracts what rar writes and the reverse; 7-Zip checks the
    // zstd layer and lists the tar inside.
    void interoperatesWithBsdtarAnd7Zip() {
        const QByteArray data = mixedData(500000, 7);
        put(d + "/src/X.rn", "name file");
        put(d + "/src/X.rr", data);
        QCOMPARE(run({"a", "-os", d + "/X.rar", d + "/src/X.r?"}).code, 0);
        QCOMPARE(shell(d + "/work", "bsdtar -xf ../X.rar").code, 0);
        QCOMPARE(get(d + "/work/X.rr") + get(d + "/work/X.rn"), data + "name file");

        QCOMPARE(shell(d + "/src", "bsdtar --zstd -cf ../made.rar X.rr").code, 0);
        QVERIFY(QFile::remove(QFile::decodeName(d + "/work/X.rr")));
        QCOMPARE(run({"e", d + "/made.rar"}, d + "/work").code, 0);
        QCOMPARE(get(d + "/work/X.rr"), data);

        QString sevenZip = QStandardPaths::findExecutable("7zz");
        if (sevenZip.isEmpty() && (sevenZip = QStandardPaths::findExecutable("7z")).isEmpty()) {
            QSKIP("7-Zip is not installed");
        }
        const QByteArray zz = QFile::encodeName(sevenZip);
        QCOMPARE(shell(d, zz + " t X.rar").code, 0);
        const QByteArray listing = shell(d, zz + " x -so X.rar | " + zz + " l -si -ttar").output;
        QVERIFY2(listing.contains("X.rn") && listing.contains("X.rr") &&
                     listing.contains(QByteArray::number(data.size())),
                 listing);
    }

    // Dot-dot and absolute names, links, devices, fifos, folders, "." and
    // ".." names: only regular files are written, all in the current folder,
    // without set-user-ID bits or attributes outside user.*; a symbolic link
    // already there is replaced, not written through, and an existing file
    // is replaced whole (a second name for it keeps the old contents).
    void hostileArchiveWritesOnlyRegularFilesHere() {
        put(d + "/outside.txt", "OUTSIDE");
        QVERIFY(symlink("../outside.txt", d + "/work/victim") == 0);
        put(d + "/work/ok.txt", "old contents, longer than the new ones");
        QVERIFY(link(d + "/work/ok.txt", d + "/old-link") == 0);
        writeArchive(d + "/h.rar", {{"../escape.txt", AE_IFREG, "E"},
                                    {d + "/abs.txt", AE_IFREG, "A"},
                                    {"deep/dir/ok.txt", AE_IFREG, "O"},
                                    {"link", AE_IFLNK, {}, "../outside.txt"},
                                    {"hard", AE_IFREG, {}, "deep/dir/ok.txt"},
                                    {"fifo", AE_IFIFO},
                                    {"null", AE_IFCHR},
                                    {"folder", AE_IFDIR, {}, {}, 0755},
                                    {".", AE_IFREG, "dot"},
                                    {"x/..", AE_IFREG, "dotdot"},
                                    {"", AE_IFREG, "empty name"},
                                    {"victim", AE_IFREG, "NEW"},
                                    {"bin/tool",
                                     AE_IFREG,
                                     "#!/bin/sh\n",
                                     {},
                                     04755,
                                     {{"user.ok", "1"}, {"trusted.evil", "1"}}}});

        const Result r = run({"e", d + "/h.rar"}, d + "/work");
        QCOMPARE(r.code, 1);
        QVERIFY(r.output.contains("skipping 'link'") && r.output.contains("skipping 'fifo'"));
        QCOMPARE(names(d + "/work"), (Names{"abs.txt", "escape.txt", "ok.txt", "tool", "victim"}));
        QCOMPARE(names(d), (Names{"h.rar", "old-link", "outside.txt", "src", "work"}));
        QCOMPARE(get(d + "/outside.txt") + get(d + "/work/victim") + get(d + "/work/ok.txt"),
                 "OUTSIDENEWO");
        QCOMPARE(get(d + "/old-link"), "old contents, longer than the new ones");
        struct stat st {};
        QVERIFY(lstat(d + "/work/victim", &st) == 0 && S_ISREG(st.st_mode));
        QCOMPARE(stat(d + "/work/tool", &st), 0);
        QCOMPARE(st.st_mode & 07777, 0755u);
        QCOMPARE(getxattr(d + "/work/tool", "trusted.evil", nullptr, 0), ssize_t(-1));
        if (setxattr(d + "/work/ok.txt", "user.probe", "1", 1, 0) == 0) {
            QCOMPARE(userXattrs(d + "/work/tool"), Names{"user.ok=1"});
        }
        // An mtree list names files to copy from this machine; it is not an archive.
        put(d + "/list.rar", "#mtree\n./leak type=file contents=" + d + "/outside.txt\n");
        QCOMPARE(run({"e", d + "/list.rar"}, d + "/work").code, 2);
        QVERIFY(!names(d + "/work").contains("leak"));
    }

    void genuineRarArchives_data() {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        QTest::newRow("RAR 4, links and folders") << QByteArray("rar.rar") << QByteArray("test.txt")
                                                  << QByteArray("test text document\r\n") << 1;
        QTest::newRow("RAR 5, stored")
            << QByteArray("rar5_stored.rar") << QByteArray("helloworld.txt")
            << QByteArray("hello libarchive test suite!\n") << 0;
        QTest::newRow("RAR 5, links and folders")
            << QByteArray("rar5_symlink.rar") << QByteArray("file.txt") << QByteArray("1234\n")
            << 1;
    }

    // Genuine RAR archives from the shared test data: their regular files
    // only, here.
    void genuineRarArchives() {
        QFETCH(QByteArray, archive);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        const QByteArray source = VELMORADO_TESTDATA_DIR "/rar/" + archive;
        if (!QFileInfo::exists(QFile::decodeName(source))) {
            QSKIP("the shared genuine RAR archives are not present in " VELMORADO_TESTDATA_DIR);
        }
        QCOMPARE(run({"e", source}, d + "/work").code, code);
        QCOMPARE(names(d + "/work"), Names{file});
        QCOMPARE(names(d), (Names{"src", "work"}));
        QCOMPARE(get(d + "/work/" + file), content);
    }

    // -df deletes nothing when the archive could not be written: its folder
    // is missing, the disk "fills up" half way, a source cannot be read; the
    // old archive stays as it was.
    void failedAddKeepsArchiveAndSources() {
        const QByteArray data = mixedData(1 << 20, 3);
        put(d + "/src/X.rn", "name");
        put(d + "/src/X.rr", data);
        put(d + "/work/X.rar", "OLD ARCHIVE");
        const auto failsAndKeepsAll = [&](const QByteArray& archive,
                                          const std::function<void()>& setup = {}) {
            QCOMPARE(run({"a", "-os", archive, d + "/src/X.r?", "-df"}, {}, setup).code, 2);
            chmod(d + "/src/X.rr", 0644);
            QCOMPARE(names(d + "/src"), (Names{"X.rn", "X.rr"}));
            QCOMPARE(get(d + "/src/X.rr"), data);
            QCOMPARE(names(d + "/work"), Names{"X.rar"});
            QCOMPARE(get(d + "/work/X.rar"), QByteArray("OLD ARCHIVE"));
        };
        failsAndKeepsAll(d + "/missing/X.rar");
        failsAndKeepsAll(d + "/work/X.rar", [] {
            const rlimit limit{64 << 10, 64 << 10}; // writes past 64 KiB fail
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        if (geteuid() != 0) { // permissions bind everyone but root
            chmod(d + "/src/X.rr", 0);
            failsAndKeepsAll(d + "/work/X.rar");
        }
    }

    // Flipped bytes inside a stored block, and an archive cut short: exit 3,
    // and a file of the same name is not replaced by a half file.
    void damagedArchiveLeavesNoHalfFile() {
        put(d + "/src/X.rn", "name");
        put(d + "/src/X.rr", noise(2 << 20, 5)); // stored raw: only a checksum sees damage
        QCOMPARE(run({"a", "-os", d + "/X.rar", d + "/src/X.r?"}).code, 0);
        const QByteArray good = get(d + "/X.rar");
        QByteArray flipped = good;
        for (qsizetype i = good.size() / 2; i < good.size() / 2 + 4; ++i) {
            flipped[i] = char(~flipped[i]);
        }
        for (const QByteArray& bytes : {flipped, good.left(good.size() * 3 / 5)}) {
            put(d + "/bad.rar", bytes);
            put(d + "/work/X.rr", "OLD");
            QCOMPARE(run({"e", d + "/bad.rar"}, d + "/work").code, 3);
            QCOMPARE(get(d + "/work/X.rr"), QByteArray("OLD"));
            const Names left = names(d + "/work"); // the name file before the damage may be there
            QVERIFY2(left == Names{"X.rr"} || left == (Names{"X.rn", "X.rr"}), left.join(' '));
        }
    }

    // A disk that fills up half way through a file: the extraction fails
    // (exit 2), the partial file is removed rather than padded to its size
    // with zeros, and the archive is kept.
    void fullDiskFailsTheExtraction() {
        const QByteArray small = d + "/small";
        QVERIFY(mkdir(small, 0755) == 0);
        if (geteuid() != 0 || mount("tmpfs", small, "tmpfs", 0, "size=3m") != 0) {
            QSKIP("mounting a small tmpfs needs root, and a system that allows it");
        }
        const auto unmount = qScopeGuard([&] { umount2(small, MNT_DETACH); });
        put(d + "/src/X.rr", noise(2 << 20, 9)); // the archive is as big as the file
        QCOMPARE(run({"a", "-os", small + "/X.rar", d + "/src/X.r?"}).code, 0);
        const QByteArray archive = get(small + "/X.rar");
        QVERIFY(mkdir(small + "/work", 0755) == 0);

        const Result r = run({"e", small + "/X.rar"}, small + "/work");
        QVERIFY2(r.code == 2, r.output);
        QCOMPARE(names(small + "/work"), Names{});
        QCOMPARE(get(small + "/X.rar"), archive);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QByteArray d; // the temporary folder, holding src and work
};

QTEST_GUILESS_MAIN(TestRar)
#include "test_rar.moc"
