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

} // namespace app
