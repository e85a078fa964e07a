#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

// Replaces the file at path with data so that a reader sees either the old or
// the new content, never a part: a temporary file ".NAME.XXXXXX" in the same
// folder is written under a lock (createLockedTemporary), flushed to disk and
// renamed over the old one, then the folder is flushed (syncFolderLater). The old file's
// permissions are kept. Returns false, leaving the old file untouched, when
// any step fails. A crash part-way leaves the temporary file, which
// clearStaleWriteTemporaries removes later.
bool writeFileAtomically(const QString& path, const QByteArray& data);

// Writes all of p to fd, going on after interrupted or short writes.
bool writeAll(int fd, const char* p, qsizetype n);

// What reading a whole file found.
enum class ReadStatus {
    Ok,
    Missing,    // nothing of that name
    NotRegular, // a folder, a pipe, a device, a socket (or a link to one)
    TooLarge,   // larger than the limit asked for
    Unreadable  // there, but cannot be opened or read (rights, I/O error)
};

// No file the program reads whole (parameters, list of pairs) comes near it.
inline constexpr qint64 kMaxReadSize = 8 << 20;

// Reads a whole regular file of at most maxSize bytes into data. Nothing else
// is read: a pipe would block and a device never end. followLinks false
// refuses a symbolic link (NotRegular).
ReadStatus readRegularFile(const QString& path, QByteArray& data, qint64 maxSize = kMaxReadSize,
                           bool followLinks = true);

// readRegularFile with the default limit; false unless it read the file.
bool readWholeFile(const QString& path, QByteArray& data);

// Flushes a folder's entries to disk now (after a rename or a create in it),
// and so ends its wait in a batch (syncFolderLater).
// Needed at once where a step on another file system follows that must not
// reach the disk first: a copy across file systems is flushed into its new
// folder before its source goes.
void syncFolder(const QString& folder);

// Flushes a folder's entries after a change of names in it, once for a whole
// batch of changes: inside a FolderFlushBatch the flush waits for the end of
// the batch (or flushPending), and each folder is flushed once however often
// it was named; outside one it is done at once, as syncFolder. This is sound
// where what follows the change is only further changes of names on the same
// file system, and that file system makes changes of names durable in the
// order they were made (keepsNameOrder: a journalled ext4, xfs, btrfs, the
// servers behind shares), so a later rename or removal never reaches the disk
// before an earlier one; a folder anywhere else (FAT, ext4 without a journal)
// is flushed at once, inside a batch too. File data is never deferred: a file is flushed
// before the name that makes it count. A power cut inside a batch can undo
// the batch's last changes of names, in order, never reorder them; a killed
// process loses nothing by it (the kernel has every change already).
void syncFolderLater(const QString& folder);

// The scope of deferred folder flushes (syncFolderLater). Batches nest: the
// outermost one flushes, at its end, every folder named inside it.
class FolderFlushBatch {
public:
    FolderFlushBatch();
    ~FolderFlushBatch();
    FolderFlushBatch(const FolderFlushBatch&) = delete;
    FolderFlushBatch& operator=(const FolderFlushBatch&) = delete;

    // Flushes now the folders named so far (before the batch waits a while).
    static void flushPending();
    // The folders waiting for their flush, in the order first named.
    static QStringList pending();
};

// Temporary files that outlive a killed process. The writer of a temporary
// file holds an open-file-description lock (fcntl F_OFD_SETLKW, carried to
// the server by NFS and SMB) on it from just after it is made until it is
// renamed or removed; a temporary file that nobody holds is a leftover.
//
// Creates a temporary file from path, whose name ends in "XXXXXX" (replaced
// by the name made), and locks it. Returns the descriptor, -1 on failure.
// Where the file system has no locks the file is made all the same (and a
// clearer, which cannot lock it either, never takes it for a leftover).
int createLockedTemporary(QByteArray& path);

// Removes from folder every regular file whose name isOurs accepts and that
// no process holds locked (nor could lock; a file whose lock cannot be
// tested stays). Returns how many were removed.
int clearStaleTemporaries(const QString& folder, const std::function<bool(const QString&)>& isOurs);

// The leftovers of writeFileAtomically(path): ".NAME.XXXXXX" beside path.
int clearStaleWriteTemporaries(const QString& path);

} // namespace platform
