// rar a: packs the regular files matching a wildcard into a new archive.
//
// The archive is a pax archive in zstd frames, written under a temporary
// name beside its final name, synced, and renamed into place; only then are
// the source files deleted, last added first.

#include "commands.hpp"
#include "exitcode.hpp"
#include "fsutil.hpp"
#include "platform/NameOrder.h"
#include "rar5writer.hpp"
#include "zstdsink.hpp"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rar {

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr int kZstdLevel = 3;
constexpr int kZstdWorkers = 2;
// Below this much input, worker threads cost more to start than they save.
constexpr off_t kThreadedFrom = off_t(4) << 20;

void report(const std::string& message) {
    std::fprintf(stderr, "rar: %s\n", message.c_str());
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// What a file looked like when it was archived, so that -df never deletes a
// file that changed (or was replaced) after its contents were read.
struct Archived {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};
};

bool unchangedSince(const struct stat& st, const Archived& file) {
    return S_ISREG(st.st_mode) && st.st_dev == file.device && st.st_ino == file.inode &&
           st.st_size == file.size && sameTime(st.st_mtim, file.mtime);
}

bool sameFolder(int a, int b) {
    struct stat stA {};
    struct stat stB {};
    return ::fstat(a, &stA) == 0 && ::fstat(b, &stB) == 0 && stA.st_dev == stB.st_dev &&
           stA.st_ino == stB.st_ino;
}

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

