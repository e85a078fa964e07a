#pragma once

#include <QJsonObject>
#include <QString>

namespace app {

// Exit status of `velmorado --status`.
inline constexpr int kStatusNothingWaits = 0;
inline constexpr int kStatusFilesWait = 1;
inline constexpr int kStatusNotRunning = 2;

// What the running copy answers when asked how it is doing: whether
// processing runs, the last pass (its end and counts), each pair (mode, on or
// off, interval, whether its folders exist) and every file that waits, with
// its cause (a stable key such as "target-read-only"), its pair and its path.
// Data only, no text: the copy that asks words it in its own language.
QJsonObject statusReport();

// `velmorado --status [--json]`: asks the copy that runs from programFolder
// (through its socket: no second copy is started, no window raised) and
// writes the answer to standard output, as text in the language of the
// parameters file or as JSON, each waiting file with the text of its cause
// added. Neither form holds a character a terminal acts on: the text shows
// such characters of a name as escapes, the JSON escapes them in its strings
// (and gives each name back exactly). Returns kStatusNothingWaits,
// kStatusFilesWait or, when no copy runs there or none answers (said on
// standard error), kStatusNotRunning.
int printStatus(const QString& programFolder, bool json);

// The text form of a status, in language; every name in it shown with its
// control characters, bytes that are no UTF-8, direction marks and
// backslashes escaped.
QString statusText(const QJsonObject& status, int language);

} // namespace app
