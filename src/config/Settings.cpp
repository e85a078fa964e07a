#include "config/Settings.h"

#include "config/PrivateProfile.h"
#include "config/ProgramValues.h"
#include "config/ValueRules.h"
#include "platform/AtomicFile.h"

#include <QFileInfo>

#include <limits>

namespace config {

namespace {

// The platform reader hands back at most 254 characters of a value.
constexpr qsizetype kMaxValueLength = 254;

QString cut(const QString& value) {
    if (value.size() <= kMaxValueLength) {
        return value;
    }
    QString v = value.left(kMaxValueLength);
    if (v.back().isHighSurrogate()) {
        v.chop(1); // never hand back half a character
    }
    return v;
}

qint16 numberOr(const QString& text, qint16 whenZero) {
    const qint16 v = readInt16(text);
    return v == 0 ? whenZero : v;
}

} // namespace

ProgramValues& program() {
    static ProgramValues values;
    return values;
}

void setProgramFolder(const QString& exeDir) {
    ProgramValues& p = program();
    p.exeDir = exeDir;
    p.parametersPath = exeDir + QLatin1Char('/') + kProductName + QStringLiteral(".ini");
    p.listFilePath = exeDir + QLatin1Char('/') + kProductName + QStringLiteral(".w");
}

QString ReadSettingFrom(const QString& path, const QString& section, const QString& key) {
    return cut(PrivateProfile::read(path, section, key));
}

void WriteSettingTo(const QString& path, const QString& section, const QString& key,
                    const QString& value) {
    PrivateProfile::write(path, section, key, value);
}

QString ReadSetting(const QString& section, const QString& key) {
    return ReadSettingFrom(program().parametersPath, section, key);
}

void WriteSetting(const QString& section, const QString& key, const QString& value) {
    WriteSettingTo(program().parametersPath, section, key, value);
}

int readLanguage(const QString& parametersPath) {
    return readInt16(
        ReadSettingFrom(parametersPath, kSectionConfiguration, QStringLiteral("Langue")));
}

void Settings::load(const QString& path, const QString& exeDir) {
    const auto conf = [&](const char* key) {
        return ReadSettingFrom(path, kSectionConfiguration, QString::fromLatin1(key));
    };
    const auto logsKey = [&](const char* key) {
        return ReadSettingFrom(path, kSectionLogs, QString::fromLatin1(key));
    };
    language = readLanguage(path);
    // Read as 32 bits, so that what the dialog stored (up to 60000) comes back
    // as it was; a larger hand-edited value is held at that top.
    temporisation = qBound<qint32>(std::numeric_limits<qint16>::min(),
                                   readInt32(conf("Temporisation")), kMaxTemporisation);
    if (temporisation == 0) {
        temporisation = 10;
    }
    performance = numberOr(conf("Performance"), 1);
    prefix = conf("PrefixeFichiersCompresses");
    refusedPrefix.clear();
    refusedPrefixLogged = false;
    if (!prefix.isEmpty() && !isUsablePrefix(prefix)) {
        // Hand-edited: a prefix that makes archives hidden files (the walk
        // deletes those) or that names no plain file is not used.
        refusedPrefix = prefix;
        prefix.clear();
    }
    if (prefix.isEmpty()) {
        prefix = QStringLiteral("RA");
    }
    voirConsoleRar = readFlag(conf("VoirConsoleRar"));
    afficherFichiers = readFlag(conf("AfficherFichiers"));
    automatique = readFlag(conf("Automatique"));
    arretAutomatique = readFlag(conf("ArretAutomatique"));
    erreurDossier = readFlag(conf("ErreurDossier"));
    erreurDossierSon = readFlag(conf("ErreurDossierSon"));
    erreurDossierNetSend = readFlag(conf("ErreurDossierNetSend"));
    messageNetSend = conf("MessageNetSend");
    if (messageNetSend.isEmpty()) {
        messageNetSend = kDefaultMessageNetSend;
    }
    erreurDossierEventLog = readFlag(conf("ErreurDossierEventLog"));

    logs = readFlag(logsKey("Logs"));
    fichiersLogs = readFlag(logsKey("FichiersLogs"));
    pathLogs = logsKey("PathLogs");
    const QFileInfo logFolder(pathLogs);
    if (pathLogs.isEmpty() || !logFolder.isDir()) {
        pathLogs = exeDir;
    }
    purgeLogs = readFlag(logsKey("PurgeLogs"));
    delaiLogs = numberOr(logsKey("DelaiLogs"), 10);
}

QString unreadableFileMessage(const QString& path, bool french) {
    QByteArray data;
    QString what;
    switch (platform::readRegularFile(path, data)) {
    case platform::ReadStatus::Ok:
    case platform::ReadStatus::Missing:
        return {};
    case platform::ReadStatus::NotRegular:
        what = french ? QStringLiteral("Ce n'est pas un fichier ordinaire")
                      : QStringLiteral("It is not a regular file");
        break;
    case platform::ReadStatus::TooLarge:
        what = french
                   ? QStringLiteral("Il dépasse %1 Mio").arg(platform::kMaxReadSize >> 20)
                   : QStringLiteral("It is larger than %1 MiB").arg(platform::kMaxReadSize >> 20);
        break;
    case platform::ReadStatus::Unreadable:
        what =
            french ? QStringLiteral("Il ne peut pas être lu") : QStringLiteral("It cannot be read");
        break;
    }
    return (french ? QStringLiteral("Fichier illisible : ") : QStringLiteral("Unreadable file: ")) +
           path + QStringLiteral("\r\n") + what +
           (french ? QStringLiteral(". Velmorado ne peut pas fonctionner.")
                   : QStringLiteral(". Velmorado cannot run."));
}

bool isUsablePrefix(const QString& prefix) {
    static const QString refused = QStringLiteral("|><\"?*:/\\");
    if (prefix.size() != 2 || prefix != prefix.trimmed() || prefix.startsWith(QLatin1Char('.'))) {
        return false;
    }
    for (const QChar c : prefix) {
        if (refused.contains(c) || c.unicode() < 0x20) {
            return false;
        }
    }
    return true;
}

Settings& settings() {
    static Settings s;
    return s;
}

} // namespace config
