#include "platform/InUseProbe.h"

#include "platform/UniqueFd.h"

#include <QFile>

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

qint64 nsOf(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Modified at least the quiet period ago.
bool isOld(const FileStamp& stamp) {
    const qint64 mtimeNs = stamp.mtimeSec * 1000000000 + stamp.mtimeNsec;
    return nsOf(CLOCK_REALTIME) - mtimeNs >= InUseProbe::kQuietSeconds * 1000000000;
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

InUseProbe::Verdict InUseProbe::probe(const QString& name, bool anyOpener) {
    m_met.insert(name);
    FolderMemory& memory = m_memory[m_folder];
    const QByteArray path = QFile::encodeName(m_folder + name);
    // Non-blocking, so that a FIFO put in place of a file cannot hang the walk.
    const UniqueFd fd(
        ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        memory.remove(name);
        return Verdict::Unusable;
    }
    if (writersLease(fd.get()) == LeaseAnswer::InUse ||
        (anyOpener && anyOpenerLease(fd.get()) == LeaseAnswer::InUse)) {
        memory.remove(name);
        return Verdict::InUse;
    }
    const FileStamp stamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec),
                          qint64(st.st_mtim.tv_nsec)};
    if (isOld(stamp)) {
        memory.remove(name);
        return Verdict::Take;
    }
    const auto vouched = m_vouched.constFind(FileId{quint64(st.st_dev), quint64(st.st_ino)});
    if (vouched != m_vouched.constEnd() && *vouched == stamp) {
        m_vouched.erase(vouched);
        memory.remove(name);
        return Verdict::Take;
    }
    const qint64 nowMs = nsOf(CLOCK_MONOTONIC) / 1000000;
    const auto seen = memory.constFind(name);
    if (seen != memory.constEnd() && seen->stamp == stamp) {
        if (nowMs - seen->seenAtMs >= kSightingGapMs) {
            memory.remove(name);
            return Verdict::Take;
        }
        return Verdict::NotQuiet; // keep the first sighting of this stamp
    }
    memory.insert(name, Sighting{stamp, nowMs});
    return Verdict::NotQuiet;
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
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        const FileStamp stamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec),
                              qint64(st.st_mtim.tv_nsec)};
        if (!isOld(stamp)) {
            m_vouched.insert(FileId{quint64(st.st_dev), quint64(st.st_ino)}, stamp);
        }
    }
}

void InUseProbe::dropOldVouchers() {
    for (auto it = m_vouched.begin(); it != m_vouched.end();) {
        it = isOld(*it) ? m_vouched.erase(it) : std::next(it);
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
