#pragma once

#include <QString>
#include <QtGlobal>

namespace config {

// The longest leading part of text that reads as a number; blanks anywhere
// are ignored ("1 2" reads 12), "15abc" reads 15, a text that does not start
// with a number reads 0. Takes a sign, a decimal point, an exponent
// (E or D) and the &H / &O prefixes.
double leadingNumber(const QString& text);

// A stored number as a 16-bit value: rounded half to even, and held to the
// 16-bit range so that a hand-edited 99999 reads as 32767 instead of failing.
qint16 readInt16(const QString& text);
// The same for the 32-bit values (the archive counter).
qint32 readInt32(const QString& text);
// Rounds half to even and holds to the 16-bit range.
qint16 roundToInt16(double value);

// A flag is on only for the exact text "1".
inline bool readFlag(const QString& text) {
    return text == QLatin1String("1");
}
inline QString flagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace config
