#include "platform/InUseProbe.h"

#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

LeaseAnswer tryLease(int fd, int kind) {
    // A lease that another process breaks while we hold it is announced by a
    // signal, SIGIO unless told otherwise, whose default action ends the
    // process. SIGURG is ignored by default, so the announcement is harmless.
    ::fcntl(fd, F_SETSIG, SIGURG);
    if (::fcntl(fd, F_SETLEASE, kind) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return LeaseAnswer::Free;
    }
    if (errno == EAGAIN || errno == EBUSY) {
        return LeaseAnswer::InUse;
    }
    return LeaseAnswer::Unknown; // EACCES, EINVAL, ENOLCK, ...
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp{qint64(st.st_size),         qint64(st.st_mtim.tv_sec),
                     qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec),
                     qint64(st.st_ctim.tv_nsec), quint64(st.st_dev),
                     quint64(st.st_ino)};
}

} // namespace

LeaseAnswer writersLease(int fd) {
    return tryLease(fd, F_RDLCK);
}

LeaseAnswer anyOpenerLease(int fd) {
    return tryLease(fd, F_WRLCK);
}

void InUseProbe::beginWalk(const QString& folder) {
    m_folder = folder;
    m_met.clear();
}

qint64 InUseProbe::nowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

InUseProbe::Verdict InUseProbe::probe(const QString& name, bool anyOpener) {
    m_met.insert(name);
    FolderMemory& memory = m_memory[m_folder];
    const QByteArray path = encodePath(m_folder + name);
    // Non-blocking, so that a FIFO put in place of a file cannot hang the walk.
    const UniqueFd fd(
        ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    const int openError = errno;
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        memory.remove(name);
        const bool denied = fd.get() < 0 && (openError == EACCES || openError == EPERM) &&
                            ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
        return denied ? Verdict::Unreadable : Verdict::Unusable;
    }
    if (writersLease(fd.get()) == LeaseAnswer::InUse ||
        (anyOpener && anyOpenerLease(fd.get()) == LeaseAnswer::InUse)) {
        memory.remove(name);
        return Verdict::InUse;
    }
    const FileStamp stamp = stampOf(st);
    const qint64 now = nowMs();
    const auto vouched = m_vouched.constFind(FileId{stamp.device, stamp.inode});
    if (vouched != m_vouched.constEnd() && vouched->stamp == stamp) {
        return Verdict::Take;
    }
    const auto seen = memory.constFind(name);
    if (seen == memory.constEnd()) {
        memory.insert(name, Sighting{stamp, now});
        return Verdict::New;
    }
    if (seen->stamp != stamp) {
        memory.insert(name, Sighting{stamp, now});
        return Verdict::NotQuiet;
    }
    // The first sighting of this stamp counts, however often it was seen since.
    return now - seen->seenAtMs >= kQuietMs ? Verdict::Take : Verdict::NotQuiet;
}

qint64 InUseProbe::quietAtMs(const QString& name) const {
    const auto folder = m_memory.constFind(m_folder);
    if (folder == m_memory.constEnd()) {
        return -1;
    }
    const auto seen = folder->constFind(name);
    return seen == folder->constEnd() ? -1 : seen->seenAtMs + kQuietMs;
}

void InUseProbe::endWalk(bool complete) {
    const auto it = m_memory.find(m_folder);
    if (it != m_memory.end()) {
        if (complete) {
            for (auto e = it->begin(); e != it->end();) {
                e = m_met.contains(e.key()) ? std::next(e) : it->erase(e);
            }
        }
        if (it->isEmpty()) {
            m_memory.erase(it);
        }
    }
    m_met.clear();
    m_folder.clear();
}

void InUseProbe::vouch(const QString& path) {
    dropOldVouchers();
    struct stat st {};
    if (::lstat(encodePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        const FileStamp stamp = stampOf(st);
        m_vouched.insert(FileId{stamp.device, stamp.inode}, Sighting{stamp, nowMs()});
    }
}

void InUseProbe::dropOldVouchers() {
    const qint64 now = nowMs();
    for (auto it = m_vouched.begin(); it != m_vouched.end();) {
        it = now - it->seenAtMs >= kVoucherMs ? m_vouched.erase(it) : std::next(it);
    }
}

void InUseProbe::clear() {
    m_vouched.clear();
    m_memory.clear();
    m_met.clear();
}

int InUseProbe::remembered() const {
    int n = 0;
    for (const FolderMemory& m : m_memory) {
        n += int(m.size());
    }
    return n;
}

} // namespace platform
