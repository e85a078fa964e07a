#pragma once

#include <QDate>
#include <QString>

// The daily log: one HTML file per day in the log folder, "Log Velmorado
// yyyy-MM-dd.htm", UTF-8 with a byte-order mark. Every write opens the file,
// appends one line ended by CR LF and closes it, so the file can be read at
// any time. Paths and messages are HTML-escaped; the fixed markup is not.
namespace engine {

// pathLogs + "/Log Velmorado " + yyyy-MM-dd + ".htm".
QString dayLogPath(const QString& pathLogs, const QDate& date);

// Begins the day's file state().dayLogPath when it does not exist yet: old
// logs are purged first when PurgeLogs is on, then the seven header lines are
// written (line 6 in the current language, line 7 today's long date).
void WriteLogHeader();

// The same on a given file and date; false when the file had to be made and
// could not be. An existing file is left untouched (true).
bool writeLogHeader(const QString& path, const QDate& date, int language, bool purge,
                    int delaiLogs);

// Deletes the oldest "Log Velmorado*.htm" files of folder (name order) when
// there are more than delaiLogs, until delaiLogs - 1 remain; a file that
// cannot be deleted is passed over and counts as handled.
void RemoveOldLogs(const QString& folder, int delaiLogs);

// "<", ">", "&" and '"' as HTML entities.
QString htmlEscape(const QString& text);

// Appends line + CR LF to path (creating it, with its byte-order mark, when
// missing). The line is written as given. False when it could not be written.
bool appendLogLine(const QString& path, const QString& line);

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
