#include "engine/NumberedName.h"

#include "platform/FileOps.h"

#include <QStringList>

namespace engine {

namespace {

bool isAsciiDigits(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return !text.isEmpty();
}

} // namespace

QString NumberedName::base(qint32 number) const {
    return m_prefix + QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
}

std::optional<NumberedName::Parsed> NumberedName::parse(const QString& name) const {
    const qsizetype prefixSize = m_prefix.size();
    const qsizetype baseSize = prefixSize + 6;
    if (prefixSize == 0 || name.size() < baseSize + 3 ||
        name.left(prefixSize).compare(m_prefix, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QString digits = name.mid(prefixSize, 6);
    if (!isAsciiDigits(digits)) {
        return std::nullopt;
    }
    const QString ext = name.mid(baseSize).toLower();
    Kind kind;
    if (ext == QLatin1String(".rar")) {
        kind = Kind::Archive;
    } else if (ext == QLatin1String(".rr")) {
        kind = Kind::DataFile;
    } else if (ext == QLatin1String(".rn")) {
        kind = Kind::NameFile;
    } else {
        return std::nullopt;
    }
    return Parsed{kind, digits.toInt(), name.left(baseSize)};
}

bool NumberedName::isArchive(const QString& name) const {
    const std::optional<Parsed> p = parse(name);
    return p && p->kind == Kind::Archive;
}

bool NumberedName::isTemporary(const QString& name, QString* base) const {
    const std::optional<Parsed> p = parse(name);
    if (!p || p->kind == Kind::Archive) {
        return false;
    }
    if (base) {
        *base = p->base;
    }
    return true;
}

qint32 NumberedName::next(qint32 last) {
    return last >= kLastNumber || last < 0 ? 0 : last + 1;
}

bool NumberedName::taken(qint32 number, const QString& source, const QString& target) const {
    // A folder on this system tells case apart, another machine's view of it
    // may not: every case of prefix and extension counts.
    const QString digits = QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
    QStringList prefixes{m_prefix, m_prefix.toUpper(), m_prefix.toLower()};
    prefixes.removeDuplicates();
    for (const QString& p : prefixes) {
        for (const char* ext : {".rar", ".RAR"}) {
            const QString archive = p + digits + QLatin1String(ext);
            if (platform::exists(target + archive) || platform::exists(source + archive)) {
                return true;
            }
        }
        for (const char* ext : {".rr", ".RR", ".rn", ".RN"}) {
            if (platform::exists(source + p + digits + QLatin1String(ext))) {
                return true;
            }
        }
    }
    return false;
}

qint32 NumberedName::freeNumber(qint32 wanted, const QString& source, const QString& target) const {
    qint32 number = wanted < 0 || wanted > kLastNumber ? 0 : wanted;
    for (qint32 tries = 0; tries <= kLastNumber; ++tries) {
        if (!taken(number, source, target)) {
            return number;
        }
        number = next(number);
    }
    return -1;
}

} // namespace engine
