#include "platform/FileOps.h"

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

namespace platform {

namespace {

// A path holding NUL would name what stands before the NUL (a file of the
// user's, outside every pair): such a path names nothing here. The empty
// path that stands for it fails every call below.
QByteArray enc(const QString& path) {
    if (path.contains(QChar(0))) {
        return {};
    }
    return encodePath(path);
}

QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

bool lstatPath(const QByteArray& p, struct stat& st) {
    return ::lstat(p.constData(), &st) == 0;
}

bool copyData(int in, int out) {
    // copy_file_range lets the kernel do the work where it can; it refuses
    // some pairs of file systems, and then a plain read/write loop does it.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                break;
            }
            return false;
        }
    }
    std::vector<char> buf(1 << 17);
    for (;;) {
        const ssize_t r = ::read(in, buf.data(), buf.size());
        if (r == 0) {
            return true;
        }
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (!writeAll(out, buf.data(), qsizetype(r))) {
            return false;
        }
    }
}

// Copies every user.* extended attribute. A source that has none copies
// fine to a file system without them; one that has some fails there, since
// the attributes hold data (streams, resource forks) that must not be lost.
bool copyUserXattrs(int in, int out) {
    ssize_t size = ::flistxattr(in, nullptr, 0);
    if (size < 0) {
        return errno == ENOTSUP; // the source file system keeps none
    }
    std::vector<char> names;
    for (;;) {
        names.resize(size_t(size) + 1);
        size = ::flistxattr(in, names.data(), names.size());
        if (size >= 0) {
            break;
        }
        if (errno != ERANGE) {
            return false;
        }
        size = ::flistxattr(in, nullptr, 0);
        if (size < 0) {
            return false;
        }
    }
    std::vector<char> value;
    for (ssize_t i = 0; i < size;) {
        const char* name = names.data() + i;
        const size_t len = ::strnlen(name, size_t(size - i));
        i += ssize_t(len) + 1;
        if (::strncmp(name, "user.", 5) != 0) {
            continue;
        }
        ssize_t vlen = ::fgetxattr(in, name, nullptr, 0);
        for (;;) {
            if (vlen < 0) {
                return false;
            }
            value.resize(size_t(vlen) + 1);
            const ssize_t got = ::fgetxattr(in, name, value.data(), value.size());
            if (got >= 0) {
                vlen = got;
                break;
            }
            if (errno != ERANGE) {
                return false;
            }
            vlen = ::fgetxattr(in, name, nullptr, 0);
        }
        if (::fsetxattr(out, name, value.data(), size_t(vlen), 0) != 0) {
            return false;
        }
    }
    return true;
}

// Gives a complete file its final name without replacing anything. Where a
// file system refuses the no-replace rename, a hard link does the same; where
// it has no hard links either, the name is checked first (this process is
// the only one that makes these names).
bool placeNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false;
    }
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) {
        return false;
    }
    struct stat st {};
    if (lstatPath(to, st) || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

// Before a copy goes into a folder, the copies that killed moves left there
// go (a hidden file in a target folder that no pass walks would stay for
// ever). A folder is looked through at most once a minute.
void clearStaleMoveTemporariesOnce(const QString& folder) {
    static QHash<QString, QDeadlineTimer> nextClearing;
    const auto it = nextClearing.constFind(folder);
    if (it != nextClearing.constEnd() && !it->hasExpired()) {
        return;
    }
    if (nextClearing.size() > 4096) {
        nextClearing.clear();
    }
    nextClearing.insert(folder, QDeadlineTimer(60000));
    clearStaleMoveTemporaries(folder);
}

// A complete copy of from in a hidden temporary file of toFolder, flushed to
// disk. Returns the temporary file's name, empty on failure (then nothing is
// left behind); out is left open on it, holding its lock, until the caller
// has given it its final name. A source whose folder does not let it go is
// refused before anything is copied, so that a move across file systems does
// not end with the file in two places.
QByteArray copyToTemporary(const QByteArray& from, const QString& toFolder, UniqueFd& out) {
    clearStaleMoveTemporariesOnce(toFolder);
    if (::access(enc(folderOf(decodePath(from))).constData(), W_OK | X_OK) != 0) {
        return {};
    }
    UniqueFd in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    QByteArray tmp = enc(toFolder + QLatin1Char('/') + moveTemporaryTemplate());
    out.reset(createLockedTemporary(tmp));
    if (!out.valid()) {
        return {};
    }
    (void)::fchown(out.get(), st.st_uid, st.st_gid); // only root may give a file away
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const bool ok = copyData(in.get(), out.get()) && copyUserXattrs(in.get(), out.get()) &&
                    ::fchmod(out.get(), st.st_mode & 07777) == 0 &&
                    ::futimens(out.get(), times) == 0 && ::fsync(out.get()) == 0;
    if (!ok) {
        ::unlink(tmp.constData()); // still under its lock
        out.reset();
        return {};
    }
    return tmp;
}

} // namespace

