#include "engine/NumberedName.h"

#include "platform/FileOps.h"

#include <QDir>
#include <QSet>
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

std::optional<qint32> NumberedName::numberHeld(const QString& name) const {
    const qsizetype baseSize = m_prefix.size() + 6;
    if (m_prefix.isEmpty() || name.size() < baseSize + 3 ||
        name.left(m_prefix.size()).compare(m_prefix, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QString digits = name.mid(m_prefix.size(), 6);
    const QString ext = name.mid(baseSize);
    if (!isAsciiDigits(digits) || !ext.startsWith(QLatin1String(".r"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    // One character for the archiver is one code point, or one byte of a
    // name that is no valid text (read here as a replacement character).
    const QString rest = ext.mid(2);
    const bool oneCharacter = rest.toUcs4().size() == 1 ||
                              (!rest.isEmpty() && rest.contains(QChar::ReplacementCharacter));
    if (!oneCharacter && rest.compare(QLatin1String("ar"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    return digits.toInt();
}

bool NumberedName::archiveInTarget(qint32 number, const QString& target) const {
    // A folder on this system tells case apart, another machine's view of it
    // may not: the usual cases of prefix and extension count.
    const QString digits = QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
    QStringList prefixes{m_prefix, m_prefix.toUpper(), m_prefix.toLower()};
    prefixes.removeDuplicates();
    for (const QString& p : prefixes) {
        for (const char* ext : {".rar", ".RAR"}) {
            if (platform::exists(target + p + digits + QLatin1String(ext))) {
                return true;
            }
        }
    }
    return false;
}

qint32 NumberedName::freeNumber(qint32 wanted, const QString& source, const QString& target) const {
    // The source folder is read once: every case of every name counts there.
    QSet<qint32> held;
    const QStringList names = QDir(source).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (const std::optional<qint32> number = numberHeld(name)) {
            held.insert(*number);
        }
    }
    qint32 number = wanted < 0 || wanted > kLastNumber ? 0 : wanted;
    for (qint32 tries = 0; tries <= kLastNumber; ++tries) {
        if (!held.contains(number) && !archiveInTarget(number, target)) {
            return number;
        }
        number = next(number);
    }
    return -1;
}

} // namespace engine
