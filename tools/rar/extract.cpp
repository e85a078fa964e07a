// rar e: extracts the regular files of an archive into the current folder.
//
// Stored paths are dropped: only the last component of a name is used, and
// anything but a regular file is skipped. Each file is written under a
// temporary name, synced, and renamed over its final name only once the
// archive has been read past it, which for our own archives means its zstd
// frame checksum has been verified.

#include "commands.hpp"
#include "exitcode.hpp"
#include "fsutil.hpp"
#include "rar5streams.hpp"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace rar {

namespace {

constexpr size_t kReadBlock = 64 * 1024;
constexpr int kDiskFlags = ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_XATTR |
                           ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                           ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS |
                           ARCHIVE_EXTRACT_NO_OVERWRITE; // only ever creates fresh temporaries

void report(const std::string& message) {
    std::fprintf(stderr, "rar: %s\n", message.c_str());
}

struct ReaderFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
struct WriterFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

std::string errorOf(struct archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "unknown error";
}

// Damaged data shows as libarchive's format or generic errors; anything
// else (EIO, ENOMEM, ...) is the system failing us.
int readFailureCode(struct archive* a) {
    const int err = archive_errno(a);
    return (err == 0 || err == -1 || err == EILSEQ || err == EINVAL) ? ExitCrc : ExitFatal;
}

// A write that failed for want of room or of a working disk.
bool diskFull(int err) {
    return err == ENOSPC || err == EDQUOT || err == EIO || err == EFBIG;
}

// Why an entry is not written, or nullptr if it is a regular file we take.
const char* skipReason(archive_entry* entry, const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return "it has no usable file name";
    }
    if (archive_entry_hardlink(entry) != nullptr) {
        return "it is a hard link";
    }
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        break;
    case AE_IFLNK:
        return "it is a symbolic link";
    case AE_IFDIR:
        return "it is a folder";
    default:
        return "it is not a regular file";
    }
    if (archive_entry_is_data_encrypted(entry) > 0) {
        return "it is encrypted";
    }
    return nullptr;
}

// The copy written to disk: temporary name, no special mode bits, and only
// the user.* attributes (never security.* or trusted.* from an archive).
std::unique_ptr<archive_entry, EntryFree> diskEntry(archive_entry* entry,
                                                    const std::string& temporaryName) {
    std::unique_ptr<archive_entry, EntryFree> copy(archive_entry_clone(entry));
    archive_entry_copy_pathname(copy.get(), temporaryName.c_str());
    archive_entry_set_perm(copy.get(), archive_entry_perm(entry) & 0777);

    std::vector<std::pair<std::string, std::vector<char>>> kept;
    archive_entry_xattr_reset(copy.get());
    const char* name = nullptr;
    const void* value = nullptr;
    size_t size = 0;
    while (archive_entry_xattr_next(copy.get(), &name, &value, &size) == ARCHIVE_OK) {
        if (name != nullptr && std::string(name).rfind("user.", 0) == 0) {
            const char* bytes = static_cast<const char*>(value);
            kept.emplace_back(name, std::vector<char>(bytes, bytes + size));
        }
    }
    archive_entry_xattr_clear(copy.get());
    for (const auto& [key, data] : kept) {
        archive_entry_xattr_add_entry(copy.get(), key.c_str(), data.data(), data.size());
    }
    return copy;
}

class Extractor {
public:
    explicit Extractor(const CommandLine& line) : line_(line) {}
    int run();

private:
    int fail(const std::string& message, int code = ExitFatal) {
        report(message);
        return code;
    }
    int extractEntry(archive_entry* entry, const std::string& name,
                     const Rar5Member* member = nullptr);
    const Rar5Member* rar5Member(const std::string& stored);
    int copyData(const std::string& name, EarlyWriteback& writeback);
    int commitPending();

    const CommandLine& line_;
    std::unique_ptr<struct archive, ReaderFree> in_;
    std::unique_ptr<struct archive, WriterFree> disk_;
    UniqueFd here_;
    // The last file written, waiting for the archive to be read past it.
    TemporaryFile pending_;
    std::string pendingName_;
    Status status_;
    // A RAR 5 archive's headers: its streams, in file header order.
    int archiveFd_ = -1;
    Rar5Headers rar5_;
    size_t rar5Next_ = 0;
};

