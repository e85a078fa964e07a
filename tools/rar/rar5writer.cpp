#include "rar5writer.hpp"

#include "exitcode.hpp"
#include "fsutil.hpp"
#include "rar5format.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <unistd.h>
#include <utility>

namespace rar {

namespace {

using namespace rar5;

constexpr size_t kBlockSize = 256 * 1024;

// The file time record: Unix seconds and nanoseconds where they fit, else
// a FILETIME (100 ns steps from 1601).
std::string timeRecord(const timespec& mtime) {
    std::string data;
    if (mtime.tv_sec >= 0 && mtime.tv_sec <= std::numeric_limits<uint32_t>::max()) {
        putVint(data, kTimeUnix | kTimeMtime | kTimeNanoseconds);
        putU32(data, static_cast<uint32_t>(mtime.tv_sec));
        putU32(data, static_cast<uint32_t>(mtime.tv_nsec));
    } else {
        const int64_t since1601 = std::max<int64_t>(0, mtime.tv_sec + kFiletimeEpochOffset);
        putVint(data, kTimeMtime);
        putU64(data, static_cast<uint64_t>(since1601) * 10000000u +
                         static_cast<uint64_t>(mtime.tv_nsec) / 100);
    }
    std::string record;
    putRecord(record, kRecordTime, data);
    return record;
}

// A file or service header for stored data.
std::string storedHeader(uint64_t type, uint64_t flags, uint64_t size, uint32_t crc,
                         const std::string& name, const std::string& extra) {
    std::string body;
    putVint(body, type);
    putVint(body, flags | kHasExtra | kHasData);
    putVint(body, extra.size());
    putVint(body, size); // data size: stored, so the file's own size
    putVint(body, kFileCrc);
    putVint(body, size);
    putVint(body, kWindowsHiddenArchive);
    putU32(body, crc);
    putVint(body, 0); // compression information: version 0, method 0 (store)
    putVint(body, kHostWindows);
    putVint(body, name.size());
    body += name;
    body += extra;
    return frameHeader(body);
}

bool allZero(const char* data, size_t size) {
    return std::all_of(data, data + size, [](char c) { return c == 0; });
}

class Writer {
public:
    Writer(const Rar5Job& job, std::vector<StoredFile>& stored) : job_(job), stored_(stored) {}
    int run();

private:
    int fail(const std::string& message) {
        std::fprintf(stderr, "rar: %s\n", message.c_str());
        return ExitFatal;
    }
    int failWrite() {
        return fail("cannot write archive " + job_.archiveShown + ": " + errorText(errno));
    }
    bool put(const std::string& bytes) { return putAt(bytes.data(), bytes.size(), offset_); }
    bool putAt(const char* data, size_t size, off_t at);
    int addFile(const std::string& name);

    const Rar5Job& job_;
    std::vector<StoredFile>& stored_;
    // Left unset (not zeroed): a small file touches only the pages it fills.
    std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBlockSize);
    off_t offset_ = 0; // where the next byte goes
    EarlyWriteback writeback_{job_.archiveFd};
};

bool Writer::putAt(const char* data, size_t size, off_t at) {
    const bool advance = at == offset_;
    while (size > 0) {
        const ssize_t n = ::pwrite(job_.archiveFd, data, size, at);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    if (advance) {
        offset_ = at;
        writeback_.wroteUpTo(offset_);
    }
    return true;
}

int Writer::run() {
    std::string main;
    putVint(main, kMainHeader);
    putVint(main, 0); // header flags
    putVint(main, 0); // archive flags: one plain volume
    if (!put(std::string(kSignature)) || !put(frameHeader(main))) {
        return failWrite();
    }
    for (const std::string& name : job_.names) {
        const int code = addFile(name);
        if (code != ExitSuccess) {
            return code;
        }
    }
    std::string end;
    putVint(end, kEndHeader);
    putVint(end, kSkipIfUnknown);
    putVint(end, 0); // the last volume
    if (!put(frameHeader(end))) {
        return failWrite();
    }
    return ExitSuccess;
}

int Writer::addFile(const std::string& name) {
    const std::string shown = job_.shownPrefix + name;
    UniqueFd fd(::openat(job_.sourceFolder, name.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat before {};
    if (!fd.valid() || ::fstat(fd.get(), &before) != 0) {
        return fail("cannot open " + shown + ": " + errorText(errno));
    }
    if (!S_ISREG(before.st_mode)) {
        return fail(shown + " is no longer a regular file");
    }
    Attributes attributes;
    if (job_.keepStreams && !readUserAttributes(fd.get(), attributes)) {
        return fail("cannot read the streams (extended attributes) of " + shown + ": " +
                    errorText(errno));
    }

    // The header goes first with a CRC of zero and is written again, the
    // same length, once the data has been read.
    const auto size = static_cast<uint64_t>(before.st_size);
    const std::string extra = timeRecord(before.st_mtim);
    const off_t headerAt = offset_;
    const std::string draft = storedHeader(kFileHeader, 0, size, 0, name, extra);
    if (!put(draft)) {
        return failWrite();
    }
    uint32_t crc = 0;
    uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer_.get(), kBlockSize);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("cannot read " + shown + ": " + errorText(errno));
        }
        if (got == 0) {
            break;
        }
        total += static_cast<uint64_t>(got);
        if (total > size) {
            break;
        }
        const auto n = static_cast<size_t>(got);
        crc = crc32(buffer_.get(), n, crc);
        if (allZero(buffer_.get(), n)) {
            offset_ += got; // a hole in the fresh archive reads as zeros
        } else if (!putAt(buffer_.get(), n, offset_)) {
            return failWrite();
        }
    }
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0 || total != size || after.st_size != before.st_size ||
        after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
        return fail(shown + " changed while it was being archived");
    }
    const std::string header = storedHeader(kFileHeader, 0, size, crc, name, extra);
    if (header.size() != draft.size() || !putAt(header.data(), header.size(), headerAt)) {
        return failWrite();
    }

    for (const auto& [xattr, value] : attributes) {
        std::string record;
        putRecord(record, kRecordServiceData, *streamNameFor(xattr));
        if (!put(storedHeader(kServiceHeader, kChildOfFile, value.size(),
                              crc32(value.data(), value.size()), std::string(kStreamService),
                              record)) ||
            !put(value)) {
            return failWrite();
        }
    }
    stored_.push_back({name, before.st_dev, before.st_ino, before.st_size, before.st_mtim});
    return ExitSuccess;
}

} // namespace

int writeRar5Archive(const Rar5Job& job, std::vector<StoredFile>& stored) {
    Writer writer(job, stored);
    return writer.run();
}

} // namespace rar