// The files of `folderFd` whose names match `pattern`, in byte order,
// leaving out the archive being written if it lies among them.
bool listMatches(int folderFd, const std::string& pattern, int archiveFolderFd,
                 const std::string& archiveName, std::vector<std::string>& names) {
    struct stat folderSt {};
    struct stat archiveFolderSt {};
    struct stat archiveSt {};
    if (::fstat(folderFd, &folderSt) != 0 || ::fstat(archiveFolderFd, &archiveFolderSt) != 0) {
        return false;
    }
    const bool sameFolder =
        folderSt.st_dev == archiveFolderSt.st_dev && folderSt.st_ino == archiveFolderSt.st_ino;
    const bool archiveExists =
        ::fstatat(archiveFolderFd, archiveName.c_str(), &archiveSt, AT_SYMLINK_NOFOLLOW) == 0;

    const int listFd = ::dup(folderFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (dir == nullptr) {
        if (listFd >= 0) {
            ::close(listFd);
        }
        return false;
    }
    // readdir tells its end from an error only by errno, which fnmatch and
    // fstatat may set for an entry passed over (a name that is not valid in
    // the locale sets EILSEQ): it is cleared before every read.
    for (;;) {
        errno = 0;
        const dirent* ent = ::readdir(dir);
        if (ent == nullptr) {
            break;
        }
        const std::string name = ent->d_name;
        if (!isAscii(name)) {
            useUtf8Names();
        }
        if (name == "." || name == ".." ||
            ::fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) != 0) {
            continue;
        }
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        const bool isArchive =
            (sameFolder && name == archiveName) ||
            (archiveExists && st.st_dev == archiveSt.st_dev && st.st_ino == archiveSt.st_ino);
        if (!isArchive) {
            names.push_back(name);
        }
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        errno = readError;
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

// Reads the user.* extended attributes, the Linux home of foreign streams.
bool addStreams(int fd, archive_entry* entry) {
    Attributes attributes;
    if (!readUserAttributes(fd, attributes)) {
        return false;
    }
    for (const auto& [name, value] : attributes) {
        archive_entry_xattr_add_entry(entry, name.c_str(), value.data(), value.size());
    }
    return true;
}

class Adder {
public:
    explicit Adder(const CommandLine& line) : line_(line) {}
    int run();

private:
    int fail(const std::string& message) {
        report(message);
        return ExitFatal;
    }
    int writeArchive(int archiveFd);
    int writeRar5(int archiveFd);
    int addFile(struct archive* out, ZstdSink& sink, const std::string& name);
    int settle(int archiveFolderFd, const std::string& archiveFolderName);
    void deleteSources();

    const CommandLine& line_;
    // Left unset (not zeroed): a small file touches only the pages it fills.
    std::unique_ptr<char[]> buffer_;
    size_t bufferSize_ = 0;
    UniqueFd sourceFolder_;
    std::string sourcePrefix_; // the wildcard's folder part, as given
    std::vector<std::string> names_;
    std::vector<Archived> archived_;
    Status status_;
};

int Adder::run() {
    // Names that are not plain ASCII need a UTF-8 locale before they are
    // matched or stored (listMatches sees to those it lists).
    if (!isAscii(line_.wildcard) || !isAscii(line_.archive)) {
        useUtf8Names();
    }
    const PathParts source = splitPath(line_.wildcard);
    const PathParts target = splitPath(line_.archive);

    sourcePrefix_ = line_.wildcard.substr(0, line_.wildcard.size() - source.name.size());
    sourceFolder_ = openFolder(source.folder);
    if (!sourceFolder_.valid()) {
        return fail("cannot open folder " + source.folder + ": " + errorText(errno));
    }
    UniqueFd archiveFolder = openFolder(target.folder);
    if (!archiveFolder.valid()) {
        return fail("cannot open folder " + target.folder + " for archive " + line_.archive + ": " +
                    errorText(errno));
    }
    if (!listMatches(sourceFolder_.get(), source.name, archiveFolder.get(), target.name, names_)) {
        return fail("cannot read folder " + source.folder + ": " + errorText(errno));
    }
    if (names_.empty()) {
        report("No files to add (nothing matches " + line_.wildcard + ")");
        return ExitWarning;
    }

    UniqueFd archiveFd;
    TemporaryFile temporary;
    for (int attempt = 0; attempt < 100 && !archiveFd.valid(); ++attempt) {
        const std::string name = temporaryName();
        archiveFd = UniqueFd(::openat(archiveFolder.get(), name.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (archiveFd.valid()) {
            temporary = TemporaryFile(archiveFolder.get(), name);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (!archiveFd.valid()) {
        return fail("cannot create archive " + line_.archive + ": " + errorText(errno));
    }

    const int written = line_.rar5 ? writeRar5(archiveFd.get()) : writeArchive(archiveFd.get());
    if (written >= ExitFatal) {
        return written; // the temporary file goes with `temporary`
    }
    status_.raise(written);

    // The archive gets the permissions any new file would get here.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(archiveFd.get(), 0666 & ~mask) != 0 || ::fsync(archiveFd.get()) != 0 ||
        !archiveFd.close()) {
        return fail("cannot write archive " + line_.archive + ": " + errorText(errno));
    }
    // Never over an archive that is already there: another machine may have
    // put one of that name into this folder while this one was written.
    if (!temporary.commitNoReplace(target.name)) {
        return fail(errno == EEXIST
                        ? line_.archive + " exists already: it is left as it is"
                        : "cannot name the new archive " + line_.archive + ": " + errorText(errno));
    }
    return settle(archiveFolder.get(), target.folder);
}

// Where the rename and the -df deletions are made durable. A file's data is
// flushed before the name that makes it count (done above), and a folder
// after the names in it change, once, not once per step.
//
// Where changes to names are made durable in the order they were made
// (platform::keepsNameOrder: a journalled ext4, xfs, btrfs, shares), the
// deletions can never reach the disk before the rename they follow: with the
// archive and the sources in one folder (as the engine runs us), one flush
// after the deletions makes the whole outcome durable. Elsewhere (FAT, fuse,
// ext4 without a journal, ...), and when the archive lies in another folder,
// which may be on another disk, the archive's folder is flushed before any
// source goes.
int Adder::settle(int archiveFolderFd, const std::string& archiveFolderName) {
    const bool oneFlush = line_.deleteSources && sameFolder(archiveFolderFd, sourceFolder_.get()) &&
                          platform::keepsNameOrder(archiveFolderFd);
    if (!oneFlush && ::fsync(archiveFolderFd) != 0) {
        return fail("cannot sync folder " + archiveFolderName + ": " + errorText(errno));
    }
    if (!line_.deleteSources) {
        return status_.code();
    }
    deleteSources();
    if (oneFlush) {
        // The sources are gone already: the archive, named, holds them; the
        // failure is still reported as the add's.
        if (::fsync(archiveFolderFd) != 0) {
            return fail("cannot sync folder " + archiveFolderName + ": " + errorText(errno));
        }
    }
    // Elsewhere the deletions reach the disk with the sources' folder's next
    // flush (the engine's, once the archive has left the folder): a power cut
    // before it can bring the sources back beside their archive, never take
    // them away without it.
    return status_.code();
}

la_ssize_t writeToSink(struct archive* a, void* client, const void* data, size_t size) {
    auto* sink = static_cast<ZstdSink*>(client);
    if (!sink->write(data, size)) {
        archive_set_error(a, sink->errorNumber() != 0 ? sink->errorNumber() : EIO, "%s",
                          sink->error().c_str());
        return -1;
    }
    return static_cast<la_ssize_t>(size);
}

int Adder::writeArchive(int archiveFd) {
    off_t total = 0;
    off_t largest = 0;
    for (const std::string& name : names_) {
        struct stat st {};
        if (::fstatat(sourceFolder_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            total += st.st_size;
            largest = std::max(largest, st.st_size);
        }
    }
    // Room for the largest file and one byte more, which shows a file that
    // grew (one that grew since this look is only read in more steps).
    bufferSize_ = size_t(std::min(off_t(kBlockSize), largest + 1));
    buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize_);
    ZstdSink sink(archiveFd);
    if (!sink.init(kZstdLevel, total >= kThreadedFrom ? kZstdWorkers : 0, uint64_t(total))) {
        return fail(sink.error());
    }
    std::unique_ptr<struct archive, ArchiveFree> out(archive_write_new());
    // No blocking: every byte goes straight to the sink, so a member ends
    // exactly where its zstd frame ends.
    if (out == nullptr || archive_write_set_format_pax(out.get()) != ARCHIVE_OK ||
        archive_write_set_bytes_per_block(out.get(), 0) != ARCHIVE_OK ||
        archive_write_open(out.get(), &sink, nullptr, writeToSink, nullptr) != ARCHIVE_OK) {
        return fail("cannot start archive " + line_.archive + ": " +
                    (out ? archive_error_string(out.get()) : "out of memory"));
    }
    for (const std::string& name : names_) {
        const int code = addFile(out.get(), sink, name);
        if (code >= ExitFatal) {
            return code;
        }
        status_.raise(code);
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK || !sink.endFrame()) {
        const std::string why =
            sink.error().empty() ? archive_error_string(out.get()) : sink.error();
        return fail("cannot write archive " + line_.archive + ": " + why);
    }
    return ExitSuccess;
}

int Adder::writeRar5(int archiveFd) {
    std::vector<StoredFile> stored;
    const int code = writeRar5Archive(
        {archiveFd, sourceFolder_.get(), names_, sourcePrefix_, line_.archive, line_.keepStreams},
        stored);
    for (const StoredFile& f : stored) {
        archived_.push_back({f.name, f.device, f.inode, f.size, f.mtime});
    }
    return code;
}

int Adder::addFile(struct archive* out, ZstdSink& sink, const std::string& name) {
    const std::string shown = sourcePrefix_ + name;
    UniqueFd fd(::openat(sourceFolder_.get(), name.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat before {};
    if (!fd.valid() || ::fstat(fd.get(), &before) != 0) {
        return fail("cannot open " + shown + ": " + errorText(errno));
    }
    if (!S_ISREG(before.st_mode)) {
        return fail(shown + " is no longer a regular file");
    }

    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), before.st_mode & 07777);
    archive_entry_set_size(entry.get(), before.st_size);
    archive_entry_set_mtime(entry.get(), before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
    archive_entry_set_uid(entry.get(), before.st_uid);
    archive_entry_set_gid(entry.get(), before.st_gid);
    if (line_.keepStreams && !addStreams(fd.get(), entry.get())) {
        return fail("cannot read the streams (extended attributes) of " + shown + ": " +
                    errorText(errno));
    }

    const int header = archive_write_header(out, entry.get());
    if (header < ARCHIVE_WARN) {
        return fail("cannot add " + shown + ": " + archive_error_string(out));
    }
    int code = ExitSuccess;
    if (header == ARCHIVE_WARN) {
        report("warning for " + shown + ": " + archive_error_string(out));
        code = ExitWarning;
    }

    off_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer_.get(), bufferSize_);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("cannot read " + shown + ": " + errorText(errno));
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (total > before.st_size) {
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const la_ssize_t put =
                archive_write_data(out, buffer_.get() + done, static_cast<size_t>(got - done));
            if (put <= 0) {
                return fail("cannot write archive " + line_.archive + ": " +
                            archive_error_string(out));
            }
            done += put;
        }
    }
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0 || total != before.st_size ||
        after.st_size != before.st_size || !sameTime(after.st_mtim, before.st_mtim)) {
        return fail(shown + " changed while it was being archived");
    }
    if (archive_write_finish_entry(out) != ARCHIVE_OK || !sink.endFrame()) {
        const std::string why = sink.error().empty() ? archive_error_string(out) : sink.error();
        return fail("cannot write archive " + line_.archive + ": " + why);
    }
    archived_.push_back({name, before.st_dev, before.st_ino, before.st_size, before.st_mtim});
    return code;
}

void Adder::deleteSources() {
    // Last added first: the name file of a pair outlives its data file.
    for (auto it = archived_.rbegin(); it != archived_.rend(); ++it) {
        struct stat st {};
        if (::fstatat(sourceFolder_.get(), it->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            report("cannot delete " + it->name + ": " + errorText(errno));
            status_.raise(ExitWarning);
        } else if (!unchangedSince(st, *it)) {
            report("not deleting " + it->name + ": it changed after it was archived");
            status_.raise(ExitWarning);
        } else if (::unlinkat(sourceFolder_.get(), it->name.c_str(), 0) != 0) {
            report("cannot delete " + it->name + ": " + errorText(errno));
            status_.raise(ExitWarning);
        }
    }
}

} // namespace

int runAdd(const CommandLine& line) {
    Adder adder(line);
    return adder.run();
}

} // namespace rar
