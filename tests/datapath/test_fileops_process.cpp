// Moves, deletes and child processes, on real files.

#include "DataPathKit.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

class TestFileOpsProcess : public QObject {
    Q_OBJECT

private slots:
    void existsAndAttributes();
    void movesAcrossFileSystems();
    void failedMovesLeaveBothFiles();
    void splitsLikeWindows_data();
    void splitsLikeWindows();
    void findsAndRunsPrograms();
};

void TestFileOpsProcess::existsAndAttributes() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f"));
    const QString none = dir.filePath(QStringLiteral("none"));
    writeFile(file, "abc");
    QVERIFY(QFile::link(QStringLiteral("nowhere"), dir.filePath(QStringLiteral("dangling"))));
    QVERIFY(platform::exists(file) && platform::exists(dir.path()));
    QVERIFY(platform::exists(dir.filePath(QStringLiteral("dangling"))));
    QVERIFY(!platform::exists(none) && !platform::exists(QString()));
    QVERIFY(platform::setHidden(file) && platform::setNormal(file));
    QVERIFY(!platform::setHidden(none) && !platform::setNormal(none));
    QCOMPARE(platform::fileSize(file), 3);
    QCOMPARE(platform::fileSize(none), -1);
    QVERIFY(!platform::deleteFile(dir.path())); // never a folder

    const QString other = dir.filePath(QStringLiteral("other"));
    writeFile(other, "second");
    QVERIFY(!platform::moveNoReplace(file, other) && !platform::moveNoReplace(file, file));
    QCOMPARE(readFile(file) + readFile(other), QByteArray("abcsecond"));
    QVERIFY(platform::moveReplacing(file, other) && readFile(other) == "abc");
    QVERIFY(platform::deleteFile(other) && !platform::exists(other) &&
            !platform::deleteFile(other));
    QCOMPARE(entries(dir.path()), QStringList{"dangling"});
}

void TestFileOpsProcess::movesAcrossFileSystems() {
    QTemporaryDir local;
    QTemporaryDir other(QStringLiteral("/dev/shm/velmorado-test-XXXXXX"));
    if (!other.isValid() || !onOtherFileSystems(local.path(), other.path())) {
        QSKIP("needs /dev/shm on a file system other than the temporary folder");
    }
    const QString from = local.filePath(QStringLiteral("data Ω"));
    const QString to = other.filePath(QStringLiteral("moved"));
    QByteArray data(300000, '\0');
    for (int i = 0; i < data.size(); ++i) {
        data[i] = char(i * 7 + i / 251);
    }
    writeFile(from, data, 0640);
    const bool xattrs = setXattr(from, "user.stream", QByteArray("fork\0data", 9));
    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 123456789}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(from).constData(), times, 0) == 0);

    writeFile(to, "already here"); // no replace: the move stops, both stay
    QVERIFY(!platform::moveNoReplace(from, to));
    QCOMPARE(readFile(to), QByteArray("already here"));
    QCOMPARE(readFile(from), data);
    QVERIFY(platform::deleteFile(to));

    QVERIFY(platform::moveNoReplace(from, to));
    QCOMPARE(entries(local.path()), QStringList());
    QCOMPARE(entries(other.path()), QStringList{"moved"}); // no temporary file left
    QCOMPARE(readFile(to), data);
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(to).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 07777), 0640);
    QCOMPARE(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, 1200000000123456789LL);

    const QString back = local.filePath(QStringLiteral("back"));
    writeFile(back, "old");
    QVERIFY(platform::moveReplacing(to, back));
    QCOMPARE(entries(other.path()), QStringList());
    QCOMPARE(entries(local.path()), QStringList{"back"});
    QCOMPARE(readFile(back), data);
    if (!xattrs) {
        QSKIP("the temporary folder refuses user extended attributes");
    }
    QCOMPARE(getXattr(back, "user.stream"), QByteArray("fork\0data", 9));
}

