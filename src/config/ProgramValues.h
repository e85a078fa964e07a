#pragma once

#include "config/Language.h"
#include "config/Settings.h"

#include <QString>
#include <QtGlobal>

namespace config {

inline const QString kProductName = QStringLiteral("Velmorado");
inline const QString kVersion = QStringLiteral("1.0c");
// "Velmorado 1.0c"
inline QString productAndVersion() {
    return kProductName + QLatin1Char(' ') + kVersion;
}

// Values that the whole program shares, filled by start-up.
struct ProgramValues {
    QString exeDir;         // folder of the executable, without a trailing slash
    QString parametersPath; // exeDir + "/Velmorado.ini"
    QString listFilePath;   // exeDir + "/Velmorado.w"
};

ProgramValues& program();

// Sets exeDir and the two file paths from a folder.
void setProgramFolder(const QString& exeDir);

} // namespace config
