#include "platform/AtomicFile.h"

#include "platform/FileLock.h"
#include "platform/FileNames.h"
#include "platform/NameOrder.h"
#include "platform/UniqueFd.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes name (in dirFd) when it is a regular file that nobody holds.
bool removeIfNobodyHolds(int dirFd, const char* name) {
    const UniqueFd fd(
        ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        return false;
    }
    struct stat opened {
    }, named{};
    // A shared lock is refused while a writer holds its exclusive one. Once
    // granted, a writer that made the file but has not locked it yet waits
    // for it, and then finds its file gone (createLockedTemporary makes
    // another). The name must still be that file when it is removed.
    return ::fstat(fd.get(), &opened) == 0 && S_ISREG(opened.st_mode) &&
           lockWhole(fd.get(), F_RDLCK, false) &&
           ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameObject(opened, named) &&
           ::unlinkat(dirFd, name, 0) == 0;
}

} // namespace

bool writeAll(int fd, const char* p, qsizetype n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

namespace {

// The folders waiting for their flush, in the order first named, while a
// batch is open (the engine runs on one thread; each thread has its own).
struct FlushBatchState {
    int depth = 0;
    QStringList folders;
    QHash<dev_t, bool> ordered; // keepsNameOrder of each device met, for this batch
};
thread_local FlushBatchState t_batch;

// One folder is one entry of the batch however it is written: the engine's
// folders end with "/", those of the moves do not.
QString batchKey(const QString& folder) {
    QString key = folder;
    while (key.size() > 1 && key.endsWith('/')) {
        key.chop(1);
    }
    return key;
}

} // namespace

void syncFolder(const QString& folder) {
    const QByteArray f = encodePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    const UniqueFd fd(::open(f.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
    t_batch.folders.removeOne(batchKey(folder)); // flushed: nothing left for the batch's end
}

void syncFolderLater(const QString& folder) {
    if (t_batch.depth == 0) {
        syncFolder(folder);
        return;
    }
    if (t_batch.folders.contains(batchKey(folder))) {
        return;
    }
    // Only where a later change of names cannot reach the disk first: on
    // FAT or an ext4 without a journal, the removal of an archive unpacked
    // could land before the rename that delivered its file. The file system
    // is asked once per device and batch (this runs for every rename).
    const QByteArray f = encodePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    const UniqueFd fd(::open(f.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return; // nothing there to flush
    }
    auto known = t_batch.ordered.find(st.st_dev);
    if (known == t_batch.ordered.end()) {
        known = t_batch.ordered.insert(st.st_dev, keepsNameOrder(fd.get()));
    }
    if (!known.value()) {
        ::fsync(fd.get());
        return;
    }
    t_batch.folders << batchKey(folder);
}

FolderFlushBatch::FolderFlushBatch() {
    ++t_batch.depth;
}

FolderFlushBatch::~FolderFlushBatch() {
    if (--t_batch.depth == 0) {
        flushPending();
        t_batch.ordered.clear(); // mounts may change between batches
    }
}

void FolderFlushBatch::flushPending() {
    const QStringList folders = std::exchange(t_batch.folders, {});
    for (const QString& folder : folders) {
        syncFolder(folder);
    }
}

QStringList FolderFlushBatch::pending() {
    return t_batch.folders;
}

int createLockedTemporary(QByteArray& path) {
    const QByteArray pattern = path;
    for (int tries = 0; tries < 8; ++tries) {
        path = pattern;
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        if (!lockWhole(fd, F_WRLCK, true)) {
            return fd; // no locks here: nobody can take it for a leftover either
        }
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
            sameObject(opened, named)) {
            return fd;
        }
        // Taken for a leftover between its making and the lock: the name is
        // gone (or another file's now), so it is left alone; make another.
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

int clearStaleTemporaries(const QString& folder,
                          const std::function<bool(const QString&)>& isOurs) {
    DIR* dir = ::opendir(encodePath(folder).constData());
    if (dir == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = decodePath(entry->d_name);
        if (isOurs(name) && removeIfNobodyHolds(::dirfd(dir), entry->d_name)) {
            ++removed;
        }
    }
    ::closedir(dir);
    if (removed > 0) {
        syncFolderLater(folder);
    }
    return removed;
}

int clearStaleWriteTemporaries(const QString& path) {
    const QFileInfo info(path);
    return clearStaleTemporaries(info.absolutePath(), [&](const QString& name) {
        QString base;
        return isWriteTemporary(name, &base) && base == info.fileName();
    });
}

bool writeFileAtomically(const QString& path, const QByteArray& data) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    QByteArray tmpl =
        encodePath(folder + QLatin1Char('/') + writeTemporaryTemplate(info.fileName()));
    UniqueFd fd(createLockedTemporary(tmpl));
    if (!fd.valid()) {
        return false;
    }
    mode_t mode = 0644;
    struct stat st {};
    const QByteArray target = encodePath(path);
    if (::stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    }
    (void)::fchmod(fd.get(), mode);
    const bool ok = writeAll(fd.get(), data.constData(), data.size()) && ::fsync(fd.get()) == 0;
    // The lock goes with the descriptor, after the rename: until then a
    // clearer leaves the file alone.
    const bool placed = ok && ::rename(tmpl.constData(), target.constData()) == 0;
    if (!placed) {
        ::unlink(tmpl.constData());
    }
    const bool closed = fd.close();
    if (!placed) {
        return false;
    }
    syncFolderLater(folder);
    return closed;
}

ReadStatus readRegularFile(const QString& path, QByteArray& data, qint64 maxSize,
                           bool followLinks) {
    data.clear();
    const QByteArray p = encodePath(path);
    if (p.isEmpty() || path.contains(QChar(0))) {
        return ReadStatus::Missing;
    }
    // Without blocking: opening a pipe for reading would wait for a writer.
    const UniqueFd fd(::open(p.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY |
                                                (followLinks ? 0 : O_NOFOLLOW)));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return ReadStatus::Missing;
        }
        return errno == ELOOP ? ReadStatus::NotRegular : ReadStatus::Unreadable;
    }
    struct stat st {};
    ReadStatus status = ReadStatus::Ok;
    if (::fstat(fd.get(), &st) != 0) {
        status = ReadStatus::Unreadable;
    } else if (!S_ISREG(st.st_mode)) {
        status = ReadStatus::NotRegular;
    } else if (st.st_size > maxSize) {
        status = ReadStatus::TooLarge;
    } else {
        // Read to the end, not to the size seen: the file may have grown.
        data.resize(qsizetype(st.st_size) + 1);
        qsizetype got = 0;
        for (;;) {
            if (got == data.size()) {
                if (got > maxSize) {
                    status = ReadStatus::TooLarge;
                    break;
                }
                data.resize(qMin<qsizetype>(data.size() * 2, qsizetype(maxSize) + 1));
            }
            const ssize_t r = ::read(fd.get(), data.data() + got, size_t(data.size() - got));
            if (r == 0) {
                break;
            }
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                status = ReadStatus::Unreadable;
                break;
            }
            got += r;
        }
        data.truncate(got);
    }
    if (status != ReadStatus::Ok) {
        data.clear();
    }
    return status;
}

bool readWholeFile(const QString& path, QByteArray& data) {
    return readRegularFile(path, data) == ReadStatus::Ok;
}

} // namespace platform
