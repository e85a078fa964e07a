#pragma once

#include "engine/EngineState.h"
#include "engine/WaitCauses.h"

#include <QString>
#include <QtGlobal>

namespace platform {
struct NetSendResult;
}

// The texts that the processing engine shows or logs, French and English side
// by side. Each takes the language (config/Language.h) so that both can be
// checked whatever language the program runs in.
namespace engine::texts {

// Tray tips: "Velmorado 1.0c", then " - " and what is going on.
QString trayTipStopped();
QString trayTipRunning(int language);
QString trayTipWaiting(int language);

// " - Unknown source folder" and its kin, put after the time.
QString unknownFolderSuffix(bool source, int language);

// "Saturday, 5 December 2026 - 14:03:41; 3 files in 2 source folders (0
// invalid source folder; 1 invalid target folder)". date and time come
// already formatted.
QString summaryLine1(int language, const QString& date, const QString& time,
                     const PassCounts& counts);
// "Compressed files: 3, Uncompressed files: 0; elapsed time 4.52 s".
QString summaryLine2(int language, const PassCounts& counts, const QString& elapsed);

// Seconds with two decimals and the decimal separator of the system's locale.
QString elapsedText(double seconds);
// Today in the system locale's long date format.
QString longDateToday();
// Now as "hh:mm:ss".
QString timeNow();

// Log message about a data file left by an interrupted compression that could
// not get its own name back (the name is taken, or the name file says nothing
// usable): it keeps its neutral name. The time is put before it.
QString neutralNameKept(int language);

// Why files wait ("Target folder read-only"), for the log and the window.
QString waitCause(WaitCause cause, int language);
// The log message about a wait, put after the time and followed by ": " and
// the path: " - Target folder read-only - file waiting (pair S -> T)" when it
// starts, " - Waiting over: Target folder read-only (pair S -> T)" when it
// clears; "the pair's files wait" for a cause of the whole pair.
QString waitLogMessage(int language, bool starts, bool wholePair, const QString& cause,
                       const QString& source, const QString& target);
// "Files waiting: ", put before the causes and their counts.
QString filesWaiting(int language);
// Log message about streams (extended attributes) of an extracted file that
// the archiver could not restore: the file is delivered without them. The
// time is put before it and the archive, the file and the archiver's words
// after it.
QString streamsNotRestored(int language);
// Log message about members of an archive that are neither its data file nor
// its name file: they are not extracted. The time is put before it and the
// archive's path, then the members' names, after it.
QString otherMembersLeft(int language);
// Log message about files that took a name of the form base + ".r?" while
// their folder's file was packed under that base, and went into its archive:
// they, and the file, are given back and the archive is not sent. The time
// is put before it and the archive's path, then the files' names, after it.
QString filesCaughtGivenBack(int language);

// "Network message not sent", followed by ": " and netSendFailure.
QString netMessageNotSent(int language);
// Why a network message did not go out: no net, net not started, net's exit
// status and what it said, or the time limit. Empty for a message sent.
QString netSendFailure(const platform::NetSendResult& result, int language);

} // namespace engine::texts
