#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Splits a command line the Windows way (CommandLineToArgvW): blanks and tabs
// separate words, double quotes group; in every word but the first, 2n
// backslashes before a quote give n backslashes and the quote groups, 2n+1
// give n backslashes and a literal quote, and "" inside a group gives a
// literal quote. The first word (the program) ends at the next blank, or at
// the closing quote when it starts with one; it keeps its backslashes.
QStringList splitWindowsCommandLine(const QString& commandLine);

// One argument (not the program) for such a command line: text between
// double quotes, which splitWindowsCommandLine gives back exactly, whatever
// it holds. A double quote goes in as \", the backslashes just before a
// double quote or before the closing one are doubled, and every other
// character goes in as it is: a text without double quotes or trailing
// backslashes is simply put between double quotes, as any console expects.
QString quoteArgument(const QString& text);

// The executable that a program word names: a word holding "/" is taken as
// it stands; otherwise programFolder, then the current folder, then every
// folder of PATH. Empty when none holds an executable file of that name.
QString findProgram(const QString& word, const QString& programFolder);

struct RunOptions {
    bool show = false;     // false: no terminal output (standard streams on /dev/null)
    QString programFolder; // looked in first for the program
    QString workingFolder; // the child's current folder; empty keeps ours
    // When given (and show is false): receives what the program wrote on its
    // standard error, up to kErrorOutputLimit bytes; the rest is read and
    // dropped, so the program never blocks on a full pipe.
    QByteArray* errorOutput = nullptr;
};
inline constexpr qsizetype kErrorOutputLimit = 64 * 1024;

// Starts the command line and waits for it to end, with no time limit.
// True when it could be started. *exitStatus (when given) receives the exit
// code, or -1 when the program did not exit normally (killed by a signal).
bool runAndWait(const QString& commandLine, const RunOptions& options, int* exitStatus = nullptr);

} // namespace platform
