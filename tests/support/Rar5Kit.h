#pragma once

// RAR 5 archives built by hand in tests, from the format's published facts
// and independently of the bundled archiver's writer: stored files and their
// "STM" streams, sound or damaged on purpose.

#include <QByteArray>
#include <QList>

#include <zlib.h>

namespace rar5kit {

inline quint32 crcOf(const QByteArray& data) {
    return quint32(::crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

inline QByteArray vint(quint64 v) {
    QByteArray out;
    do {
        const char low = char(v & 0x7F);
        v >>= 7;
        out += v != 0 ? char(low | 0x80) : low;
    } while (v != 0);
    return out;
}
inline QByteArray u32(quint32 v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i) {
        out += char(v >> (8 * i));
    }
    return out;
}
inline QByteArray header(const QByteArray& body) {
    const QByteArray sized = vint(quint64(body.size())) + body;
    return u32(crcOf(sized)) + sized;
}
inline QByteArray record(int type, const QByteArray& data) {
    const QByteArray typed = vint(quint64(type)) + data;
    return vint(quint64(typed.size())) + typed;
}
struct Block {
    int type = 2; // 2 file, 3 service
    QByteArray name;
    QByteArray data;
    int method = 0;
    QByteArray extra = {};
    qint64 unpacked = -1; // -1: the data's size
};
inline QByteArray block(const Block& b) {
    const int flags = 0x01 | 0x02 | (b.type == 3 ? 0x20 : 0);
    const QByteArray body = vint(quint64(b.type)) + vint(quint64(flags)) +
                            vint(quint64(b.extra.size())) + vint(quint64(b.data.size())) +
                            vint(0x04) +
                            vint(quint64(b.unpacked < 0 ? b.data.size() : b.unpacked)) +
                            vint(0x20) + u32(crcOf(b.data)) + vint(quint64(b.method) << 7) +
                            vint(0) + vint(quint64(b.name.size())) + b.name + b.extra;
    return header(body) + b.data;
}
// A stream of the file before it: an "STM" service header with its name.
inline Block stream(const QByteArray& name, const QByteArray& data, int method = 0) {
    return {3, "STM", data, method, record(7, name)};
}
inline QByteArray rar5Archive(const QList<Block>& blocks) {
    QByteArray out = QByteArray("Rar!\x1A\x07\x01\x00", 8) + header(vint(1) + vint(0) + vint(0));
    for (const Block& b : blocks) {
        out += block(b);
    }
    return out + header(vint(5) + vint(0) + vint(0));
}

} // namespace rar5kit
