#pragma once

#include <QString>

namespace app {

// "Velmorado 1.0c   host; user; Linux v.6.1, Build 0, Debian ..."; each part
// that is empty is left out.
QString buildCaption(const QString& computer, const QString& user, const QString& os);

// Trims blanks and drops one trailing NUL, as names read from the platform may end in one.
QString cleanPlatformName(const QString& name);

// The refusal of a second copy, in the language of the flag.
QString secondInstanceMessage(int language);

// Exit statuses of a start that cannot go on where nobody could answer a box
// (no screen, or the service): each cause its own. A fatal end is
// config::kFatalExitCode (3).
inline constexpr int kExitAnotherCopyRuns = 4;  // a copy runs from this program folder
inline constexpr int kExitNoArchiver = 5;       // the archiver cannot be run
inline constexpr int kExitServiceInstalled = 6; // started by hand while the service is installed

// What a start without a screen, or the service, says instead of a box:
// one line on standard error and a warning in the system log.
void tellUnattended(const QString& text);

} // namespace app
