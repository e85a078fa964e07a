#include "platform/FileLock.h"

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"

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
    const QByteArray p = encodePath(path);
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
    const QByteArray p = encodePath(path);
    const QFileInfo info(path);
    // The content is written, flushed and locked under a hidden name first
    // and then linked to path, which fails when path exists: the file appears
    // whole or not at all, so that a crash never leaves an empty one that
    // nothing would tell from a user's file. The walk removes a hidden copy
    // that a crash left once nobody holds it.
    QByteArray staged = encodePath(info.absolutePath() + QLatin1Char('/') +
                                   writeTemporaryTemplate(info.fileName()));
    UniqueFd fd(createLockedTemporary(staged));
    if (fd.valid()) {
        const bool ready = lockWhole(fd.get(), F_WRLCK, false) && ::fchmod(fd.get(), 0644) == 0 &&
                           writeAll(fd.get(), data.constData(), data.size()) &&
                           ::fsync(fd.get()) == 0;
        const bool linked = ready && ::link(staged.constData(), p.constData()) == 0;
        const int linkError = errno;
        ::unlink(staged.constData());
        if (linked) {
            syncFolderLater(info.absolutePath());
            return FileLock{std::move(fd)};
        }
        if (!ready || (linkError != EPERM && linkError != ENOTSUP && linkError != EOPNOTSUPP &&
                       linkError != ENOSYS)) {
            if (existed) {
                *existed = ready && linkError == EEXIST;
            }
            return {}; // whatever stands there is somebody else's
        }
        // A share without hard links: the file is made in place below.
    }
    const int made =
        ::open(p.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (made < 0) {
        if (existed) {
            *existed = errno == EEXIST;
        }
        return {};
    }
    FileLock lock{UniqueFd(made)};
    // Ours from here on: a failure removes what this call made.
    if (!lockWhole(made, F_WRLCK, false) || !writeAll(made, data.constData(), data.size()) ||
        ::fsync(made) != 0) {
        ::unlink(p.constData());
        return {};
    }
    syncFolderLater(info.absolutePath());
    return lock;
}

FileLock FileLock::folder(const QString& path) {
    UniqueFd fd(
        ::open(encodePath(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() || !lockWhole(fd.get(), F_RDLCK, false)) {
        return {};
    }
    return FileLock(std::move(fd));
}

bool lockedByOther(const QString& path) {
    const UniqueFd fd(::open(encodePath(path).constData(),
                             O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    return fd.valid() && othersHold(fd.get());
}

} // namespace platform
