#pragma once

#include <QByteArray>
#include <QString>

// Open-file-description locks (fcntl F_OFD_SETLK on the whole file), which
// NFS and SMB carry to the server, so that two copies of the program on two
// machines see each other's. A lock lasts as long as its FileLock: the kernel
// drops it when the descriptor is closed, also when the process dies, so a
// crash never leaves a stale lock behind. A lock says "a live process is
// working on this"; it keeps nobody from reading, renaming or removing.
namespace platform {

class FileLock {
public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileLock& operator=(FileLock&& other) noexcept;

    // Locks an existing regular file without waiting: exclusively when it can
    // be opened for writing, else shared, and then only when nobody else
    // holds a lock on it. Not held when somebody else holds it, or when it
    // cannot be opened (missing, a link, not a regular file).
    static FileLock take(const QString& path);

    // Creates path, which must not exist yet, locks it before a byte is
    // written, writes data and flushes it and its folder to disk. On failure
    // nothing that this call did not create is removed: when the name was
    // taken (*existed is then true) the other file stays as it is.
    static FileLock create(const QString& path, const QByteArray& data, bool* existed = nullptr);

    // A shared lock on a folder (a folder cannot be opened for writing).
    static FileLock folder(const QString& path);

    bool held() const { return m_fd >= 0; }
    // The locked descriptor (to check that the object is still at its path).
    int fd() const { return m_fd; }
    void release();

private:
    explicit FileLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// Locks the whole of an open descriptor (F_RDLCK shared, F_WRLCK exclusive)
// under an open-file-description lock; with wait, until it is granted.
bool lockWhole(int fd, short type, bool wait);

// True when a lock of another open file description, in this process or in
// any other, covers path (file or folder). False when none does, or when path
// cannot be opened: nobody can be working on what is not there.
bool lockedByOther(const QString& path);

} // namespace platform
