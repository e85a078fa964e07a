#include "config/HexText.h"

#include "config/Fatal.h"
#include "config/ProgramValues.h"

namespace config {

namespace {

int hexDigit(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    return -1;
}

// The byte of two hexadecimal digits; -1 when either is not one. Reading
// "ZZ" as 0 would put a NUL into a path and cut it short there.
int pairValue(QChar hi, QChar lo) {
    const int h = hexDigit(hi);
    const int l = hexDigit(lo);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

} // namespace

QString EncodeHexText(const QString& text) {
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size() * 4);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const int bytes[2] = {u & 0xFF, (u >> 8) & 0xFF};
        for (int b : bytes) {
            out.append(QLatin1Char(digits[b >> 4]));
            out.append(QLatin1Char(digits[b & 15]));
        }
    }
    return out;
}

std::optional<QString> TryDecodeHexText(const QString& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    QString out;
    out.reserve(hex.size() / 4 + 1);
    for (qsizetype i = 0; i < hex.size(); i += 4) {
        const int low = pairValue(hex[i], hex[i + 1]);
        const int high = i + 2 < hex.size() ? pairValue(hex[i + 2], hex[i + 3]) : 0;
        if (low < 0 || high < 0) {
            return std::nullopt;
        }
        out.append(QChar(char16_t(low | (high << 8))));
    }
    return out;
}

QString DecodeHexText(const QString& hex) {
    std::optional<QString> text = TryDecodeHexText(hex);
    if (!text) {
        fatalError(QStringLiteral("Invalid hexa string in the parameters file\r\n") +
                   program().listFilePath);
    }
    return *text;
}

} // namespace config
