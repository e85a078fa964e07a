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

// What is wrong with a prefix of the archives, in the order the prefix dialog
// says it: the length first.
enum class PrefixFault {
    None,
    Length,    // not exactly two characters
    Character, // | > < " ? * : / \ [ ], a control character, or a blank at either end
    LeadingDot // every archive, name file and data file would be a hidden file
};

// The one rule for the prefix of the archives, applied by the prefix dialog
// to what is typed, by start-up to what is stored, and by every compression
// to the prefix in force. A prefix goes into the archiver's wildcard, whose
// matches are deleted once archived, and into names that travel to other
// machines: one that could match other files, leave the folder, or make
// hidden archives (which a Windows machine, or a user's file manager, hides
// from view) is refused.
PrefixFault prefixFault(const QString& prefix);
inline bool usablePrefix(const QString& prefix) {
    return prefixFault(prefix) == PrefixFault::None;
}

} // namespace config
