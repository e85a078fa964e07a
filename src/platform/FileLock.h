#pragma once

#include "platform/FileOps.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <utility>

// Open-file-description locks (fcntl F_OFD_SETLK on the whole file), which
// NFS and SMB carry to the server, so that two copies of the program on two
// machines see each other's. A lock lasts as long as its FileLock: the kernel
// drops it when the descriptor is closed, also when the process dies, so a
// crash never leaves a stale lock behind. A lock says "a live process is
// working on this"; it keeps nobody from reading, renaming or removing.
namespace platform {

class FileLock {
public:
    // Closing the descriptor drops its lock: the lock goes with the object.
    FileLock() = default;

    // Locks an existing regular file without waiting: exclusively when it can
    // be opened for writing, else shared, and then only when nobody else
    // holds a lock on it. Not held when somebody else holds it, or when it
    // cannot be opened (missing, a link, not a regular file).
    static FileLock take(const QString& path);

    // Creates path, which must not exist yet, holding data, locked: the data
    // is flushed to disk before the file takes its name, the folder after it
    // (syncFolderLater: once, at the end of a batch of changes). The file is written under a hidden
    // name
    // (".NAME.XXXXXX") and linked to path, so that it appears whole or not at
    // all; a crash can leave only that hidden copy. Where the folder has no
    // hard links, path is created exclusively and locked before a byte is
    // written, and a crash can leave it short. On failure nothing that this
    // call did not create is removed: when the name was taken (*existed is
    // then true) the other file stays as it is.
    static FileLock create(const QString& path, const QByteArray& data, bool* existed = nullptr);

    // A shared lock on a folder (a folder cannot be opened for writing).
    static FileLock folder(const QString& path);

    bool held() const { return m_fd.valid(); }
    // The locked descriptor (to check that the object is still at its path).
    int fd() const { return m_fd.get(); }
    // The locked file, to remove its name only while it still names it
    // (deleteIfSame); nothing when not held.
    std::optional<FileId> id() const { return fileId(m_fd.get()); }
    void release() { m_fd.reset(); }

private:
    explicit FileLock(UniqueFd fd) : m_fd(std::move(fd)) {}
    UniqueFd m_fd;
};

// Locks the whole of an open descriptor (F_RDLCK shared, F_WRLCK exclusive)
// under an open-file-description lock; with wait, until it is granted.
bool lockWhole(int fd, short type, bool wait);

// True when a lock of another open file description, in this process or in
// any other, covers path (file or folder). False when none does, or when path
// cannot be opened: nobody can be working on what is not there.
bool lockedByOther(const QString& path);

} // namespace platform
