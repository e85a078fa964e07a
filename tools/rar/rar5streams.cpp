#include "rar5streams.hpp"

#include "exitcode.hpp"
#include "fsutil.hpp"
#include "rar5format.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace rar {

namespace {

using namespace rar5;

// More file headers than any archive we are sent holds: a bound on memory.
constexpr size_t kMaxMembers = 1000000;

void report(const std::string& message) {
    std::fprintf(stderr, "rar: %s\n", message.c_str());
}

// Reads exactly size bytes at offset; false with errno set (EIO when the
// file is shorter than it was).
bool readAt(int fd, uint64_t offset, size_t size, std::string& out) {
    out.resize(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
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
        done += static_cast<size_t>(n);
    }
    return true;
}

// The fields of a file or service header after the common ones.
struct FileFields {
    uint64_t flags = 0;
    uint64_t unpackedSize = 0;
    bool hasCrc = false;
    uint32_t crc = 0;
    uint32_t unixMtime = 0;
    uint64_t compression = 0;
    std::string_view name;
    // From the extra area.
    bool hasTime = false;
    timespec mtime{};
    bool encrypted = false;
    bool hasServiceData = false;
    std::string_view serviceData;
};

bool readTimeRecord(Cursor c, FileFields& f) {
    uint64_t flags = 0;
    if (!c.vint(flags)) {
        return false;
    }
    if ((flags & kTimeMtime) == 0) {
        return true;
    }
    const bool unix = (flags & kTimeUnix) != 0;
    if (unix) {
        uint32_t seconds = 0;
        uint32_t ignored = 0;
        if (!c.u32(seconds)) {
            return false;
        }
        f.mtime = {static_cast<time_t>(seconds), 0};
        if ((flags & kTimeNanoseconds) != 0) {
            // ctime and atime come between the mtime and its nanoseconds.
            uint32_t nanoseconds = 0;
            if (((flags & kTimeCtime) != 0 && !c.u32(ignored)) ||
                ((flags & kTimeAtime) != 0 && !c.u32(ignored)) || !c.u32(nanoseconds)) {
                return false;
            }
            if (nanoseconds >= 1000000000u) {
                return false;
            }
            f.mtime.tv_nsec = static_cast<long>(nanoseconds);
        }
    } else {
        uint64_t filetime = 0;
        if (!c.u64(filetime)) {
            return false;
        }
        f.mtime = {
            static_cast<time_t>(static_cast<int64_t>(filetime / 10000000u) - kFiletimeEpochOffset),
            static_cast<long>(filetime % 10000000u) * 100};
    }
    f.hasTime = true;
    return true;
}

bool readFileFields(std::string_view fields, std::string_view extra, FileFields& f) {
    Cursor c(fields);
    uint64_t attributes = 0;
    uint64_t host = 0;
    uint64_t nameSize = 0;
    if (!c.vint(f.flags) || !c.vint(f.unpackedSize) || !c.vint(attributes)) {
        return false;
    }
    if ((f.flags & kFileUnixTime) != 0 && !c.u32(f.unixMtime)) {
        return false;
    }
    f.hasCrc = (f.flags & kFileCrc) != 0;
    if (f.hasCrc && !c.u32(f.crc)) {
        return false;
    }
    if (!c.vint(f.compression) || !c.vint(host) || !c.vint(nameSize) ||
        !c.bytes(static_cast<size_t>(std::min<uint64_t>(nameSize, c.left() + 1)), f.name)) {
        return false;
    }
    if ((f.flags & kFileUnixTime) != 0) {
        f.hasTime = true;
        f.mtime = {static_cast<time_t>(f.unixMtime), 0};
    }
    Cursor records(extra);
    while (records.left() > 0) {
        uint64_t size = 0;
        uint64_t type = 0;
        std::string_view record;
        if (!records.vint(size) ||
            !records.bytes(static_cast<size_t>(std::min<uint64_t>(size, records.left() + 1)),
                           record)) {
            return false;
        }
        Cursor r(record);
        if (!r.vint(type)) {
            return false;
        }
        std::string_view data;
        r.bytes(r.left(), data);
        if (type == kRecordEncryption) {
            f.encrypted = true;
        } else if (type == kRecordTime && !readTimeRecord(Cursor(data), f)) {
            return false;
        } else if (type == kRecordServiceData) {
            f.hasServiceData = true;
            f.serviceData = data;
        }
    }
    return true;
}

// Why a stream's data cannot become an attribute, or "" when it can.
std::string refusal(const FileFields& f, uint64_t dataSize, uint64_t headerFlags,
                    std::string& xattr) {
    if (!f.hasServiceData) {
        return "it has no name";
    }
    const auto name = xattrNameFor(f.serviceData);
    if (!name) {
        return "its name cannot be an attribute name here";
    }
    xattr = *name;
    if (f.encrypted) {
        return "it is encrypted";
    }
    if (methodOf(f.compression) != 0) {
        return "it is compressed, and only stored streams can be restored here";
    }
    if ((headerFlags & (kSplitBefore | kSplitAfter)) != 0 || (f.flags & kFileSizeUnknown) != 0 ||
        f.unpackedSize != dataSize) {
        return "its stored size and its size do not agree";
    }
    if (dataSize > kMaxStreamSize) {
        return "it is larger than an extended attribute can be (64 KiB)";
    }
    return {};
}

class HeaderReader {
public:
    explicit HeaderReader(int fd) : fd_(fd) {}
    Rar5Headers run();

private:
    Rar5Headers& damaged(const std::string& why) {
        result_.status = Rar5Headers::Status::Damaged;
        result_.error = why + " at byte " + std::to_string(position_);
        return result_;
    }
    Rar5Headers& unreadable() {
        result_.status = Rar5Headers::Status::Unreadable;
        result_.error = errorText(errno);
        return result_;
    }
    // One header; false when reading ends (result_ says why).
    bool next(bool& ended);

