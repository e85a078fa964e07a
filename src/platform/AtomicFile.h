#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Replaces the file at path with data so that a reader sees either the old or
// the new content, never a part: a temporary file in the same folder is
// written, flushed to disk and renamed over the old one, then the folder is
// flushed. The old file's permissions are kept. Returns false, leaving the old
// file untouched, when any step fails.
bool writeFileAtomically(const QString& path, const QByteArray& data);

// Writes all of p to fd, going on after interrupted or short writes.
bool writeAll(int fd, const char* p, qsizetype n);

// Reads a whole file; false when it cannot be opened.
bool readWholeFile(const QString& path, QByteArray& data);

// Flushes a folder's entries to disk (after a rename or a create in it).
void syncFolder(const QString& folder);

} // namespace platform
