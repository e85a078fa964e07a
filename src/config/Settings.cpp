#include "config/Settings.h"

#include "config/Language.h"
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
    return readInt16(ReadSettingFrom(parametersPath, kSectionConfiguration, keys::kLangue));
}

void Settings::load(const QString& path, const QString& exeDir) {
    const auto conf = [&](QLatin1StringView key) {
        return ReadSettingFrom(path, kSectionConfiguration, key);
    };
    const auto logsKey = [&](QLatin1StringView key) {
        return ReadSettingFrom(path, kSectionLogs, key);
    };
    language = readLanguage(path);
    // Read as 32 bits, so that what the dialog stored (up to 60000) comes back
    // as it was; a larger hand-edited value is held at that top.
    temporisation = qBound<qint32>(std::numeric_limits<qint16>::min(),
                                   readInt32(conf(keys::kTemporisation)), kMaxTemporisation);
    if (temporisation == 0) {
        temporisation = 10;
    }
    performance = numberOr(conf(keys::kPerformance), 1);
    prefix = conf(keys::kPrefixeFichiersCompresses);
    refusedPrefix.clear();
    refusedPrefixLogged = false;
    if (!prefix.isEmpty() && !usablePrefix(prefix)) {
        // Hand-edited: a prefix that makes archives hidden files or that
        // names no plain file is not used.
        refusedPrefix = prefix;
        prefix.clear();
    }
    if (prefix.isEmpty()) {
        prefix = QStringLiteral("RA");
    }
    voirConsoleRar = readFlag(conf(keys::kVoirConsoleRar));
    afficherFichiers = readFlag(conf(keys::kAfficherFichiers));
    automatique = readFlag(conf(keys::kAutomatique));
    arretAutomatique = readFlag(conf(keys::kArretAutomatique));
    erreurDossier = readFlag(conf(keys::kErreurDossier));
    erreurDossierSon = readFlag(conf(keys::kErreurDossierSon));
    erreurDossierNetSend = readFlag(conf(keys::kErreurDossierNetSend));
    messageNetSend = conf(keys::kMessageNetSend);
    if (messageNetSend.isEmpty()) {
        messageNetSend = kDefaultMessageNetSend;
    }
    erreurDossierEventLog = readFlag(conf(keys::kErreurDossierEventLog));
    formatRar5 = readFlag(conf(keys::kFormatRar5));

    logs = readFlag(logsKey(keys::kLogs));
    fichiersLogs = readFlag(logsKey(keys::kFichiersLogs));
    pathLogs = logsKey(keys::kPathLogs);
    const QFileInfo logFolder(pathLogs);
    if (pathLogs.isEmpty() || !logFolder.isDir()) {
        pathLogs = exeDir;
    }
    purgeLogs = readFlag(logsKey(keys::kPurgeLogs));
    delaiLogs = numberOr(logsKey(keys::kDelaiLogs), 10);
}

QString unreadableFileMessage(const QString& path, int language) {
    QByteArray data;
    QString what;
    switch (platform::readRegularFile(path, data)) {
    case platform::ReadStatus::Ok:
    case platform::ReadStatus::Missing:
        return {};
    case platform::ReadStatus::NotRegular:
        what = pickText(language, "Ce n'est pas un fichier ordinaire", "It is not a regular file");
        break;
    case platform::ReadStatus::TooLarge:
        what = pickText(language, "Il dépasse %1 Mio", "It is larger than %1 MiB")
                   .arg(platform::kMaxReadSize >> 20);
        break;
    case platform::ReadStatus::Unreadable:
        what = pickText(language, "Il ne peut pas être lu", "It cannot be read");
        break;
    }
    return pickText(language, "Fichier illisible : ", "Unreadable file: ") + path +
           QStringLiteral("\r\n") + what +
           pickText(language, ". Velmorado ne peut pas fonctionner.", ". Velmorado cannot run.");
}

Settings& settings() {
    static Settings s;
    return s;
}

} // namespace config
