#pragma once

#include <cstddef>
#include <string>

namespace rar {

// Owns a file descriptor and closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    // Closes now and reports a failed close (which can mean lost data on some file systems).
    bool close();

private:
    int fd_ = -1;
};

std::string errorText(int err);

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
    void remove();

private:
    void forget();
    int folderFd_ = -1;
    std::string name_;
    int slot_ = -1;
};

} // namespace rar
