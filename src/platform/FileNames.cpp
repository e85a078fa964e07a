#include "platform/FileNames.h"

namespace platform {

namespace {

constexpr char32_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// The code point of the valid UTF-8 sequence at p (of n bytes left) and its
// length; 0 when it is not one (overlong forms, surrogates and code points
// above U+10FFFF are not).
int utf8Sequence(const unsigned char* p, qsizetype n, char32_t& cp) {
    const unsigned char b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(p[i])) {
            return 0;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    return length;
}

// Writes cp as UTF-8 at out; the byte after it.
char* putUtf8(char* out, char32_t cp) {
    if (cp < 0x80) {
        *out++ = char(cp);
    } else if (cp < 0x800) {
        *out++ = char(0xC0 | (cp >> 6));
        *out++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = char(0xE0 | (cp >> 12));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    } else {
        *out++ = char(0xF0 | (cp >> 18));
        *out++ = char(0x80 | ((cp >> 12) & 0x3F));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    }
    return out;
}

// Random characters of a temporary name (six of them for mkstemp's): ASCII
// letters and digits.
bool isRandomTail(QStringView tail, qsizetype size = 6) {
    if (tail.size() != size) {
        return false;
    }
    for (const QChar c : tail) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z'))) {
            return false;
        }
    }
    return true;
}

} // namespace

// Both conversions run on every path the program touches (a pass over idle
// pairs, every name of a folder it lists): they write into a buffer sized
// for the longest result, not a character at a time.
QByteArray encodePath(const QString& path) {
    const qsizetype n = path.size();
    QByteArray out(3 * n, Qt::Uninitialized); // a UTF-16 unit never takes more than 3 bytes
    char* o = out.data();
    const char16_t* in = reinterpret_cast<const char16_t*>(path.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i];
        if (u < 0x80) {
            *o++ = char(u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            o = putUtf8(o, QChar::surrogateToUcs4(u, in[i + 1]));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            *o++ = char(u - kEscapeBase); // an escaped byte
        } else if (QChar::isSurrogate(u)) {
            o = putUtf8(o, 0xFFFD);
        } else {
            o = putUtf8(o, u);
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QString decodePath(const QByteArray& bytes) {
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized); // never more UTF-16 units than bytes
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            *o++ = p[i++];
            continue;
        }
        char32_t cp = 0;
        const int length = utf8Sequence(p + i, n - i, cp);
        if (length == 0) {
            *o++ = char16_t(kEscapeBase + p[i]); // always 0x80 or above
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(cp)) {
            *o++ = QChar::highSurrogate(cp);
            *o++ = QChar::lowSurrogate(cp);
        } else {
            *o++ = char16_t(cp);
        }
        i += length;
    }
    out.truncate(o - reinterpret_cast<const char16_t*>(out.constData()));
    return out;
}

bool isEncodable(const QString& text) {
    return decodePath(encodePath(text)) == text;
}

QString moveTemporaryTemplate() {
    return kMoveTemporaryPrefix + QStringLiteral("XXXXXX");
}

QString writeTemporaryTemplate(const QString& fileName) {
    return QLatin1Char('.') + fileName + QStringLiteral(".XXXXXX");
}

bool isMoveTemporary(const QString& name) {
    return name.startsWith(kMoveTemporaryPrefix) &&
           isRandomTail(QStringView(name).mid(kMoveTemporaryPrefix.size()));
}

bool isExtractionFolder(const QString& name) {
    return name.size() > kExtractionFolderPrefix.size() && name.startsWith(kExtractionFolderPrefix);
}

bool isArchiverTemporary(const QString& name) {
    return name.startsWith(kArchiverTemporaryPrefix) && name.endsWith(kArchiverTemporarySuffix) &&
           isRandomTail(QStringView(name)
                            .sliced(kArchiverTemporaryPrefix.size())
                            .chopped(kArchiverTemporarySuffix.size()),
                        12);
}

bool isWriteTemporary(const QString& name, QString* base) {
    // "." + at least one character + "." + six
    if (name.size() < 9 || !name.startsWith(QLatin1Char('.')) ||
        name[name.size() - 7] != QLatin1Char('.') || !isRandomTail(QStringView(name).last(6))) {
        return false;
    }
    if (base) {
        *base = name.mid(1, name.size() - 8);
    }
    return true;
}

bool isOwnTemporary(const QString& name, const std::function<bool(const QString&)>& ownsWrites) {
    QString base;
    return isMoveTemporary(name) || isArchiverTemporary(name) ||
           (isWriteTemporary(name, &base) && ownsWrites(base));
}

} // namespace platform
