// Moves and deletes, on real files.

#include "FileKit.h"
#include "platform/FileOps.h"

#include <QStorageInfo>
#include <linux/fs.h>
#include <sys/ioctl.h>

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
};

QTEST_GUILESS_MAIN(TestFileOpsProcess)
#include "test_fileops_process.moc"
