#pragma once

#include <QString>

namespace config {

// An INI file read and written one value at a time, the Windows way:
// section and key names compare without case, a missing file, section or key
// reads as empty, a write replaces the one value in place and keeps every
// other line (comments, blank lines, order, line ends), the first write
// creates the file and the section. Every write replaces the whole file
// atomically, so the file is never seen half-written.
namespace PrivateProfile {

// The stored value, blanks around it removed; empty when anything is missing
// or the file cannot be read (only a regular file is read, never a pipe or a
// device, and at most platform::kMaxReadSize bytes of it).
QString read(const QString& path, const QString& section, const QString& key);
// Stores value; false when the file could not be written (callers ignore it).
// A file that is there but cannot be read whole (not a regular file, too
// large, no rights) is never written: its content would be lost.
bool write(const QString& path, const QString& section, const QString& key, const QString& value);

// The same on a text already in memory (used by the two above and by tests).
QString readFromText(const QString& text, const QString& section, const QString& key);
QString writeToText(const QString& text, const QString& section, const QString& key,
                    const QString& value);

} // namespace PrivateProfile

} // namespace config
