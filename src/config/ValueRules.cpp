#include "config/ValueRules.h"

#include <cmath>
#include <limits>

namespace config {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

double roundHalfEven(double v) {
    return std::nearbyint(v); // the default rounding mode goes half to even
}

template <typename T> T clampTo(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    const double r = roundHalfEven(v);
    if (r < double(std::numeric_limits<T>::min())) {
        return std::numeric_limits<T>::min();
    }
    if (r > double(std::numeric_limits<T>::max())) {
        return std::numeric_limits<T>::max();
    }
    return T(r);
}

} // namespace

double leadingNumber(const QString& text) {
    // Plain digits, as the program stores them: read at once (every pass
    // reads every pair's counts this way).
    if (!text.isEmpty() && text.size() <= 9) {
        int value = 0;
        qsizetype i = 0;
        for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
            value = value * 10 + (text[i].unicode() - '0');
        }
        if (i == text.size()) {
            return value;
        }
    }
    // Blanks are dropped everywhere before reading, as "1 2" must read 12.
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (!isBlank(c)) {
            s.append(c);
        }
    }
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (n >= 2 && s[0] == QLatin1Char('&')) {
        const QChar kind = s[1].toUpper();
        int base = 0;
        if (kind == QLatin1Char('H')) {
            base = 16;
        } else if (kind == QLatin1Char('O')) {
            base = 8;
        }
        if (base != 0) {
            double value = 0;
            for (i = 2; i < n; ++i) {
                bool ok = false;
                const int d = QString(s[i]).toInt(&ok, base);
                if (!ok) {
                    break;
                }
                value = value * base + d;
            }
            return value;
        }
        return 0;
    }
    QString num;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        num.append(s[i]);
        ++i;
    }
    bool digits = false;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
        num.append(s[i++]);
        digits = true;
    }
    if (i < n && s[i] == QLatin1Char('.')) {
        num.append(s[i++]);
        while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
            num.append(s[i++]);
            digits = true;
        }
    }
    if (!digits) {
        return 0;
    }
    if (i < n && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        qsizetype j = i + 1;
        QString exp = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-'))) {
            exp.append(s[j++]);
        }
        bool expDigits = false;
        while (j < n && s[j].isDigit() && s[j].unicode() < 128) {
            exp.append(s[j++]);
            expDigits = true;
        }
        if (expDigits) {
            num += exp;
        }
    }
    bool ok = false;
    const double v = num.toDouble(&ok);
    return ok ? v : 0;
}

qint16 roundToInt16(double value) {
    return clampTo<qint16>(value);
}

qint16 readInt16(const QString& text) {
    return clampTo<qint16>(leadingNumber(text));
}

qint32 readInt32(const QString& text) {
    return clampTo<qint32>(leadingNumber(text));
}

PrefixFault prefixFault(const QString& prefix) {
    // The characters a file name cannot hold on the machines that share the
    // folders, and the archiver's wildcard brackets.
    static const QString refused = QStringLiteral("|><\"?*:/\\[]");
    if (prefix.size() != 2) {
        return PrefixFault::Length;
    }
    for (const QChar c : prefix) {
        if (refused.contains(c) || c.category() == QChar::Other_Control || c.isSurrogate()) {
            return PrefixFault::Character;
        }
    }
    if (prefix != prefix.trimmed()) {
        return PrefixFault::Character;
    }
    if (prefix.startsWith(QLatin1Char('.'))) {
        return PrefixFault::LeadingDot;
    }
    return PrefixFault::None;
}

} // namespace config
