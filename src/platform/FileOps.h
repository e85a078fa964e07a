#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// File operations on full paths. A path that holds NUL names nothing: every
// call fails for it (it would otherwise stand for what is before the NUL).
// Every move here keeps the file whole: at
// every moment it stands complete under its old name, its new name, or both,
// whatever fails and whenever the process dies. A move within one file system
// is one rename, whose folder is flushed with syncFolderLater (inside a
// FolderFlushBatch, once at its end); a copy across file systems is flushed,
// data and folder, before its source goes, and the source's folder is
// flushed at once after it went (no order of names holds across two file
// systems).
struct stat;

namespace platform {

// True for any file system object of that name (file, folder, link, even a
// dangling one).
bool exists(const QString& path);

// True when path names a folder (or a link to one); false for a file, for
// anything missing and for a path that holds NUL.
// *st (when given) receives what stat() said of path, a folder or not.
bool isFolder(const QString& path, struct stat* st = nullptr);

// True when both paths name the same existing file system object.
bool sameFile(const QString& a, const QString& b);

// True when both paths exist on one file system (one device); false when
// either cannot be examined.
bool sameFileSystem(const QString& a, const QString& b);

// Moves a file to a new name or folder and fails when the destination exists.
// Across file systems the data, the user.* extended attributes, the
// permissions and the times are copied into a hidden temporary file in the
// destination folder, flushed to disk, given the final name without replacing
// anything, and only then is the source removed. When the move fails, the
// source is left as it was and nothing new stands at the destination. A kill
// part-way can leave the temporary file; it is locked while the move writes
// it, and later moves into that folder remove it once nobody holds it.
bool moveNoReplace(const QString& from, const QString& to);

// The copies (".velmorado-move-XXXXXX") that moves across file systems
// killed part-way left in folder, complete or not, and that no live move
// still holds. A move across file systems calls it itself before it copies
// into a folder, at most once a minute per folder. Returns how many it
// removed.
int clearStaleMoveTemporaries(const QString& folder);

// Gives a file another name in the same folder (to must be in the folder of
// from), never over a file; false when anything stands at to or the rename
// fails, the file then keeps its name. The folder is NOT flushed: the new
// name reaches the disk with the folder's next flush, which the caller makes
// before anything depends on it being there. A power cut before that flush
// can leave the old name; a kill cannot (the kernel has the rename).
bool renameInFolder(const QString& from, const QString& to);

// Moves a file to a new name or folder, replacing a file of the destination
// name only once the new one is complete (there is never a moment when
// neither exists). When the move fails, both are left as they were.
bool moveReplacing(const QString& from, const QString& to);

// Removes a file (never a folder); false when it could not be removed.
bool deleteFile(const QString& path);

// Which file system object a descriptor or a name stands for.
struct FileId {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId&) const = default;
};

// The object open on fd; nothing when fd is not open.
std::optional<FileId> fileId(int fd);
// The object path names, not following a link; nothing when it names none.
std::optional<FileId> fileIdAt(const QString& path);

// Removes path only while it still names the file id (a file that was opened,
// locked and worked on): when the name has meanwhile been given to another
// file (copied over, renamed onto), that file stays, and so does anything
// that is no regular file. True when the file was removed. Between the check
// and the removal the name can still be taken over: the system has no call
// that removes a name only if it names a given file, so the two calls follow
// each other at once, with nothing in between.
bool deleteIfSame(const QString& path, const FileId& id);

// Linux has no normal (not hidden, not read-only) attribute: succeeds without
// a change when the file exists and fails when it does not.
bool setNormal(const QString& path);

// The names of the entries of folder (all but "." and ".."), decoded
// (decodePath), in the order the file system gives them; nothing when it
// cannot be read. No entry is examined: one folder read, whatever it holds.
QStringList entryNames(const QString& folder);

// Size in bytes, -1 when the file cannot be examined.
qint64 fileSize(const QString& path);

} // namespace platform
