#include "engine/NumberedName.h"

#include "platform/FileOps.h"

#include <QDir>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace engine {

namespace {

bool isAsciiDigits(QStringView text) {
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

// Both readings below run on every name of a folder for every file packed:
// they look at the name through views and make no copy of it.
std::optional<NumberedName::Parsed> NumberedName::parse(const QString& name) const {
    const qsizetype prefixSize = m_prefix.size();
    const qsizetype baseSize = prefixSize + 6;
    const QStringView view(name);
    if (prefixSize == 0 || name.size() < baseSize + 3 ||
        view.left(prefixSize).compare(m_prefix, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QStringView digits = view.mid(prefixSize, 6);
    if (!isAsciiDigits(digits)) {
        return std::nullopt;
    }
    const QStringView ext = view.mid(baseSize);
    Kind kind;
    if (ext.compare(QLatin1String(".rar"), Qt::CaseInsensitive) == 0) {
        kind = Kind::Archive;
    } else if (ext.compare(QLatin1String(".rr"), Qt::CaseInsensitive) == 0) {
        kind = Kind::DataFile;
    } else if (ext.compare(QLatin1String(".rn"), Qt::CaseInsensitive) == 0) {
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
    const QStringView view(name);
    if (m_prefix.isEmpty() || name.size() < baseSize + 3 ||
        view.left(m_prefix.size()).compare(m_prefix, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QStringView digits = view.mid(m_prefix.size(), 6);
    const QStringView ext = view.mid(baseSize);
    if (!isAsciiDigits(digits) || !ext.startsWith(QLatin1String(".r"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    // One character for the archiver is one code point, or one byte of a
    // name that is no valid text (read here as a replacement character).
    const QStringView rest = ext.mid(2);
    const bool oneCharacter = rest.toUcs4().size() == 1 ||
                              (!rest.isEmpty() && rest.contains(QChar::ReplacementCharacter));
    if (!oneCharacter && rest.compare(QLatin1String("ar"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    return digits.toInt();
}

qsizetype NumberedName::oldestIndex(const QList<qint32>& ascending) {
    qsizetype oldest = 0;
    qint64 widest = -1;
    for (qsizetype i = 0; i < ascending.size(); ++i) {
        const qint32 from = ascending[i];
        const qint32 to = ascending[(i + 1) % ascending.size()];
        const qint64 gap = to > from ? to - from : to + kLastNumber + 1 - from;
        if (to != from && gap > widest) {
            widest = gap;
            oldest = (i + 1) % ascending.size();
        }
    }
    return oldest;
}

qint32 NumberedName::numberFor(qint32 last, const QString& source, const QString& target) const {
    QSet<qint32> held;      // by a name in the source, or an archive in the target
    QList<qint32> archives; // of the prefix, in either folder
    for (const QString& folder : {source, target}) {
        for (const QString& name : platform::entryNames(folder)) {
            const std::optional<Parsed> p = parse(name);
            if (p && p->kind == Kind::Archive) {
                archives << p->number;
                held.insert(p->number);
            } else if (folder == source) {
                if (const std::optional<qint32> number = numberHeld(name)) {
                    held.insert(*number);
                }
            }
        }
    }
    qint32 newest = last;
    if (!archives.isEmpty() && last >= 0 && last <= kLastNumber) {
        archives << last;
        std::sort(archives.begin(), archives.end());
        newest = archives[(oldestIndex(archives) + archives.size() - 1) % archives.size()];
    }
    qint32 number = next(newest);
    for (qint32 tries = 0; tries <= kLastNumber; ++tries) {
        if (!held.contains(number)) {
            return number;
        }
        number = next(number);
    }
    return -1;
}

} // namespace engine
