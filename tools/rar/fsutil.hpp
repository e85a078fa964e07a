#pragma once

#include "platform/UniqueFd.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace rar {

using platform::UniqueFd;

std::string errorText(int err);

// File names are UTF-8 on the shares we serve; libarchive converts names
// through the locale's character set (as does fnmatch), so this makes the
// character handling part of the locale a UTF-8 one, once. That is all the
// archiver takes from the locale: its messages, numbers and error texts stay
// in the C locale whatever the user's language (the engine reads some of
// them), and it formats no dates.
void useUtf8Names();
// Plain ASCII is handled the same in every locale: `rar a` on such names
// (RA000124.rr) never loads one, which would cost a tenth of its start.
bool isAscii(const std::string& text);

// "/a/b/c" -> {"/a/b", "c"}; "c" -> {".", "c"}; "/c" -> {"/", "c"}.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts splitPath(const std::string& path);

// The last component of a stored entry name ("a/b/" -> "").
std::string lastComponent(const std::string& path);

// Opens a folder for use with the *at() calls.
UniqueFd openFolder(const std::string& path);

bool writeAll(int fd, const void* data, size_t size);

// The user.* extended attributes of an open file (where Samba keeps NTFS
// streams and netatalk Mac resource forks), by name, sorted; none where the
// file system has none. False on a read error.
using Attributes = std::vector<std::pair<std::string, std::string>>;
bool readUserAttributes(int fd, Attributes& out);

// Starts the writing back of a file's data while more of it is still being
// written, a few MiB at a time, so that the flush that must come before the
// file gets its name finds little left to do. It never waits and makes
// nothing durable: that is still the flush's work.
class EarlyWriteback {
public:
    explicit EarlyWriteback(int fd = -1) : fd_(fd) {}
    // The file now holds data up to `end` (an offset in bytes).
    void wroteUpTo(off_t end);

private:
    int fd_;
    off_t started_ = 0; // written back from here on is not asked for yet
};

// A fresh hidden name for a temporary file; never the same twice in a row.
std::string temporaryName();

// Temporary files that must vanish if the program is interrupted. A name is
// registered relative to a folder descriptor; a signal handler removes every
// registered file before the program dies of that signal.
class TemporaryFiles {
public:
    static void installSignalHandlers();
    // Returns a slot number, or -1 if the name cannot be tracked.
    static int track(int folderFd, const std::string& name);
    static void untrack(int slot);
};

// Removes a temporary file (folderFd-relative) unless it was committed.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(int folderFd, std::string name);
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    ~TemporaryFile();

    bool active() const { return !name_.empty(); }
    const std::string& name() const { return name_; }
    // Renames the file to finalName in the same folder. On success the
    // temporary name is forgotten; on failure it stays to be removed.
    bool commitAs(const std::string& finalName);
    // Gives the file the name finalName in the same folder only if nothing
    // stands there: an existing file of that name is never replaced, and the
    // call then fails with EEXIST. On success the temporary name is
    // forgotten; on failure it stays to be removed.
    //
    // A no-replace rename where the file system has one; else a hard link and
    // the removal of the temporary name. Where it has neither (FAT, some
    // shares), the name is claimed by creating an empty file there
    // exclusively, which any file system does at once or refuses, and the
    // temporary is renamed onto that empty file of our own; killed in
    // between (SIGKILL, power loss) an empty file of that name can stay, and
    // the signals we catch remove it.
    bool commitNoReplace(const std::string& finalName);
    void remove();

private:
    void forget();
    int folderFd_ = -1;
    std::string name_;
    int slot_ = -1;
};

} // namespace rar
