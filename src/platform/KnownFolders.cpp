#include "platform/KnownFolders.h"

#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/FolderWatch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

namespace {

// Everything that can change what stat() says of a folder, or where its
// path leads: entries made, removed or renamed in it (its times and link
// count), its attributes (times, permissions), and the folder itself moved,
// removed or unmounted (IN_UNMOUNT and IN_IGNORED come unasked). Never
// through a link: the folder must stand where the path says.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr uint32_t kFolderItself = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

} // namespace

bool KnownFolders::watchMounts() {
    if (!m_mounts.valid() && !m_unusable) {
        // Polled for a change to the mount table: a mount over a folder on
        // the way, or under it, reaches no watch, and a device number freed
        // by an unmount can come back as a share's.
        m_mounts.reset(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
        m_unusable = !m_mounts.valid();
    }
    return m_mounts.valid();
}

bool KnownFolders::open() {
    if (!watchMounts()) {
        return false;
    }
    if (!m_inotify.valid()) {
        m_inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    }
    return m_inotify.valid();
}

bool KnownFolders::localFileSystem(const QString& folder, dev_t dev) {
    const auto known = m_local.constFind(dev);
    if (known != m_local.constEnd()) {
        return known.value();
    }
    // The mount table is watched before the file system is asked: a mount
    // made between the question and the opening of the table would
    // otherwise never be reported, and its answer kept for good.
    const bool keep = watchMounts();
    // The file system is asked through the folder as it stands now, and the
    // answer kept for dev only when that is still on dev: a path changed
    // since dev was read (a link to a share replaced by a local folder)
    // must not have a share's device taken for a local one.
    struct stat st {};
    const UniqueFd fd(::open(encodePath(folder).constData(), O_PATH | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_dev != dev) {
        return false; // not trusted this time, nothing kept
    }
    const bool local = changesSeenHere(fd.get());
    if (keep) {
        m_local.insert(dev, local); // until the mount table changes
    }
    return local;
}

KnownFolders::Watched KnownFolders::watchAllOf(const QString& path, QList<int>* watches,
                                               QList<QByteArray>* way) {
    if (path.contains(QChar(0))) {
        return Watched::NotHere;
    }
    const QByteArray bytes = encodePath(path);
    if (!bytes.startsWith('/')) {
        return Watched::NotHere;
    }
    const auto watch = [&](const QByteArray& folder) {
        struct stat st {};
        if (::lstat(folder.constData(), &st) != 0) {
            return Watched::Missing;
        }
        if (S_ISLNK(st.st_mode)) {
            return Watched::NotHere;
        }
        if (!S_ISDIR(st.st_mode)) {
            return Watched::Missing;
        }
        if (!localFileSystem(decodePath(folder), st.st_dev)) {
            return Watched::NotHere;
        }
        // The watch goes on what the path leads to now; should that no
        // longer be the folder just looked at (a link put in its place), the
        // watch is refused.
        const int wd = ::inotify_add_watch(m_inotify.get(), folder.constData(), kWatchMask);
        if (wd < 0) {
            // Gone since the look: asked again next time. No watch left, or
            // a folder this user may pass through but not read: never.
            return errno == ENOENT || errno == ENOTDIR ? Watched::Missing : Watched::NotHere;
        }
        watches->append(wd);
        return Watched::All;
    };
    QByteArray folder("/");
    Watched result = watch(folder);
    const QList<QByteArray> parts = bytes.split('/');
    for (const QByteArray& part : parts) {
        if (result != Watched::All) {
            break;
        }
        if (part.isEmpty()) {
            continue;
        }
        if (part == "." || part == "..") {
            return Watched::NotHere;
        }
        if (folder.size() > 1) {
            folder += '/';
        }
        folder += part;
        way->append(part);
        result = watch(folder);
    }
    return result;
}

void KnownFolders::dropUnused(const QList<int>& watches) {
    for (const int wd : watches) {
        if (!m_users.contains(wd)) {
            ::inotify_rm_watch(m_inotify.get(), wd);
        }
    }
}

bool KnownFolders::isFolder(const QString& path, struct stat* st) {
    struct stat own {};
    struct stat& s = st != nullptr ? *st : own;
    const auto known = m_known.find(path);
    if (known != m_known.end()) {
        known->asked = true;
        if (!known->stale) {
            s = known->st;
            return true;
        }
        // Its watches are still set: what stat() says now is kept, as long
        // as it is the same folder.
        if (platform::isFolder(path, &s) && s.st_dev == known->st.st_dev &&
            s.st_ino == known->st.st_ino) {
            known->st = s;
            known->stale = false;
            return true;
        }
        forget(path);
    }
    // A missing folder costs one look, as ever: it is watched only once
    // it is there.
    if (!platform::isFolder(path, &s) || m_unwatchable.contains(path) || !open()) {
        return S_ISDIR(s.st_mode); // what that look said (zeroed when it failed)
    }
    QList<int> watches;
    QList<QByteArray> way;
    const Watched watched = watchAllOf(path, &watches, &way);
    if (watched != Watched::All) {
        dropUnused(watches);
        if (watched == Watched::NotHere) {
            m_unwatchable.insert(path);
        }
        return true;
    }
    // The answer kept is the one given once every watch was set.
    const bool still = platform::isFolder(path, &s);
    if (still) {
        m_known.insert(path, Known{s, watches, way, false, true});
        for (const int wd : watches) {
            m_users[wd].append(path);
        }
    } else {
        dropUnused(watches);
    }
    return still;
}

void KnownFolders::forget(const QString& path) {
    const auto known = m_known.find(path);
    if (known == m_known.end()) {
        return;
    }
    const QList<int> watches = known->watches;
    m_known.erase(known);
    for (const int wd : watches) {
        const auto users = m_users.find(wd);
        if (users == m_users.end()) {
            continue;
        }
        users->removeAll(path);
        if (users->isEmpty()) {
            m_users.erase(users);
            ::inotify_rm_watch(m_inotify.get(), wd);
        }
    }
}

void KnownFolders::changed(const inotify_event& event) {
    const bool itself = (event.mask & kFolderItself) != 0;
    const QByteArray name = event.len > 0
                                ? QByteArray(event.name, int(::strnlen(event.name, event.len)))
                                : QByteArray();
    // Whether the entry the event names is the next folder on the way from
    // the folder watched by event.wd.
    const auto onTheWay = [&](const Known& known) {
        for (qsizetype i = 0; i + 1 < known.watches.size() && i < known.way.size(); ++i) {
            if (known.watches[i] == event.wd && known.way[i] == name) {
                return true;
            }
        }
        return false;
    };
    const QStringList users = m_users.value(event.wd);
    for (const QString& path : users) {
        const auto known = m_known.find(path);
        if (known == m_known.end()) {
            continue;
        }
        if (itself) {
            forget(path); // a folder on the way, or the folder itself, moved or went
        } else if (!name.isEmpty() && onTheWay(*known)) {
            // The next folder on the way made, removed, renamed or changed:
            // its own watch may hear of a removal only much later.
            forget(path);
        } else if (known->watches.last() == event.wd) {
            known->stale = true; // a change in it: the folder is still where it was
        } else if (event.len == 0) {
            forget(path); // the permissions of a folder on the way changed
        }
        // An entry made, removed or renamed beside the way changes nothing
        // for it.
    }
}

void KnownFolders::catchUp() {
    pollfd mounts{m_mounts.get(), POLLPRI, 0};
    if (m_mounts.valid() && ::poll(&mounts, 1, 0) > 0 &&
        (mounts.revents & (POLLPRI | POLLERR)) != 0) {
        clear();
        return;
    }
    if (!m_inotify.valid()) {
        return;
    }
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_inotify.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return; // EAGAIN: nothing more happened
        }
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                clear(); // some reports were lost
                return;
            }
            changed(*event);
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
}

void KnownFolders::forgetUnasked() {
    QStringList unasked;
    for (auto known = m_known.begin(); known != m_known.end(); ++known) {
        if (!known->asked) {
            unasked << known.key();
        }
        known->asked = false;
    }
    for (const QString& path : unasked) {
        forget(path);
    }
}

void KnownFolders::clear() {
    m_known.clear();
    m_users.clear();
    m_local.clear();
    m_unwatchable.clear();
    m_inotify.reset(); // every watch goes with it
}

KnownFolders& knownFolders() {
    static KnownFolders folders;
    return folders;
}

} // namespace platform
