#include "platform/FileLock.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Whether a lock of another description would keep us from an exclusive lock.
bool othersHold(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

bool isRegular(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool lockWhole(int fd, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET; // start 0, length 0: the whole file, however it grows
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

FileLock FileLock::take(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    const int flags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    UniqueFd fd(::open(p.constData(), O_RDWR | flags));
    if (fd.valid()) {
        if (isRegular(fd.get()) && lockWhole(fd.get(), F_WRLCK, false)) {
            return FileLock(std::move(fd));
        }
        return {};
    }
    if (errno != EACCES && errno != EROFS && errno != EPERM) {
        return {};
    }
    // Not ours to write (a read-only file or share): a shared lock, and only
    // when nobody else has one, shared or not.
    fd.reset(::open(p.constData(), O_RDONLY | flags));
    if (fd.valid() && isRegular(fd.get()) && lockWhole(fd.get(), F_RDLCK, false) &&
        !othersHold(fd.get())) {
        return FileLock(std::move(fd));
    }
    return {};
}

FileLock FileLock::create(const QString& path, const QByteArray& data, bool* existed) {
    if (existed) {
        *existed = false;
    }
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        if (existed) {
            *existed = errno == EEXIST;
        }
        return {}; // whatever stands there is somebody else's
    }
    FileLock lock{UniqueFd(fd)};
    // Ours from here on: a failure removes what this call made.
    if (!lockWhole(fd, F_WRLCK, false) || !writeAll(fd, data.constData(), data.size()) ||
        ::fsync(fd) != 0) {
        ::unlink(p.constData());
        return {};
    }
    syncFolder(QFileInfo(path).absolutePath());
    return lock;
}

FileLock FileLock::folder(const QString& path) {
    UniqueFd fd(::open(QFile::encodeName(path).constData(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() || !lockWhole(fd.get(), F_RDLCK, false)) {
        return {};
    }
    return FileLock(std::move(fd));
}

bool lockedByOther(const QString& path) {
    const UniqueFd fd(::open(QFile::encodeName(path).constData(),
                             O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    return fd.valid() && othersHold(fd.get());
}

} // namespace platform