int Extractor::run() {
    UniqueFd archiveFd(::open(line_.archive.c_str(), O_RDONLY | O_CLOEXEC));
    if (!archiveFd.valid()) {
        return fail("cannot open archive " + line_.archive + ": " + errorText(errno));
    }
    struct stat st {};
    if (::fstat(archiveFd.get(), &st) != 0) {
        return fail("cannot read archive " + line_.archive + ": " + errorText(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return fail("cannot read archive " + line_.archive + ": " + errorText(EISDIR));
    }
    archiveFd_ = archiveFd.get();
    rar5_ = readRar5Headers(archiveFd_);
    if (rar5_.status == Rar5Headers::Status::Damaged) {
        return fail("damaged archive " + line_.archive + ": " + rar5_.error, ExitCrc);
    }
    if (rar5_.status == Rar5Headers::Status::Unreadable) {
        return fail("cannot read archive " + line_.archive + ": " + rar5_.error);
    }
    here_ = openFolder(".");
    if (!here_.valid()) {
        return fail("cannot open the current folder: " + errorText(errno));
    }

    in_.reset(archive_read_new());
    disk_.reset(archive_write_disk_new());
    if (!in_ || !disk_) {
        return fail("out of memory");
    }
    // Our own archives (pax, zstd) and genuine RAR 4 and RAR 5 ones: what a
    // numbered archive can be. Nothing else is read, so nothing else is linked.
    archive_read_support_format_tar(in_.get());
    archive_read_support_format_rar(in_.get());
    archive_read_support_format_rar5(in_.get());
    archive_read_support_filter_zstd(in_.get());
    archive_write_disk_set_options(disk_.get(), kDiskFlags);
    if (archive_read_open_fd(in_.get(), archiveFd.get(), kReadBlock) != ARCHIVE_OK) {
        // Opening already decompresses the start; a failure there that is
        // not "unrecognised format" nor a system error is damaged data.
        if (archive_errno(in_.get()) == -1) {
            return fail("damaged archive " + line_.archive + ": " + errorOf(in_.get()), ExitCrc);
        }
        return fail("cannot read archive " + line_.archive + ": " + errorOf(in_.get()));
    }

    bool anyEntry = false;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in_.get(), &entry);
        if (r == ARCHIVE_EOF) {
            break;
        }
        if (r < ARCHIVE_WARN) {
            // The file before this header may be the damaged one: drop it.
            pending_.remove();
            if (!anyEntry && archive_format(in_.get()) == 0) {
                return fail(line_.archive + " is not an archive: " + errorOf(in_.get()));
            }
            return fail("damaged archive " + line_.archive + ": " + errorOf(in_.get()),
                        readFailureCode(in_.get()));
        }
        // An mtree "archive" is a list of files to copy from this machine
        // (contents=/any/path); reading one would leak local files.
        if ((archive_format(in_.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_MTREE) {
            return fail(line_.archive + " is not an archive but an mtree file list");
        }
        const int committed = commitPending();
        if (committed != ExitSuccess) {
            return committed;
        }
        anyEntry = true;
        const char* storedName = archive_entry_pathname(entry);
        const std::string stored = storedName != nullptr ? storedName : "";
        if (r == ARCHIVE_WARN) {
            report("warning for " + stored + ": " + errorOf(in_.get()));
            status_.raise(ExitWarning);
        }
        const int code = extractEntry(entry, lastComponent(stored), rar5Member(stored));
        if (code >= ExitFatal) {
            return code;
        }
        status_.raise(code);
    }
    const int committed = commitPending();
    if (committed != ExitSuccess) {
        return committed;
    }
    // The folder's names are not flushed: an extraction deletes nothing, so
    // a power cut can at most undo it, with the archive still there; each
    // file's data was flushed before its name, so no name ever stands for
    // less than the whole file. Whoever moves a file on from here (the engine,
    // into its target) flushes that file's new folder.
    if (rar5_.orphanStreams > 0) {
        report("warning: " + std::to_string(rar5_.orphanStreams) +
               " streams with no file before them not restored");
        status_.raise(ExitWarning);
    }
    if (!anyEntry) {
        report("No files to extract in " + line_.archive);
        status_.raise(ExitWarning);
    }
    return status_.code();
}

// The file header of a RAR 5 archive that libarchive's entry stands for:
// libarchive gives one entry per file header, in order, and none for the
// service headers.
const Rar5Member* Extractor::rar5Member(const std::string& stored) {
    if ((archive_format(in_.get()) & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_RAR_V5) {
        return nullptr;
    }
    if (rar5_.status != Rar5Headers::Status::Read) {
        if (rar5Next_++ == 0) {
            report("warning: the streams of " + line_.archive + " are not restored: " +
                   (rar5_.error.empty() ? "its headers cannot be read here" : rar5_.error));
            status_.raise(ExitWarning);
        }
        return nullptr;
    }
    if (rar5Next_ >= rar5_.members.size()) {
        return nullptr;
    }
    const Rar5Member& member = rar5_.members[rar5Next_++];
    if (member.name != stored) {
        report("warning: the streams of " + printableName(stored) +
               " are not restored: its header was not found");
        status_.raise(ExitWarning);
        return nullptr;
    }
    return &member;
}

int Extractor::commitPending() {
    if (!pending_.active()) {
        return ExitSuccess;
    }
    if (!pending_.commitAs(pendingName_)) {
        const int err = errno;
        pending_.remove();
        return fail("cannot replace " + pendingName_ + ": " + errorText(err));
    }
    return ExitSuccess;
}

int Extractor::extractEntry(archive_entry* entry, const std::string& name,
                            const Rar5Member* member) {
    const char* stored = archive_entry_pathname(entry);
    const std::string shown = stored != nullptr ? stored : "";
    if (const char* reason = skipReason(entry, name)) {
        report("skipping '" + shown + "': " + reason);
        if (archive_read_data_skip(in_.get()) < ARCHIVE_WARN) {
            return fail("damaged archive " + line_.archive + ": " + errorOf(in_.get()),
                        readFailureCode(in_.get()));
        }
        return ExitWarning;
    }

    int code = ExitSuccess;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
        const std::string candidate = temporaryName();
        const auto copy = diskEntry(entry, candidate);
        const int r = archive_write_header(disk_.get(), copy.get());
        if (r >= ARCHIVE_WARN) {
            temporary = candidate;
            if (r == ARCHIVE_WARN) {
                report("warning for " + name + ": " + errorOf(disk_.get()));
                code = ExitWarning;
            }
        } else if (archive_errno(disk_.get()) != EEXIST) {
            return fail("cannot create " + name + ": " + errorOf(disk_.get()));
        }
    }
    if (temporary.empty()) {
        return fail("cannot create a temporary file for " + name);
    }
    TemporaryFile file(here_.get(), temporary);
    // Ours, beside libarchive's: to write the file back early, restore its
    // streams and flush it.
    UniqueFd written(::openat(here_.get(), temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));

    EarlyWriteback writeback(written.get());
    const int copied = copyData(name, writeback);
    // Closes the file and sets times, mode and attributes.
    const int finished = archive_write_finish_entry(disk_.get());
    if (copied != ExitSuccess) {
        return copied; // `file` removes the partial copy
    }
    if (finished < ARCHIVE_WARN) {
        return fail("cannot write " + name + ": " + errorOf(disk_.get()));
    }
    if (finished == ARCHIVE_WARN && diskFull(archive_errno(disk_.get()))) {
        // No room left for the file's times or attributes: not a whole file.
        return fail("cannot write " + name + ": " + errorOf(disk_.get()));
    }
    if (finished == ARCHIVE_WARN) {
        report("warning for " + name + ": " + errorOf(disk_.get()));
        code = ExitWarning;
    }

    if (member != nullptr) {
        if (!written.valid()) {
            return fail("cannot open " + name + " to restore its streams: " + errorText(errno));
        }
        const int restored = restoreRar5Streams(archiveFd_, *member, written.get(), name);
        if (restored >= ExitFatal) {
            return restored;
        }
        code = std::max(code, restored);
    }
    // A file the caller only reads and throws away (-ns) need not outlive a
    // power cut: its name may then stand for less, in a folder the caller
    // removes unread.
    const bool unflushed = !line_.unflushed.empty() &&
                           ::fnmatch(line_.unflushed.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
    const bool synced =
        unflushed || (written.valid() ? ::fsync(written.get()) == 0 : ::syncfs(here_.get()) == 0);
    if (!synced) {
        return fail("cannot write " + name + ": " + errorText(errno));
    }
    pending_ = std::move(file);
    pendingName_ = name;
    return code;
}

int Extractor::copyData(const std::string& name, EarlyWriteback& writeback) {
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(in_.get(), &block, &size, &offset);
        if (r == ARCHIVE_EOF) {
            return ExitSuccess;
        }
        if (r < ARCHIVE_WARN) {
            return fail("cannot extract " + name + " from " + line_.archive + ": " +
                            errorOf(in_.get()),
                        readFailureCode(in_.get()));
        }
        // libarchive reports a failed write (ENOSPC, EDQUOT, EIO, a short
        // write) only as a warning, and would then pad the file to its stored
        // size with zeros when the entry is closed: anything but a clean
        // write fails the extraction.
        if (archive_write_data_block(disk_.get(), block, size, offset) != ARCHIVE_OK) {
            return fail("cannot write " + name + ": " + errorOf(disk_.get()));
        }
        writeback.wroteUpTo(static_cast<off_t>(offset) + static_cast<off_t>(size));
    }
}

} // namespace

int runExtract(const CommandLine& line) {
    Extractor extractor(line);
    return extractor.run();
}

} // namespace rar
