#pragma once

#include "platform/UniqueFd.h"

#include <QString>
#include <QStringList>

namespace platform {

// Whether every change to folder goes through this machine's kernel: a local
// file system (ext2/3/4, XFS, Btrfs, tmpfs, F2FS). Only there do the folder's
// times and inotify see every entry made, removed or renamed in it. A network
// or user-space file system (NFS, SMB, FUSE, ...), or one that cannot be
// examined, is not.
bool changesSeenHere(const QString& folder);
// The same of the file system that holds what fd names (O_PATH will do).
bool changesSeenHere(int fd);

// The names that come into one folder (made, or renamed or moved into it)
// from the moment the watch is made, through inotify. A watch that could not
// be set up (a folder whose changes are not all seen here, no inotify
// instance left) is not valid(): the caller cannot learn what came in.
class FolderWatch {
public:
    explicit FolderWatch(const QString& folder);

    bool valid() const { return m_fd.valid(); }

    // The names that came in since the watch was made or last read, in the
    // order they came; nothing when the watch is not valid. *complete (when
    // given) is false when some were lost (the kernel's queue ran over, or
    // the watch is not valid), and from the moment the folder itself was
    // moved or removed on (a folder made under its name is not watched).
    QStringList namesAdded(bool* complete = nullptr);

private:
    UniqueFd m_fd;
    bool m_folderGone = false;
};

} // namespace platform
