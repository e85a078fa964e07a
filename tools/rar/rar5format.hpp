#pragma once

// The pieces of the RAR 5 archive format that both the writer of stored
// archives and the reader of their headers use: numbers, header framing,
// the field values, and how a user.* extended attribute travels as an NTFS
// stream.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rar::rar5 {

inline constexpr std::string_view kSignature{"Rar!\x1A\x07\x01\x00", 8};

// Header types.
inline constexpr uint64_t kMainHeader = 1;
inline constexpr uint64_t kFileHeader = 2;
inline constexpr uint64_t kServiceHeader = 3;
inline constexpr uint64_t kEncryptionHeader = 4;
inline constexpr uint64_t kEndHeader = 5;

// Flags of every header.
inline constexpr uint64_t kHasExtra = 0x0001;
inline constexpr uint64_t kHasData = 0x0002;
inline constexpr uint64_t kSkipIfUnknown = 0x0004;
inline constexpr uint64_t kSplitBefore = 0x0008;
inline constexpr uint64_t kSplitAfter = 0x0010;
inline constexpr uint64_t kChildOfFile = 0x0020;

// Flags of a file or service header.
inline constexpr uint64_t kFileIsFolder = 0x0001;
inline constexpr uint64_t kFileUnixTime = 0x0002;
inline constexpr uint64_t kFileCrc = 0x0004;
inline constexpr uint64_t kFileSizeUnknown = 0x0008;

// Extra records of a file or service header.
inline constexpr uint64_t kRecordEncryption = 0x01;
inline constexpr uint64_t kRecordTime = 0x03;
inline constexpr uint64_t kRecordServiceData = 0x07;

// Flags of a file time record.
inline constexpr uint64_t kTimeUnix = 0x0001;
inline constexpr uint64_t kTimeMtime = 0x0002;
inline constexpr uint64_t kTimeCtime = 0x0004;
inline constexpr uint64_t kTimeAtime = 0x0008;
inline constexpr uint64_t kTimeNanoseconds = 0x0010;

inline constexpr uint64_t kHostWindows = 0;
// Windows attributes: hidden and archive, as our temporary files have there.
inline constexpr uint64_t kWindowsHiddenArchive = 0x22;
// Bits 7-9 of the compression information: the method, 0 when stored.
inline constexpr uint64_t methodOf(uint64_t compressionInfo) {
    return (compressionInfo >> 7) & 7;
}
// The service header of an NTFS stream.
inline constexpr std::string_view kStreamService{"STM"};

// The largest header the format allows (a header size of three vint bytes).
inline constexpr uint64_t kMaxHeaderSize = 2 << 20;
// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
inline constexpr int64_t kFiletimeEpochOffset = 11644473600;

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

void putVint(std::string& out, uint64_t value);
void putU32(std::string& out, uint32_t value);
void putU64(std::string& out, uint64_t value);
// An extra record: its size, its type, its data.
void putRecord(std::string& out, uint64_t type, const std::string& data);
// A whole header from its body (type to the end of the extra area): the
// CRC32 and the size go in front.
std::string frameHeader(const std::string& body);

// Reads little-endian numbers and vints from a byte range; any read past its
// end, or a vint longer than ten bytes or beyond 64 bits, fails and every
// later read fails too.
class Cursor {
public:
    Cursor(const unsigned char* data, size_t size) : p_(data), left_(size) {}
    Cursor(std::string_view bytes)
        : Cursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) {}

    bool vint(uint64_t& value);
    bool u32(uint32_t& value);
    bool u64(uint64_t& value);
    bool bytes(size_t count, std::string_view& out);
    bool skip(uint64_t count);
    size_t left() const { return left_; }
    bool ok() const { return ok_; }

private:
    bool fail() {
        ok_ = false;
        left_ = 0;
        return false;
    }
    const unsigned char* p_;
    size_t left_;
    bool ok_ = true;
};

// The NTFS stream (":NAME") a user.* extended attribute travels as:
// "user.DosStream.NAME:$DATA" (how Samba keeps the stream NAME) as ":NAME";
// any other as ":velmorado.xattr.ENCODED", where ENCODED is the name after
// "user." with every byte but a-z, 0-9, '.', '_' and '-' written as %XX
// (upper-case hexadecimal), so that it stays one name on a file system that
// ignores case. Nothing for an attribute outside user.*.
std::optional<std::string> streamNameFor(std::string_view xattrName);

// The extended attribute a stored stream comes back as: the reverse of
// streamNameFor, and "user.DosStream.NAME:$DATA" for any stream of a Windows
// machine. The leading colon is optional. Nothing for a name no file could
// carry: empty, holding NUL, '/', '\', ':' or a control character, not
// UTF-8, or an attribute name longer than the system takes.
std::optional<std::string> xattrNameFor(std::string_view streamName);

} // namespace rar::rar5
