#include "rar5format.hpp"

#include <climits>
#include <zlib.h>

namespace rar::rar5 {

namespace {

constexpr std::string_view kUserPrefix{"user."};
constexpr std::string_view kDosPrefix{"user.DosStream."};
constexpr std::string_view kDosSuffix{":$DATA"};
constexpr std::string_view kOwnPrefix{"velmorado.xattr."};
constexpr size_t kMaxXattrName = 255; // XATTR_NAME_MAX

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t more = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

// A name a stream can have on NTFS and an attribute on Linux.
bool usableStreamName(std::string_view name) {
    if (name.empty() || !validUtf8(name)) {
        return false;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/' || c == '\\' ||
            c == ':') {
            return false;
        }
    }
    return true;
}

bool plainByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

std::string escape(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        if (plainByte(c)) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The reverse of escape, for what escape writes and nothing else.
std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (plainByte(text[i])) {
            out += text[i];
            continue;
        }
        if (text[i] != '%' || i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        const char decoded = static_cast<char>(high * 16 + low);
        if (high < 0 || low < 0 || plainByte(decoded) || decoded == '\0') {
            return std::nullopt; // not how escape writes it
        }
        out += decoded;
        i += 2;
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

} // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
    const auto* p = static_cast<const Bytef*>(data);
    uLong value = crc;
    while (size > 0) {
        const uInt chunk = size > UINT_MAX ? UINT_MAX : static_cast<uInt>(size);
        value = ::crc32(value, p, chunk);
        p += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(value);
}

void putVint(std::string& out, uint64_t value) {
    do {
        const auto low = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
        out += static_cast<char>(value != 0 ? (low | 0x80) : low);
    } while (value != 0);
}

void putU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putU64(std::string& out, uint64_t value) {
    putU32(out, static_cast<uint32_t>(value));
    putU32(out, static_cast<uint32_t>(value >> 32));
}

void putRecord(std::string& out, uint64_t type, const std::string& data) {
    std::string typed;
    putVint(typed, type);
    typed += data;
    putVint(out, typed.size());
    out += typed;
}

std::string frameHeader(const std::string& body) {
    std::string sized;
    putVint(sized, body.size());
    sized += body;
    std::string header;
    putU32(header, crc32(sized.data(), sized.size()));
    return header + sized;
}

bool Cursor::vint(uint64_t& value) {
    value = 0;
    for (int i = 0; i < 10; ++i) {
        if (left_ == 0) {
            return fail();
        }
        const unsigned char b = *p_++;
        --left_;
        // The tenth byte holds the 64th bit alone.
        if (i == 9 && (b & 0x7E) != 0) {
            return fail();
        }
        value |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return fail();
}

bool Cursor::u32(uint32_t& value) {
    std::string_view raw;
    if (!bytes(4, raw)) {
        return false;
    }
    value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(raw[static_cast<size_t>(i)]);
    }
    return true;
}

bool Cursor::u64(uint64_t& value) {
    uint32_t low = 0;
    uint32_t high = 0;
    if (!u32(low) || !u32(high)) {
        return false;
    }
    value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool Cursor::bytes(size_t count, std::string_view& out) {
    if (count > left_) {
        return fail();
    }
    out = std::string_view(reinterpret_cast<const char*>(p_), count);
    p_ += count;
    left_ -= count;
    return true;
}

bool Cursor::skip(uint64_t count) {
    if (count > left_) {
        return fail();
    }
    p_ += count;
    left_ -= static_cast<size_t>(count);
    return true;
}

std::optional<std::string> streamNameFor(std::string_view xattrName) {
    if (!startsWith(xattrName, kUserPrefix) || xattrName.size() == kUserPrefix.size()) {
        return std::nullopt;
    }
    if (startsWith(xattrName, kDosPrefix) && endsWith(xattrName, kDosSuffix)) {
        const std::string_view name = xattrName.substr(
            kDosPrefix.size(), xattrName.size() - kDosPrefix.size() - kDosSuffix.size());
        if (usableStreamName(name) && !startsWithIgnoringCase(name, kOwnPrefix)) {
            return ':' + std::string(name);
        }
    }
    return ':' + std::string(kOwnPrefix) + escape(xattrName.substr(kUserPrefix.size()));
}

std::optional<std::string> xattrNameFor(std::string_view streamName) {
    if (startsWith(streamName, ":")) {
        streamName.remove_prefix(1);
    }
    if (endsWith(streamName, kDosSuffix)) {
        streamName.remove_suffix(kDosSuffix.size());
    }
    if (!usableStreamName(streamName)) {
        return std::nullopt;
    }
    std::string xattr;
    if (startsWith(streamName, kOwnPrefix)) {
        if (const auto decoded = unescape(streamName.substr(kOwnPrefix.size()))) {
            xattr = std::string(kUserPrefix) + *decoded;
        }
    }
    if (xattr.empty()) {
        xattr = std::string(kDosPrefix) + std::string(streamName) + std::string(kDosSuffix);
    }
    if (xattr.size() > kMaxXattrName) {
        return std::nullopt;
    }
    return xattr;
}

} // namespace rar::rar5
