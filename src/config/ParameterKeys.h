#pragma once

#include <QLatin1StringView>
#include <QString>

// The sections and keys of the parameters file (Velmorado.ini). Other
// machines and older copies read the same file: these names never change.
namespace config {

inline const QString kSectionConfiguration = QStringLiteral("Configuration");
inline const QString kSectionLogs = QStringLiteral("Logs");
inline const QString kSectionProcessing = QStringLiteral("Processing");

// The section of pair n (from 1) is "Rar_n".
inline QString pairSection(int number) {
    return QStringLiteral("Rar_") + QString::number(number);
}

namespace keys {

// [Configuration]
inline constexpr QLatin1StringView kLangue("Langue");
inline constexpr QLatin1StringView kTemporisation("Temporisation");
inline constexpr QLatin1StringView kPerformance("Performance");
inline constexpr QLatin1StringView kPrefixeFichiersCompresses("PrefixeFichiersCompresses");
inline constexpr QLatin1StringView kVoirConsoleRar("VoirConsoleRar");
inline constexpr QLatin1StringView kAfficherFichiers("AfficherFichiers");
inline constexpr QLatin1StringView kAutomatique("Automatique");
inline constexpr QLatin1StringView kArretAutomatique("ArretAutomatique");
inline constexpr QLatin1StringView kErreurDossier("ErreurDossier");
inline constexpr QLatin1StringView kErreurDossierSon("ErreurDossierSon");
inline constexpr QLatin1StringView kErreurDossierNetSend("ErreurDossierNetSend");
inline constexpr QLatin1StringView kMessageNetSend("MessageNetSend");
inline constexpr QLatin1StringView kErreurDossierEventLog("ErreurDossierEventLog");
// "1": archives are made as RAR 5 archives, for Windows machines.
inline constexpr QLatin1StringView kFormatRar5("FormatRar5");

// [Logs]
inline constexpr QLatin1StringView kLogs("Logs");
inline constexpr QLatin1StringView kFichiersLogs("FichiersLogs");
inline constexpr QLatin1StringView kPathLogs("PathLogs");
inline constexpr QLatin1StringView kPurgeLogs("PurgeLogs");
inline constexpr QLatin1StringView kDelaiLogs("DelaiLogs");

// [Processing]: the number of the last archive made.
inline constexpr QLatin1StringView kLastFileNumber("LastFileNumber");

// [Rar_n], one section per pair.
inline constexpr QLatin1StringView kNbTemporisations("NbTemporisations");
inline constexpr QLatin1StringView kRar("Rar");
inline constexpr QLatin1StringView kEnable("Enable");

} // namespace keys

} // namespace config