    int fd_;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    Rar5Headers result_;
};

Rar5Headers HeaderReader::run() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return unreadable();
    }
    size_ = static_cast<uint64_t>(st.st_size);
    std::string start;
    if (size_ < kSignature.size()) {
        return result_;
    }
    if (!readAt(fd_, 0, kSignature.size(), start)) {
        return unreadable();
    }
    if (start != kSignature) {
        return result_;
    }
    result_.status = Rar5Headers::Status::Read;
    position_ = kSignature.size();
    bool ended = false;
    while (!ended && position_ < size_) {
        if (!next(ended)) {
            break;
        }
    }
    return result_;
}

bool HeaderReader::next(bool& ended) {
    // CRC32 and a header size of at most ten vint bytes.
    std::string head;
    if (!readAt(fd_, position_, static_cast<size_t>(std::min<uint64_t>(14, size_ - position_)),
                head)) {
        unreadable();
        return false;
    }
    Cursor c(head);
    uint32_t crc = 0;
    uint64_t headerSize = 0;
    if (!c.u32(crc) || !c.vint(headerSize)) {
        damaged("a header cut short");
        return false;
    }
    if (headerSize == 0 || headerSize > kMaxHeaderSize) {
        damaged("a header of an impossible size");
        return false;
    }
    const uint64_t sizeField = head.size() - c.left() - 4;
    const uint64_t headerEnd = position_ + 4 + sizeField + headerSize;
    if (headerEnd > size_) {
        damaged("a header cut short");
        return false;
    }
    std::string sized;
    if (!readAt(fd_, position_ + 4, static_cast<size_t>(sizeField + headerSize), sized)) {
        unreadable();
        return false;
    }
    if (crc32(sized.data(), sized.size()) != crc) {
        damaged("a header that fails its CRC");
        return false;
    }
    const std::string_view body = std::string_view(sized).substr(sizeField);
    Cursor b(body);
    uint64_t type = 0;
    uint64_t flags = 0;
    uint64_t extraSize = 0;
    uint64_t dataSize = 0;
    if (!b.vint(type) || !b.vint(flags) || ((flags & kHasExtra) != 0 && !b.vint(extraSize)) ||
        ((flags & kHasData) != 0 && !b.vint(dataSize))) {
        damaged("a header cut short");
        return false;
    }
    if (extraSize > b.left()) {
        damaged("an extra area larger than its header");
        return false;
    }
    if (dataSize > size_ - headerEnd) {
        damaged("data that runs past the end of the archive");
        return false;
    }
    const size_t fieldsSize = b.left() - static_cast<size_t>(extraSize);
    std::string_view fields;
    std::string_view extra;
    b.bytes(fieldsSize, fields);
    b.bytes(b.left(), extra);

    if (type == kEncryptionHeader) {
        result_.status = Rar5Headers::Status::Unsupported;
        result_.error = "its headers are encrypted";
        return false;
    }
    if (type == kFileHeader || type == kServiceHeader) {
        FileFields f;
        if (!readFileFields(fields, extra, f)) {
            damaged("a file header that does not hold together");
            return false;
        }
        if (type == kFileHeader) {
            if (result_.members.size() >= kMaxMembers) {
                damaged("more files than an archive here may hold");
                return false;
            }
            Rar5Member member;
            member.name = std::string(f.name);
            member.hasMtime = f.hasTime;
            member.mtime = f.mtime;
            result_.members.push_back(std::move(member));
        } else if (f.name == kStreamService) {
            if (result_.members.empty()) {
                ++result_.orphanStreams;
            } else if (Rar5Member& owner = result_.members.back();
                       owner.streams.size() >= kMaxStreams) {
                ++owner.streamsOverLimit;
            } else {
                Rar5Stream stream;
                stream.storedName = std::string(f.hasServiceData ? f.serviceData : "");
                stream.refused = refusal(f, dataSize, flags, stream.xattr);
                stream.offset = headerEnd;
                stream.size = dataSize;
                stream.hasCrc = f.hasCrc;
                stream.crc = f.crc;
                owner.streams.push_back(std::move(stream));
            }
        }
    }
    ended = type == kEndHeader;
    position_ = headerEnd + dataSize;
    return true;
}

