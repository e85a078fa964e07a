#include "config/PrivateProfile.h"

#include "platform/AtomicFile.h"

#include <QStringList>

namespace config::PrivateProfile {

namespace {

// A line "[name]" (blanks allowed around it) gives name; otherwise null.
QString sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() < 2 || t.front() != QLatin1Char('[')) {
        return {};
    }
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) {
        return {};
    }
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QString& line) {
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// For a "key=value" line, the key (trimmed); null otherwise.
QString keyName(const QString& line) {
    if (isComment(line)) {
        return {};
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) {
        return {};
    }
    return line.left(eq).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Lines {
    QString bom; // a byte-order mark at the start is kept as it was
    QStringList lines;
    QString eol;
    bool endsWithEol = true;
};

Lines splitLines(const QString& input) {
    Lines l;
    QString text = input;
    if (text.startsWith(QChar(0xFEFF))) {
        l.bom = text.left(1);
        text.remove(0, 1);
    }
    l.eol = text.contains(QLatin1String("\r\n")) || text.isEmpty() ? QStringLiteral("\r\n")
                                                                   : QStringLiteral("\n");
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    l.endsWithEol = t.isEmpty() || t.endsWith(QLatin1Char('\n'));
    if (t.endsWith(QLatin1Char('\n'))) {
        t.chop(1);
    }
    if (!t.isEmpty() || text.size() > 0) {
        l.lines = t.split(QLatin1Char('\n'));
    }
    if (text.isEmpty()) {
        l.lines.clear();
    }
    return l;
}

QString joinLines(const Lines& l) {
    QString out = l.bom + l.lines.join(l.eol);
    if (!l.lines.isEmpty() && l.endsWithEol) {
        out += l.eol;
    }
    return out;
}

} // namespace

QString readFromText(const QString& text, const QString& section, const QString& key) {
    const Lines l = splitLines(text);
    bool inSection = false;
    for (const QString& line : l.lines) {
        const QString s = sectionName(line);
        if (!s.isNull()) {
            inSection = sameName(s, section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const QString k = keyName(line);
        if (!k.isNull() && sameName(k, key)) {
            return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
        }
    }
    return {};
}

QString writeToText(const QString& text, const QString& section, const QString& key,
                    const QString& rawValue) {
    Lines l = splitLines(text);
    // A line break inside the value would break the file's structure.
    QString value = rawValue;
    value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    qsizetype sectionLine = -1;
    qsizetype lastInSection = -1; // last non-blank line that belongs to the section
    for (qsizetype i = 0; i < l.lines.size(); ++i) {
        const QString& line = l.lines[i];
        const QString s = sectionName(line);
        if (!s.isNull()) {
            if (sectionLine >= 0) {
                break; // the section ended; the key is not in it
            }
            if (sameName(s, section)) {
                sectionLine = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionLine < 0) {
            continue;
        }
        if (!line.trimmed().isEmpty()) {
            lastInSection = i;
        }
        const QString k = keyName(line);
        if (!k.isNull() && sameName(k, key)) {
            // Keep the key as it was spelled and whatever stood before "=".
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            l.lines[i] = line.left(eq + 1) + value;
            return joinLines(l);
        }
    }
    const QString entry = key + QLatin1Char('=') + value;
    if (sectionLine >= 0) {
        l.lines.insert(lastInSection + 1, entry);
    } else {
        if (!l.lines.isEmpty() && !l.lines.back().trimmed().isEmpty()) {
            l.lines.append(QString());
        }
        l.lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        l.lines.append(entry);
        l.endsWithEol = true;
    }
    l.endsWithEol = true;
    return joinLines(l);
}

QString read(const QString& path, const QString& section, const QString& key) {
    QByteArray data;
    if (!platform::readWholeFile(path, data)) {
        return {};
    }
    return readFromText(QString::fromUtf8(data), section, key);
}

bool write(const QString& path, const QString& section, const QString& key, const QString& value) {
    QByteArray data;
    const platform::ReadStatus found = platform::readRegularFile(path, data);
    if (found != platform::ReadStatus::Ok && found != platform::ReadStatus::Missing) {
        // A file that is there but cannot be read would be replaced by one
        // that holds this value alone: everything else in it would be lost.
        return false;
    }
    const QString updated = writeToText(QString::fromUtf8(data), section, key, value);
    return platform::writeFileAtomically(path, updated.toUtf8());
}

} // namespace config::PrivateProfile