void TestFileOpsProcess::failedMovesLeaveBothFiles() {
    // A source folder that refuses every change, even to root, makes the
    // moves fail; the file of the same name in the destination must stay.
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(locked));
    writeFile(locked + QStringLiteral("/new"), "new content");
    writeFile(dir.filePath(QStringLiteral("same")), "old content");
    const int fd = ::open(QFile::encodeName(locked).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
        ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) != 0) {
        ::close(fd);
        QSKIP("cannot make a folder immutable here");
    }
    const bool replaced = platform::moveReplacing(locked + QStringLiteral("/new"),
                                                  dir.filePath(QStringLiteral("same")));
    const bool moved =
        platform::moveNoReplace(locked + QStringLiteral("/new"), dir.filePath(QStringLiteral("x")));
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);
    QVERIFY(!replaced && !moved);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("same"))), QByteArray("old content"));
    QCOMPARE(readFile(locked + QStringLiteral("/new")), QByteArray("new content"));
    QCOMPARE(entries(dir.path()), (QStringList{"locked", "same"}));
}

void TestFileOpsProcess::splitsLikeWindows_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("compression line")
        << QStringLiteral("rar a -os \"/in dir/RA000123.rar\" \"/in dir/RA000123.r?\" -df")
        << QStringList{"rar", "a", "-os", "/in dir/RA000123.rar", "/in dir/RA000123.r?", "-df"};
    QTest::newRow("quoted program keeps backslashes")
        << QStringLiteral("  \"C:\\Pro gram\\rar\" -?  ") << QStringList{"C:\\Pro gram\\rar", "-?"};
    QTest::newRow("backslashes before quotes") << QStringLiteral("p a\\\\\\\"b \"c\\\\\" d\\e\\\\f")
                                               << QStringList{"p", "a\\\"b", "c\\", "d\\e\\\\f"};
    QTest::newRow("empty and joined groups")
        << QStringLiteral("p \"\" \"a b\"c\t\"\"\"") << QStringList{"p", "", "a bc", "\""};
    QTest::newRow("doubled quote in a group")
        << QStringLiteral("p \"a\"\"b\"") << QStringList{"p", "a\"b"};
    QTest::newRow("blank only") << QStringLiteral(" \t ") << QStringList{};
}

void TestFileOpsProcess::splitsLikeWindows() {
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QCOMPARE(platform::splitWindowsCommandLine(line), words);
}

void TestFileOpsProcess::findsAndRunsPrograms() {
    QTemporaryDir dir;
    const QString prog = dir.filePath(QStringLiteral("prog"));
    const QString path = dir.filePath(QStringLiteral("path"));
    QVERIFY(QDir().mkdir(prog) && QDir().mkdir(path));
    writeFile(prog + QStringLiteral("/vtool"), "#!/bin/sh\npwd > \"$1\"\nexit 7\n", 0755);
    writeFile(path + QStringLiteral("/vtool"), "#!/bin/sh\nexit 0\n", 0755);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(path) + ":" + oldPath);
    const QString first = platform::findProgram(QStringLiteral("vtool"), prog);
    const QString second = platform::findProgram(QStringLiteral("vtool"), QString());
    qputenv("PATH", oldPath);
    QCOMPARE(first, prog + QStringLiteral("/vtool"));
    QCOMPARE(second, path + QStringLiteral("/vtool"));

    // The child runs in the folder given, has ended when the call returns,
    // and this process keeps its own folder.
    const QString ownFolder = QDir::currentPath();
    int status = 0;
    platform::RunOptions options{false, prog, dir.path()};
    QVERIFY(platform::runAndWait(QStringLiteral("vtool \"here \\\"file\\\"\""), options, &status));
    QCOMPARE(status, 7);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("here \"file\""))).trimmed(),
             QFile::encodeName(QDir(dir.path()).canonicalPath()));
    QCOMPARE(QDir::currentPath(), ownFolder);
    QVERIFY(!platform::runAndWait(QStringLiteral("velmorado-no-such-program -?"), {}, &status));
    QCOMPARE(status, -1);
    options.workingFolder = dir.filePath(QStringLiteral("missing"));
    QVERIFY(!platform::runAndWait(QStringLiteral("vtool x"), options));
}

QTEST_GUILESS_MAIN(TestFileOpsProcess)
#include "test_fileops_process.moc"