// Sets an attribute, lending the owner write permission for a moment when
// the file is read-only (its mode came from the archive).
bool setAttribute(int fd, const std::string& name, const std::string& value) {
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0) {
        return true;
    }
    struct stat st {};
    if (errno != EACCES || ::fstat(fd, &st) != 0 || (st.st_mode & S_IWUSR) != 0 ||
        ::fchmod(fd, (st.st_mode & 07777) | S_IWUSR) != 0) {
        return false;
    }
    const bool set = ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0;
    const int err = errno;
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        return false;
    }
    errno = err;
    return set;
}

// A disk that fails us. ENOSPC, EDQUOT and E2BIG from an attribute mean no
// room for attributes on this file, which one stream too many reaches: that
// stream is named, the file still delivered.
bool diskFailing(int err) {
    return err == EIO;
}

} // namespace

Rar5Headers readRar5Headers(int fd) {
    HeaderReader reader(fd);
    return reader.run();
}

std::string printableName(const std::string& name) {
    std::string shown = name;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

int restoreRar5Streams(int archiveFd, const Rar5Member& member, int fileFd,
                       const std::string& shown) {
    int code = ExitSuccess;
    std::string data;
    for (const Rar5Stream& stream : member.streams) {
        const std::string what = "stream '" + printableName(stream.storedName) + "' of " + shown;
        if (!stream.refused.empty()) {
            report("warning: " + what + " not restored: " + stream.refused);
            code = ExitWarning;
            continue;
        }
        if (!readAt(archiveFd, stream.offset, static_cast<size_t>(stream.size), data)) {
            report("cannot read " + what + ": " + errorText(errno));
            return ExitFatal;
        }
        if (stream.hasCrc && crc32(data.data(), data.size()) != stream.crc) {
            report("damaged archive: " + what + " fails its CRC");
            return ExitCrc;
        }
        if (!setAttribute(fileFd, stream.xattr, data)) {
            const int err = errno;
            report((diskFailing(err) ? "cannot write " : "warning: not restored: ") + what +
                   " as attribute " + printableName(stream.xattr) + ": " + errorText(err));
            if (diskFailing(err)) {
                return ExitFatal;
            }
            code = ExitWarning;
        }
    }
    if (member.streamsOverLimit > 0) {
        report("warning: " + std::to_string(member.streamsOverLimit) + " more streams of " + shown +
               " not restored: a file keeps at most " + std::to_string(kMaxStreams));
        code = ExitWarning;
    }
    if (member.hasMtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, member.mtime};
        if (::futimens(fileFd, times) != 0) {
            report("warning: cannot set the time of " + shown + ": " + errorText(errno));
            code = ExitWarning;
        }
    }
    return code;
}

} // namespace rar
