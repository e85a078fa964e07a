// Moves and deletes, on real files; names as bytes, the program's own
// temporary names, and the archiver's command line.

#include "FileKit.h"
#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/FolderWatch.h"
#include "platform/KnownFolders.h"
#include "platform/Process.h"

#include <QRandomGenerator>

#include <QStorageInfo>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

using namespace filekit;

class TestFileOpsProcess : public QObject {
    Q_OBJECT

private slots:
    // Moves across file systems. The hidden copies of killed ones are removed
    // by the next move, but not one a live move holds, nor look-alikes.
    void killedMovesLeaveNoCopyBehind() {
        QTemporaryDir local, other("/dev/shm/velmorado-test-XXXXXX");
        if (!other.isValid() ||
            QStorageInfo(local.path()).rootPath() == QStorageInfo(other.path()).rootPath()) {
            QSKIP("needs /dev/shm on a file system other than the temporary folder");
        }
        for (const char* name : {".velmorado-move-Ab12Cd", ".velmorado-move-held01",
                                 ".velmorado-move-notes", "velmorado-move-Ab12Cd"}) {
            writeFile(other.filePath(name), "a complete copy");
        }
        const int held =
            ::open(QFile::encodeName(other.filePath(".velmorado-move-held01")), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK; // as a live move holds its copy
        QCOMPARE(::fcntl(held, F_OFD_SETLK, &lock), 0);
        writeFile(local.filePath("a"), "a");
        QVERIFY(platform::moveNoReplace(local.filePath("a"), other.filePath("a")));
        QCOMPARE(entries(other.path()),
                 QStringList({".velmorado-move-held01", ".velmorado-move-notes", "a",
                              "velmorado-move-Ab12Cd"}));
        ::close(held);
        QCOMPARE(platform::clearStaleMoveTemporaries(other.path()), 1);

        // Across file systems too, a move that must not replace leaves both
        // files as they were; one that may replace does, and leaves no copy.
        writeFile(local.filePath("a"), "newer");
        QVERIFY(!platform::moveNoReplace(local.filePath("a"), other.filePath("a")));
        QCOMPARE(readFile(other.filePath("a")), "a");
        QCOMPARE(readFile(local.filePath("a")), "newer");
        QVERIFY(platform::moveReplacing(local.filePath("a"), other.filePath("a")));
        QCOMPARE(readFile(other.filePath("a")), "newer");
        QCOMPARE(entries(local.path()), QStringList());
        QCOMPARE(entries(other.path()),
                 QStringList({".velmorado-move-notes", "a", "velmorado-move-Ab12Cd"}));
    }
    // Inside a batch, the folder of a rename is flushed once, at the end; the
    // folder a copy across file systems lands in is flushed at once, before
    // its source goes on the other file system, and so is the folder the
    // source left. Outside a batch every move flushes at once.
    // (Here the batch's folders are on tmpfs, which keeps the order of names
    // vacuously: nothing of it outlives a power cut.)
    void foldersAreFlushedOncePerBatch() {
        QTemporaryDir local("/dev/shm/velmorado-test-XXXXXX"), other;
        if (!local.isValid()) {
            QSKIP("needs /dev/shm");
        }
        const bool twoFileSystems = other.isValid() && QStorageInfo(local.path()).rootPath() !=
                                                           QStorageInfo(other.path()).rootPath();
        for (const char* name : {"a", "b", "c", "d"}) {
            writeFile(local.filePath(name), name);
        }
        QVERIFY(QDir().mkdir(local.filePath("to")));
        {
            const platform::FolderFlushBatch batch;
            QVERIFY(platform::moveNoReplace(local.filePath("a"), local.filePath("to/a")));
            QVERIFY(platform::moveReplacing(local.filePath("b"), local.filePath("to/b")));
            QVERIFY(platform::moveNoReplace(local.filePath("c"), local.filePath("c2")));
            {
                const platform::FolderFlushBatch inner;
                QVERIFY(platform::moveNoReplace(local.filePath("c2"), local.filePath("to/c")));
            }
            platform::syncFolderLater(local.filePath("to/")); // the same folder, once
            QCOMPARE(platform::FolderFlushBatch::pending(),
                     QStringList({local.filePath("to"), local.path()}));
            if (twoFileSystems) {
                QVERIFY(platform::moveNoReplace(local.filePath("d"), other.filePath("d")));
                QCOMPARE(platform::FolderFlushBatch::pending(), QStringList{local.filePath("to")});
            }
        }
        QCOMPARE(platform::FolderFlushBatch::pending(), QStringList());
        QVERIFY(platform::moveNoReplace(local.filePath("to/a"), local.filePath("a")));
        QCOMPARE(platform::FolderFlushBatch::pending(), QStringList());
        if (!twoFileSystems) {
            QSKIP("needs /dev/shm on a file system other than the temporary folder");
        }
    }
    // Where a later change of names can reach the disk before an earlier one
    // (ext4 without a journal), a rename's folder is flushed at once, inside a
    // batch too: the removal of an archive unpacked must not land before the
    // rename that delivered its file.
    void foldersWithoutOrderAreFlushedAtOnce_data() {
        QTest::addColumn<QStringList>("mkfsOptions");
        QTest::addColumn<bool>("ordered");
        QTest::newRow("journal") << QStringList() << true;
        QTest::newRow("no journal") << QStringList{"-O", "^has_journal"} << false;
    }
    void foldersWithoutOrderAreFlushedAtOnce() {
        QFETCH(QStringList, mkfsOptions);
        QFETCH(bool, ordered);
        QTemporaryDir dir;
        const filekit::LoopExt4 fs(dir.path(), mkfsOptions);
        if (!fs.mounted()) {
            QSKIP("needs root, mkfs.ext4 and loop devices");
        }
        QVERIFY(QDir().mkdir(fs.path() + "/to"));
        writeFile(fs.path() + "/a", "a");
        const platform::FolderFlushBatch batch;
        QVERIFY(platform::moveNoReplace(fs.path() + "/a", fs.path() + "/to/a"));
        QCOMPARE(platform::FolderFlushBatch::pending(),
                 ordered ? QStringList{fs.path() + "/to"} : QStringList());
    }
    // A watch sees the names that come into its folder; once the folder is
    // moved away (another made under its name), it says it cannot tell.
    void aWatchLosesAFolderMovedAway() {
        QTemporaryDir dir;
        const QString in = dir.filePath("in");
        QVERIFY(QDir().mkpath(in));
        platform::FolderWatch watch(in);
        if (!watch.valid()) {
            QSKIP("the temporary folder's changes are not all seen here");
        }
        writeFile(in + "/a", "a");
        bool complete = false;
        QCOMPARE(watch.namesAdded(&complete), QStringList{"a"});
        QVERIFY(complete);
        QVERIFY(QDir().rename(in, dir.filePath("old")) && QDir().mkpath(in));
        writeFile(in + "/b", "b");
        QCOMPARE(watch.namesAdded(&complete), QStringList{});
        QVERIFY(!complete);
        QCOMPARE(watch.namesAdded(&complete), QStringList{});
        QVERIFY(!complete);
    }
    // What is kept of a folder is what stat() would say of it now, whatever
    // changed it or the way to it since it was first asked; while nothing
    // does (files come and go beside the way), nothing is asked again.
    void knownFoldersFollowEveryChange_data() {
        QTest::addColumn<QString>("change");
        for (const char* change :
             {"subfolder made in it", "permissions changed", "removed", "renamed away",
              "folder above renamed", "folder above replaced by a link",
              "folder above mounted over", "link on the way, the folder it leads to renamed",
              "removed while held open", "removed while held open and made again",
              "folder above removed while held open and made again"}) {
            QTest::newRow(change) << QString(change);
        }
    }
    void knownFoldersFollowEveryChange() {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString above = dir.filePath("above"), linked = dir.filePath("x/other");
        QVERIFY(QDir().mkpath(above + "/leaf") && QDir().mkpath(linked + "/leaf"));
        QVERIFY(QFile::link(linked, dir.filePath("via")));
        const bool throughLink = change.startsWith("link");
        const QString path = (throughLink ? dir.filePath("via") : above) + "/leaf";
        platform::KnownFolders folders;
        QVERIFY(folders.isFolder(path));
        if (!throughLink && !folders.known(path)) {
            QSKIP("the temporary folder's changes are not all seen here");
        }
        // Entries beside the way to it change nothing for it.
        QVERIFY(writeFile(dir.filePath("beside"), "") && writeFile(above + "/beside", ""));
        folders.catchUp();
        QCOMPARE(folders.known(path), !throughLink);

        bool mounted = false;
        platform::UniqueFd held, heldAbove;
        const auto unmount =
            qScopeGuard([&] { mounted&& ::umount2(qPrintable(above), MNT_DETACH); });
        if (change == "subfolder made in it") {
            QVERIFY(QDir().mkdir(path + "/sub"));
        } else if (change == "permissions changed") {
            QVERIFY(::chmod(QFile::encodeName(path), 0700) == 0);
        } else if (change == "removed") {
            QVERIFY(QDir().rmdir(path));
        } else if (change.contains("held open")) {
            // Another program (a shell in it, a file server serving it) holds
            // the folders: the kernel reports them gone only once it lets go.
            const bool wayToo = change.startsWith("folder above");
            held.reset(::open(QFile::encodeName(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            heldAbove.reset(::open(QFile::encodeName(above), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            QVERIFY(held.valid() && heldAbove.valid());
            QVERIFY(QDir(wayToo ? above : path).removeRecursively());
            if (change.endsWith("made again")) {
                QVERIFY(QDir().mkpath(path));
            }
        } else if (change == "renamed away") {
            QVERIFY(QDir().rename(path, dir.filePath("away")));
        } else if (change == "folder above renamed") {
            QVERIFY(QDir().rename(above, dir.filePath("away")));
        } else if (change == "folder above replaced by a link") {
            QVERIFY(QDir().rename(above, dir.filePath("away")) && QFile::link(linked, above));
        } else if (change == "folder above mounted over") {
            if (::geteuid() != 0) {
                QSKIP("needs root to mount a tmpfs");
            }
            mounted = ::mount("tmpfs", qPrintable(above), "tmpfs", 0, "size=64k") == 0;
            QVERIFY(mounted);
        } else {
            QVERIFY(QDir().rename(dir.filePath("x"), dir.filePath("x2")));
        }
        folders.catchUp();
        const auto seen = [](const struct stat& st) {
            return QStringLiteral("inode %1 mode %2 links %3 times %4.%5 %6.%7")
                .arg(st.st_ino)
                .arg(st.st_mode, 0, 8)
                .arg(st.st_nlink)
                .arg(st.st_mtim.tv_sec)
                .arg(st.st_mtim.tv_nsec)
                .arg(st.st_ctim.tv_sec)
                .arg(st.st_ctim.tv_nsec);
        };
        struct stat now {
        }, kept{};
        const bool there = ::stat(QFile::encodeName(path), &now) == 0;
        QCOMPARE(folders.isFolder(path, &kept), there);
        if (there) {
            QCOMPARE(seen(kept), seen(now));
        }
    }
    // The folders of a pair taken out of the table are let go of, with their
    // watches, once a whole pass has not asked about them.
    void knownFoldersLetGoOfWhatIsNoLongerAsked() {
        QTemporaryDir dir;
        const QString kept = dir.filePath("kept"), dropped = dir.filePath("dropped");
        QVERIFY(QDir().mkpath(kept) && QDir().mkpath(dropped));
        platform::KnownFolders folders;
        QVERIFY(folders.isFolder(kept) && folders.isFolder(dropped));
        if (!folders.known(kept)) {
            QSKIP("the temporary folder's changes are not all seen here");
        }
        folders.forgetUnasked();
        QVERIFY(folders.isFolder(kept));
        folders.forgetUnasked();
        QVERIFY(folders.known(kept));
        QVERIFY(!folders.known(dropped));
    }
    // A path that holds NUL names nothing: a move to it must not land on the
    // file that the part before the NUL names, nor may a delete remove it.
    void pathsWithNulNameNothing() {
        QTemporaryDir dir;
        const QString notes = dir.filePath("notes"), from = dir.filePath("from");
        writeFile(notes, "notes");
        writeFile(from, "from");
        const QString cut = notes + QChar(0) + "/from";
        QVERIFY(!platform::moveReplacing(from, cut) && !platform::moveNoReplace(from, cut));
        QVERIFY(!platform::deleteFile(cut) && !platform::exists(cut));
        QCOMPARE(readFile(notes) + readFile(from), "notesfrom");
        QVERIFY(platform::isFolder(dir.path()) && !platform::isFolder(notes) &&
                !platform::isFolder(dir.path() + QChar(0)) &&
                !platform::isFolder(dir.filePath("none")));
    }
    // A no-replace move stops at a taken name; a replacing move that fails
    // (an immutable source folder, even to root) leaves the old file.
    void movesInOneFileSystem() {
        QTemporaryDir dir;
        const QString locked = dir.filePath("locked"), same = dir.filePath("same");
        QVERIFY(QDir().mkdir(locked) && QFile::link("nowhere", dir.filePath("dangling")));
        QVERIFY(platform::exists(dir.filePath("dangling")) && !platform::deleteFile(locked));
        writeFile(locked + "/new", "new content");
        writeFile(same, "old content");
        QVERIFY(!platform::moveNoReplace(locked + "/new", same) &&
                !platform::moveNoReplace(same, same));
        const int fd = ::open(QFile::encodeName(locked), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
            ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) != 0) {
            ::close(fd);
            QSKIP("cannot make a folder immutable here");
        }
        const bool replaced = platform::moveReplacing(locked + "/new", same);
        const bool moved = platform::moveNoReplace(locked + "/new", dir.filePath("x"));
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        ::close(fd);
        QVERIFY(!replaced && !moved);
        QCOMPARE(readFile(same) + readFile(locked + "/new"), QByteArray("old contentnew content"));
        QCOMPARE(entries(dir.path()), (QStringList{"dangling", "locked", "same"}));
        QVERIFY(platform::moveReplacing(locked + "/new", same) && readFile(same) == "new content");
        QVERIFY(platform::deleteFile(same) && !platform::deleteFile(same));
    }
    // Any argument comes back whole from the command line, beside any other:
    // quotes, backslashes (before a quote, at the end), blanks. An ordinary
    // path is only put between quotes, as the command lines always were.
    void quotedArgumentsComeBackWhole() {
        // clang-format off
        QStringList hard = {"", "a", "a b", "\t", "\"", "\"\"", "\\", "\\\\", "a\\", "a\\\\",
                            "\\\"", "a\\\"b", "a\\\\\"b", "\" \"", "\"a b\"", "end\\ ",
                            "a\"b/RA000001.r?"};
        // clang-format on
        QRandomGenerator random(20240611);
        const QString alphabet = "a\"\\ \t";
        for (int i = 0; i < 2000; ++i) {
            QString text;
            for (int n = random.bounded(9); n > 0; --n) {
                text += alphabet[random.bounded(int(alphabet.size()))];
            }
            hard << text;
        }
        for (qsizetype i = 0; i < hard.size(); ++i) {
            const QString& a = hard[i];
            const QString& b = hard[(i * 7 + 3) % hard.size()];
            const QString line = "rar a -os " + platform::quoteArgument(a) + ' ' +
                                 platform::quoteArgument(b) + " -df";
            QCOMPARE(platform::splitWindowsCommandLine(line),
                     QStringList({"rar", "a", "-os", a, b, "-df"}));
        }
        for (const QString& path :
             QStringList{"/tmp/x/RA000001.rar", "/tmp/dir with blanks/RA000001.r?",
                         "/tmp/a\\b/RA000001.rar", "/tmp/\u00e9t\u00e9/RA000001.rar"}) {
            QCOMPARE(platform::quoteArgument(path), '"' + path + '"');
        }
    }
    // Every byte string comes back from text unchanged; valid UTF-8 reads as
    // usual, any other byte as U+DC00 + byte. A text that holds no bytes of
    // its own (a lone surrogate, escaped bytes that form UTF-8) says so.
    void namesAsBytes() {
        QList<QByteArray> names = {
            "caf\xE9",          "\xC0\xAF",         "\xED\xA0\x80", "\xE2\x82",
            "\xF0\x9F\x98\x80", "\xF4\x90\x80\x80", "\xFF\xFE",     "plain"};
        QRandomGenerator random(7);
        for (int i = 0; i < 2000; ++i) {
            QByteArray bytes(random.bounded(12), '\0');
            for (char& c : bytes) {
                c = char(random.bounded(256));
            }
            names << bytes;
        }
        for (const QByteArray& bytes : names) {
            const QString text = platform::decodePath(bytes);
            QCOMPARE(platform::encodePath(text), bytes);
            QVERIFY(platform::isEncodable(text));
            if (QString::fromUtf8(bytes).toUtf8() == bytes) {
                QCOMPARE(text, QString::fromUtf8(bytes));
            }
        }
        QCOMPARE(platform::decodePath("caf\xE9"), "caf" + QString(QChar(0xDCE9)));
        QCOMPARE(platform::decodePath("\xF0\x9F\x98\x80"), QString::fromUtf8("\xF0\x9F\x98\x80"));
        QVERIFY(!platform::isEncodable(QString(QChar(0xD800))));
        QVERIFY(!platform::isEncodable(QString(QChar(0xDC41))));
        QVERIFY(!platform::isEncodable(QString(QChar(0xDCC3)) + QChar(0xDCA9))); // UTF-8 of \u00e9
    }
    void ownTemporaryNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ours");
        QTest::newRow("move copy") << ".velmorado-move-Ab12Cd" << true;
        QTest::newRow("move copy, short tail") << ".velmorado-move-notes" << false;
        QTest::newRow("move copy, not mkstemp's") << ".velmorado-move-Ab12C_" << false;
        QTest::newRow("extraction folder's name: no file") << ".velmorado-x-RA000001.rar" << false;
        QTest::newRow("archiver's archive") << ".rar-Ab12Cd34Ef56.tmp" << true;
        QTest::newRow("archiver's, short") << ".rar-Ab12Cd34Ef5.tmp" << false;
        QTest::newRow("archiver's, other end") << ".rar-Ab12Cd34Ef56.txt" << false;
        QTest::newRow("name file being written") << ".RA000001.rn.Ab12Cd" << true;
        QTest::newRow("user's file being written") << ".notes.Ab12Cd" << false;
        QTest::newRow("name file, long tail") << ".RA000001.rn.Ab12Cde" << false;
        QTest::newRow("name file, no dot") << ".RA000001.rnAb12Cd" << false;
        QTest::newRow("not hidden") << "RA000001.rn.Ab12Cd" << false;
        QTest::newRow("user's hidden file") << ".htaccess" << false;
    }
    // The program's own temporary names, and only those: a look-alike of a
    // user's file is the user's.
    void ownTemporaryNames() {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        const auto nameFilesOnly = [](const QString& base) { return base == "RA000001.rn"; };
        QCOMPARE(platform::isOwnTemporary(name, nameFilesOnly), ours);
    }
};

QTEST_GUILESS_MAIN(TestFileOpsProcess)
#include "test_fileops_process.moc"
