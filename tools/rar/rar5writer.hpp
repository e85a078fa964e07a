#pragma once

// rar a -ma5: the archive as a RAR 5 archive that a Windows machine's own
// archiver opens. Files are stored (never compressed), each followed by its
// user.* extended attributes as NTFS streams ("STM" service headers).

#include <string>
#include <sys/stat.h>
#include <vector>

namespace rar {

// A file as it was when it went into the archive, so that -df deletes only
// a file that is still the same.
struct StoredFile {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};
};

struct Rar5Job {
    int archiveFd = -1;    // a fresh, empty file, written from its start
    int sourceFolder = -1; // where names are opened
    std::vector<std::string> names;
    std::string shownPrefix; // put before a name in messages
    std::string archiveShown;
    bool keepStreams = false; // -os: each user.* attribute as a stream
};

// Writes the whole archive, every file with host OS Windows, attributes
// hidden + archive, its modification time to the nanosecond and its CRC32.
// Stretches of zeros (of a sparse file) become holes in the archive. Returns
// an ExitCode: anything but ExitSuccess leaves an archive that must not be
// used (a file that changed while it was read, a read or write error); the
// reason is on standard error. `stored` receives each file added.
int writeRar5Archive(const Rar5Job& job, std::vector<StoredFile>& stored);

} // namespace rar
