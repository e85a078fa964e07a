#pragma once

// rar e on a RAR 5 archive: libarchive extracts the files but does not show
// the NTFS streams stored with them ("STM" service headers), nor a time
// finer than a second. This reads every header of the archive beforehand,
// bounded at each step, and restores a file's stored streams as its user.*
// extended attributes (rar5format.hpp says which) and its modification time.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace rar {

struct Rar5Stream {
    std::string storedName; // as the archive gives it, for messages
    std::string xattr;      // the attribute it becomes
    std::string refused;    // why it is not restored; empty when it is
    uint64_t offset = 0;    // its data in the archive
    uint64_t size = 0;
    bool hasCrc = false;
    uint32_t crc = 0;
};

// A file header, with the streams that follow it.
struct Rar5Member {
    std::string name;
    bool hasMtime = false;
    timespec mtime{};
    std::vector<Rar5Stream> streams;
    size_t streamsOverLimit = 0; // refused: more than kMaxStreams
};

struct Rar5Headers {
    enum class Status {
        NotRar5,     // no RAR 5 signature at the start
        Read,        // every header read, up to the end of the archive
        Damaged,     // a header that fails its CRC, is cut short or points past the end
        Unsupported, // encrypted headers: no stream can be read
        Unreadable,  // the system failed to read the archive
    };
    Status status = Status::NotRar5;
    std::string error;
    std::vector<Rar5Member> members; // the file headers, in archive order
    size_t orphanStreams = 0;        // streams with no file before them
};

// A file keeps at most this many streams; a Windows file has a handful.
inline constexpr size_t kMaxStreams = 256;
// The largest stream restored: what one extended attribute can hold.
inline constexpr uint64_t kMaxStreamSize = 65536;

// Reads the headers of the archive open as fd (positional reads only: the
// descriptor's offset is left alone).
Rar5Headers readRar5Headers(int fd);

// Restores on the open file fileFd the streams of member and its
// modification time. A stream that cannot be restored (compressed, refused
// by the file system) is named on standard error and gives ExitWarning; a
// stream that fails its CRC gives ExitCrc; a failing disk (EIO) gives
// ExitFatal.
int restoreRar5Streams(int archiveFd, const Rar5Member& member, int fileFd,
                       const std::string& shown);

// A stored name as it may be shown on a terminal: control characters as '?'.
std::string printableName(const std::string& name);

} // namespace rar