int clearStaleMoveTemporaries(const QString& folder) {
    return clearStaleTemporaries(folder, isMoveTemporary);
}

bool exists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    struct stat st {};
    return lstatPath(enc(path), st);
}

bool isFolder(const QString& path, struct stat* st) {
    struct stat own {};
    struct stat& s = st != nullptr ? *st : own;
    s = {};
    const QByteArray p = enc(path);
    return !p.isEmpty() && ::stat(p.constData(), &s) == 0 && S_ISDIR(s.st_mode);
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return !a.isEmpty() && !b.isEmpty() && lstatPath(enc(a), sa) && lstatPath(enc(b), sb) &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool sameFileSystem(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return !a.isEmpty() && !b.isEmpty() && ::stat(enc(a).constData(), &sa) == 0 &&
           ::stat(enc(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

namespace {

enum class Naming { NoReplace, Replacing };

// Gives from the name to: without replacing anything, or replacing an old
// file in one step (readers see the old or the new).
bool giveName(const QByteArray& from, const QByteArray& to, Naming naming) {
    return naming == Naming::Replacing ? ::rename(from.constData(), to.constData()) == 0
                                       : placeNoReplace(from, to);
}

// Both moves: one rename on the same file system; across file systems the
// copy gets its final name before the source goes, so a crash leaves the file
// in one place or in both, never in none.
bool moveFile(const QString& from, const QString& to, Naming naming) {
    const QByteArray f = enc(from);
    const QByteArray t = enc(to);
    if (f.isEmpty() || t.isEmpty()) {
        return false;
    }
    if (giveName(f, t, naming)) {
        // One rename on one file system: later changes of names there come
        // after it on disk too.
        syncFolderLater(folderOf(to));
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    struct stat st {};
    if (lstatPath(t, st) && (naming == Naming::NoReplace || S_ISDIR(st.st_mode))) {
        return false;
    }
    const QString toFolder = folderOf(to);
    UniqueFd copy;
    const QByteArray tmp = copyToTemporary(f, toFolder, copy);
    if (tmp.isEmpty()) {
        return false;
    }
    if (!giveName(tmp, t, naming)) {
        ::unlink(tmp.constData());
        return false;
    }
    copy.reset(); // named: its lock can go
    // On disk before the source goes, which is on another file system: the
    // order of the two is kept by nothing else.
    syncFolder(toFolder);
    if (::unlink(f.constData()) != 0) {
        if (naming == Naming::Replacing) {
            // The file is complete in its new place; the copy left behind
            // is harmless.
            return true;
        }
        // The source cannot go: take the copy back so that the move fails
        // as a whole and the file stays where it was.
        ::unlink(t.constData());
        syncFolder(toFolder);
        return false;
    }
    // At once, in a batch too: the copy is on disk already on the other file
    // system, whose order of names nothing here follows. Brought back by a
    // power cut, the file would travel again and land over a newer version.
    syncFolder(folderOf(from));
    return true;
}

} // namespace

bool moveNoReplace(const QString& from, const QString& to) {
    return moveFile(from, to, Naming::NoReplace);
}

bool renameInFolder(const QString& from, const QString& to) {
    const QByteArray f = enc(from);
    const QByteArray t = enc(to);
    return !f.isEmpty() && !t.isEmpty() && folderOf(from) == folderOf(to) && placeNoReplace(f, t);
}

bool moveReplacing(const QString& from, const QString& to) {
    return moveFile(from, to, Naming::Replacing);
}

bool deleteFile(const QString& path) {
    const QByteArray p = enc(path);
    if (p.isEmpty()) {
        return false;
    }
    struct stat st {};
    if (!lstatPath(p, st) || S_ISDIR(st.st_mode)) {
        return false;
    }
    return ::unlink(p.constData()) == 0;
}

std::optional<FileId> fileId(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

std::optional<FileId> fileIdAt(const QString& path) {
    const QByteArray p = enc(path);
    struct stat st {};
    if (p.isEmpty() || !lstatPath(p, st)) {
        return std::nullopt;
    }
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool deleteIfSame(const QString& path, const FileId& id) {
    const QByteArray p = enc(path);
    struct stat st {};
    if (p.isEmpty() || !lstatPath(p, st) || !S_ISREG(st.st_mode) ||
        FileId{quint64(st.st_dev), quint64(st.st_ino)} != id) {
        return false;
    }
    return ::unlink(p.constData()) == 0;
}

bool setNormal(const QString& path) {
    return exists(path);
}

QStringList entryNames(const QString& folder) {
    QStringList names;
    const QByteArray f = enc(folder);
    DIR* dir = f.isEmpty() ? nullptr : ::opendir(f.constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names << decodePath(QByteArray(entry->d_name));
        }
    }
    ::closedir(dir);
    return names;
}

qint64 fileSize(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(enc(path).constData(), &st) != 0) {
        return -1;
    }
    return qint64(st.st_size);
}

} // namespace platform
