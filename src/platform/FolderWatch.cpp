#include "platform/FolderWatch.h"

#include "platform/FileNames.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {

bool changesSeenHere(const QString& folder) {
    const UniqueFd fd(::open(encodePath(folder).constData(), O_PATH | O_CLOEXEC));
    return fd.valid() && changesSeenHere(fd.get());
}

bool changesSeenHere(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2, ext3 and ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

FolderWatch::FolderWatch(const QString& folder) {
    if (!changesSeenHere(folder)) {
        return;
    }
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd.valid() || ::inotify_add_watch(fd.get(), encodePath(folder).constData(),
                                           IN_CREATE | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF |
                                               IN_ONLYDIR) < 0) {
        return;
    }
    m_fd = std::move(fd);
}

QStringList FolderWatch::namesAdded(bool* complete) {
    QStringList names;
    bool all = valid();
    alignas(inotify_event) char buffer[16 * 1024];
    while (valid()) {
        const ssize_t got = ::read(m_fd.get(), buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            break; // EAGAIN: nothing more for now
        }
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED)) != 0) {
                m_folderGone = true;
            }
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                all = false;
            } else if (event->len > 0) {
                names << decodePath(
                    QByteArray(event->name, int(::strnlen(event->name, event->len))));
            }
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    if (complete != nullptr) {
        *complete = all && !m_folderGone;
    }
    return names;
}

} // namespace platform
