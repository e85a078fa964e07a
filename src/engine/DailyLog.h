#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The daily log: one HTML file per day in the log folder, "Log Velmorado
// yyyy-MM-dd.htm", UTF-8 with a byte-order mark. Every write opens the file,
// appends one line ended by CR LF and closes it, so the file can be read at
// any time. Paths and messages are HTML-escaped; the fixed markup is not.
//
// A log is written only as a regular file: a link of that name (even one
// pointing nowhere) or anything else that is not a regular file is never
// opened through, and nothing is created at its place. Such a refusal is told
// once (ReportLogRefusal) until that log can be written again.
namespace engine {

class WindowPort;

// pathLogs + "/Log Velmorado " + yyyy-MM-dd + ".htm".
QString dayLogPath(const QString& pathLogs, const QDate& date);

// The one rule of what a daily log is, for the purge, the log viewer and the
// walk: a file name of exactly the form "Log Velmorado yyyy-MM-dd.htm" with a
// date that exists. Its date; nothing for any other name.
std::optional<QDate> dailyLogDate(const QString& fileName);
inline bool isDailyLogName(const QString& fileName) {
    return dailyLogDate(fileName).has_value();
}
// The daily logs of folder that are regular files (not links), by date,
// oldest first: their file names.
QStringList dailyLogNames(const QString& folder);

// Begins the day's file state().dayLogPath when it does not exist yet: old
// logs are purged first when PurgeLogs is on, then the seven header lines are
// written (line 6 in the current language, line 7 today's long date).
void WriteLogHeader();

// The same on a given file and date; false when the file had to be made and
// could not be. An existing file is left untouched (true).
bool writeLogHeader(const QString& path, const QDate& date, int language, bool purge,
                    int delaiLogs);

// Deletes the oldest daily logs of folder (dailyLogNames) dated up to today
// when there are more than delaiLogs, until delaiLogs - 1 remain; a file that
// cannot be deleted is passed over and counts as handled. No other file is
// deleted or counted, and a log dated after today neither.
void RemoveOldLogs(const QString& folder, int delaiLogs, const QDate& today);

// "<", ">", "&" and '"' as HTML entities.
QString htmlEscape(const QString& text);

// Appends line + CR LF to path (creating it, with its byte-order mark, when
// missing). The line is written as given. False when it could not be written,
// refused (not a regular file) included.
bool appendLogLine(const QString& path, const QString& line);

// A day's log refused since it was last told (a link or not a regular file):
// shows it in the window's message window and writes it to the system log
// (writeEventLog, type 2; may be empty), once. Nothing when none is new. The
// refusal is told again only once that log has been written in between, or
// for another day's log.
void ReportLogRefusal(WindowPort& window,
                      const std::function<void(const QString&, int)>& writeEventLog);

// The lines of the day's log state().dayLogPath; each returns false when the
// line could not be written.
// "<small><b>Rar</b> - FROM -> TO</small><br>"
bool LogCompression(const QString& fromPath, const QString& toPath);
// "<small><b>Unrar</b> - FROM -> TO</small><br>"
bool LogExtraction(const QString& fromPath, const QString& toPath);
// message + ": " + folder + "<br>" (a missing folder, or another event about a path)
bool LogUnknownFolder(const QString& message, const QString& folder);
// line1 + "<br>" + line2 + "<br><hr>"
bool LogSummary(const QString& line1, const QString& line2);

} // namespace engine
