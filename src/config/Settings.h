#pragma once

#include "config/ParameterKeys.h"

#include <QString>
#include <QtGlobal>

namespace config {

// The stored text of a key of the parameters file, cut to 254 characters;
// empty when the file, the section or the key is missing.
QString ReadSetting(const QString& section, const QString& key);
// Stores one value; a failed write is not reported (the value in memory
// stays for the rest of the run).
void WriteSetting(const QString& section, const QString& key, const QString& value);

// The same against a given file (tests, and callers with another file).
QString ReadSettingFrom(const QString& path, const QString& section, const QString& key);
void WriteSettingTo(const QString& path, const QString& section, const QString& key,
                    const QString& value);

// "Administrator "Warning from Velmorado: unknown folder"", quotes included.
inline const QString kDefaultMessageNetSend =
    QStringLiteral("Administrator \"Warning from Velmorado: unknown folder\"");

// The longest wait between passes that the temporisation dialog accepts.
inline constexpr qint32 kMaxTemporisation = 60000;

// Every general setting, as held in memory for the run.
struct Settings {
    // Configuration
    int language = 0; // the run's language (config/Language.h): 1 French, any other English
    // Wider than the other numbers: the dialog accepts up to kMaxTemporisation.
    qint32 temporisation = 10;
    qint16 performance = 1;
    QString prefix = QStringLiteral("RA");
    // A stored prefix that start-up refused (config::usablePrefix; "RA"
    // stands in for it), and whether the day's log has said so in this run.
    // Both are cleared when the prefix dialog stores a prefix: the refusal is
    // then no longer true.
    QString refusedPrefix;
    bool refusedPrefixLogged = false;
    bool voirConsoleRar = false;
    bool afficherFichiers = false;
    bool automatique = false;
    bool arretAutomatique = false;
    bool erreurDossier = false;
    bool erreurDossierSon = false;
    bool erreurDossierNetSend = false;
    QString messageNetSend = kDefaultMessageNetSend;
    bool erreurDossierEventLog = false;
    bool formatRar5 = false; // archives as RAR 5 (rar a -ma5), for Windows machines
    // Logs
    bool logs = false;
    bool fichiersLogs = false;
    QString pathLogs; // an existing folder: the stored one, else the executable's
    bool purgeLogs = false;
    qint16 delaiLogs = 10;

    // Reads every key, in start-up order, with its default. exeDir stands in
    // for a missing or unusable log folder.
    void load(const QString& parametersPath, const QString& exeDir);
};

Settings& settings();

// Empty when the file at path is missing or can be read; otherwise the
// message that says which file it is and what is wrong with it (not a
// regular file, too large, no rights), in the given language.
QString unreadableFileMessage(const QString& path, int language);

// The language key alone (start-up reads it before anything else).
int readLanguage(const QString& parametersPath);

} // namespace config
