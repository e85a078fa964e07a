#pragma once

// File helpers that every test folder uses on real files.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace filekit {

// Writes data (and the permission bits when mode is given); a failure fails the running test.
inline bool writeFile(const QString& path, const QByteArray& data, int mode = -1) {
    QFile f(path);
    bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
    f.close();
    ok = ok && (mode < 0 || ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    return QTest::qVerify(ok, "writeFile", qPrintable(path), __FILE__, __LINE__);
}
// The content, or "<missing>".
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
// Every entry of a folder, hidden ones included, in name order.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
// Dates a file (not a link's target) seconds back, an hour unless told;
// negative: that long in the future.
inline void age(const QString& path, int seconds = 3600) {
    struct timespec t[2];
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= seconds;
    t[1] = t[0];
    QVERIFY2(::utimensat(AT_FDCWD, QFile::encodeName(path), t, AT_SYMLINK_NOFOLLOW) == 0,
             qPrintable(path));
}
inline bool setXattr(const QString& path, const char* name, const QByteArray& value) {
    return ::setxattr(QFile::encodeName(path), name, value, size_t(value.size()), 0) == 0;
}
// Every user.* attribute of a file (not following a link), "name=value", sorted.
inline QList<QByteArray> userXattrs(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    QByteArray list(65536, '\0'), value(65536, '\0');
    list.truncate(qMax<ssize_t>(0, ::llistxattr(p.constData(), list.data(), list.size())));
    QList<QByteArray> result;
    for (const QByteArray& name : list.split('\0')) {
        if (name.startsWith("user.")) {
            result << name + '=' + value.left(::lgetxattr(p, name, value.data(), value.size()));
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}
// size bytes of noise, the same for the same seed.
inline QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray data(size, '\0');
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

struct Result {
    int code = -1;     // -1: the program did not end by itself
    QByteArray output; // standard output, then standard error
    QByteArray out;    // standard output alone
};
// A program with arguments as they are, no shell; env, when given, is its
// whole environment; in cwd; setup runs in the child before it starts.
inline Result run(const QString& program, const QStringList& args,
                  const std::optional<QProcessEnvironment>& env = {}, const QByteArray& cwd = {},
                  const std::function<void()>& setup = {}) {
    QProcess p;
    if (env) {
        p.setProcessEnvironment(*env);
    }
    p.setWorkingDirectory(QFile::decodeName(cwd));
    p.setChildProcessModifier(setup ? setup : [] {});
    p.start(program, args);
    p.waitForFinished(240000);
    const QByteArray out = p.readAllStandardOutput();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            out + p.readAllStandardError(), out};
}
// Whether check comes true within ms, asking again while it is not. (QTRY
// counts only its waits, not the time the check takes to run.)
inline bool eventually(const std::function<bool()>& check, int ms = 60000) {
    for (QDeadlineTimer deadline(ms); !deadline.hasExpired(); QTest::qWait(100)) {
        if (check()) {
            return true;
        }
    }
    return check();
}

// Paths as bytes, as the archiver and the walk see them: put, get and rawNames
// reach names that are not UTF-8, which Qt would replace.
namespace bytes {
// Writes data (flags: O_TRUNC, or O_EXCL for a new file); a failure fails the running test.
inline bool put(const QByteArray& path, const QByteArray& data, int flags = O_TRUNC) {
    QFile f;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    const bool ok = fd >= 0 && f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
                    f.write(data) == data.size();
    f.isOpen() ? f.close() : void(fd >= 0 && ::close(fd));
    return QTest::qVerify(ok, "put", path.constData(), __FILE__, __LINE__);
}
// The content, or "<missing>".
inline QByteArray get(const QByteArray& path) {
    QFile f;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
    }
    return f.isOpen() ? f.readAll() : QByteArray("<missing>");
}
inline QStringList names(const QByteArray& folder) {
    return entries(QFile::decodeName(folder));
}
// The names in a folder as bytes, sorted.
inline QList<QByteArray> rawNames(const QByteArray& folder) {
    QList<QByteArray> found;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d)) {
            if (::strcmp(e->d_name, ".") != 0 && ::strcmp(e->d_name, "..") != 0) {
                found << e->d_name;
            }
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found;
}
inline QList<QByteArray> xattrs(const QByteArray& path) {
    return userXattrs(QFile::decodeName(path));
}
} // namespace bytes

// A folder that cannot be written while this lives: a read-only bind mount as
// root (permissions bind everyone but root), its permissions else.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : m_folder(QFile::encodeName(folder)) {
        if (::geteuid() != 0) {
            QVERIFY(::chmod(m_folder.constData(), 0555) == 0);
            return;
        }
        m_bound = ::mount(m_folder, m_folder, nullptr, MS_BIND, nullptr) == 0;
        QVERIFY2(m_bound && ::mount(nullptr, m_folder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                                    nullptr) == 0,
                 strerror(errno));
    }
    ~ReadOnlyFolder() {
        m_bound ? void(::umount2(m_folder.constData(), MNT_DETACH))
                : void(::chmod(m_folder.constData(), 0755));
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    QByteArray m_folder;
    bool m_bound = false;
};

// A small ext4 file system of its own, made in an image file inside folder
// and mounted on folder/mnt through a loop device (root, mkfs.ext4 and loop
// devices needed; mounted() says whether it is there). mkfsOptions reach
// mkfs.ext4 as they are ("-O ^has_journal" for one without a journal).
class LoopExt4 {
public:
    LoopExt4(const QString& folder, const QStringList& mkfsOptions)
        : m_image(folder + QStringLiteral("/fs.img")), m_mount(folder + QStringLiteral("/mnt")) {
        if (::geteuid() != 0 || !QDir().mkpath(m_mount)) {
            return;
        }
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(32 << 20)) {
            return;
        }
        image.close();
        m_mounted = runs("mkfs.ext4", QStringList{"-q", "-F"} << mkfsOptions << m_image) &&
                    runs("mount", {"-o", "loop", m_image, m_mount});
    }
    ~LoopExt4() {
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_mount).constData(), MNT_DETACH);
        }
    }
    LoopExt4(const LoopExt4&) = delete;
    LoopExt4& operator=(const LoopExt4&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_mount; }

private:
    static bool runs(const QString& program, const QStringList& arguments) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QString m_image;
    QString m_mount;
    bool m_mounted = false;
};

} // namespace filekit
