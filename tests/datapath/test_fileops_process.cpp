// Moves, deletes and child processes, on real files.

#include "DataPathKit.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

static dev_t device(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path), &st) == 0 ? st.st_dev : 0;
}

class TestFileOpsProcess : public QObject {
    Q_OBJECT

private slots:
    // Data, mode, times and user.* attributes travel; a file of the same name
    // stops a move that must not replace, and is replaced whole by one that may.
    void movesAcrossFileSystems() {
        QTemporaryDir local, other("/dev/shm/velmorado-test-XXXXXX");
        if (!local.isValid() || !other.isValid() || device(local.path()) == device(other.path())) {
            QSKIP("needs /dev/shm on a file system other than the temporary folder");
        }
        const QString from = local.filePath("data Ω"), to = other.filePath("moved");
        QByteArray data(300000, '\0');
        for (int i = 0; i < data.size(); ++i) {
            data[i] = char(i * 7 + i / 251);
        }
        writeFile(from, data, 0640);
        const bool xattrs = setXattr(from, "user.stream", QByteArray("fork\0data", 9));
        const struct timespec times[2] = {{1000000000, 0}, {1200000000, 123456789}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(from), times, 0) == 0);

        writeFile(to, "already here");
        QVERIFY(!platform::moveNoReplace(from, to));
        QCOMPARE(readFile(to), QByteArray("already here"));
        QVERIFY(platform::deleteFile(to) && platform::moveNoReplace(from, to));
        QCOMPARE(entries(local.path()), QStringList());
        QCOMPARE(entries(other.path()), QStringList{"moved"}); // no temporary file left
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(to), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0640);
        QCOMPARE(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, 1200000000123456789LL);

        const QString back = local.filePath("back");
        writeFile(back, "old");
        QVERIFY(platform::moveReplacing(to, back));
        QCOMPARE(entries(other.path()) + entries(local.path()), QStringList{"back"});
        QCOMPARE(readFile(back), data);
        if (!xattrs) {
            QSKIP("the temporary folder refuses user extended attributes");
        }
        QCOMPARE(getXattr(back, "user.stream"), QByteArray("fork\0data", 9));
    }

    // A move across file systems killed part-way leaves its hidden copy in
    // the destination folder. The next move into that folder removes such
    // copies, but never one that a live move still holds locked, nor a file
    // that only looks alike.
    void killedMovesLeaveNoCopyBehind() {
        QTemporaryDir local, other("/dev/shm/velmorado-test-XXXXXX");
        if (!local.isValid() || !other.isValid() || device(local.path()) == device(other.path())) {
            QSKIP("needs /dev/shm on a file system other than the temporary folder");
        }
        for (const char* name : {".velmorado-move-Ab12Cd", ".velmorado-move-held01",
                                 ".velmorado-move-notes", "velmorado-move-Ab12Cd"}) {
            writeFile(other.filePath(name), "a complete copy");
        }
        const int held =
            ::open(QFile::encodeName(other.filePath(".velmorado-move-held01")), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(held, F_OFD_SETLK, &lock), 0);
        writeFile(local.filePath("a"), "a");
        QVERIFY(platform::moveNoReplace(local.filePath("a"), other.filePath("a")));
        QCOMPARE(entries(other.path()),
                 QStringList({".velmorado-move-held01", ".velmorado-move-notes", "a",
                              "velmorado-move-Ab12Cd"}));
        ::close(held);
        QCOMPARE(platform::clearStaleMoveTemporaries(other.path()), 1);
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
        QCOMPARE(readFile(notes), QByteArray("notes"));
        QCOMPARE(readFile(from), QByteArray("from"));
        QVERIFY(platform::isFolder(dir.path()) && !platform::isFolder(notes) &&
                !platform::isFolder(dir.path() + QChar(0)) &&
                !platform::isFolder(dir.filePath("none")));
    }

    // Moves in one file system: a move that must not replace stops at a file
    // of the same name (or at itself). A restored file replaces one of the
    // same name only once complete: when the move fails (a source folder that
    // refuses every change, even to root), the file already there stays.
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

    void splitsLikeWindows_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("compression line")
            << "rar a -os \"/in dir/RA000123.rar\" \"/in dir/RA000123.r?\" -df"
            << QStringList{"rar", "a", "-os", "/in dir/RA000123.rar", "/in dir/RA000123.r?", "-df"};
        QTest::newRow("backslashes")
            << "  \"C:\\Pro gram\\rar\" a\\\\\\\"b \"c\\\\\" d\\e\\\\f "
            << QStringList{"C:\\Pro gram\\rar", "a\\\"b", "c\\", "d\\e\\\\f"};
        QTest::newRow("empty and joined groups")
            << "p \"\" \"a b\"c\t\"\"\"" << QStringList{"p", "", "a bc", "\""};
    }

    void splitsLikeWindows() {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        QCOMPARE(platform::splitWindowsCommandLine(line), words);
    }

    // The program folder comes before PATH; the child runs in the folder given
    // and has ended when the call returns with its exit status.
    void findsAndRunsPrograms() {
        QTemporaryDir dir;
        const QString prog = dir.filePath("prog"), path = dir.filePath("path");
        QVERIFY(QDir().mkdir(prog) && QDir().mkdir(path));
        writeFile(prog + "/vtool", "#!/bin/sh\npwd > \"$1\"\nexit 7\n", 0755);
        writeFile(path + "/vtool", "#!/bin/sh\nexit 0\n", 0755);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(path) + ":" + oldPath);
        int status = 0;
        platform::RunOptions options{false, prog, dir.path()};
        const bool ran = platform::runAndWait("vtool \"here \\\"file\\\"\"", options, &status);
        qputenv("PATH", oldPath);
        QVERIFY(ran);
        QCOMPARE(status, 7);
        QCOMPARE(readFile(dir.filePath("here \"file\"")).trimmed(),
                 QFile::encodeName(QDir(dir.path()).canonicalPath()));
        QVERIFY(!platform::runAndWait("velmorado-no-such-program -?", {}, &status));
        QCOMPARE(status, -1);
        options.workingFolder = dir.filePath("missing");
        QVERIFY(!platform::runAndWait("vtool x", options));
    }
};

QTEST_GUILESS_MAIN(TestFileOpsProcess)
#include "test_fileops_process.moc"
