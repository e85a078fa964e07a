#include "engine/Texts.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "platform/NetMessage.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace engine::texts {

namespace {

// The count, then its piece: the plural piece above 1, the singular one for 0 and 1.
QString counted(qint32 count, const QString& singular, const QString& plural) {
    return QString::number(count) + (count > 1 ? plural : singular);
}

} // namespace

QString trayTipStopped() {
    return config::productAndVersion();
}

QString trayTipRunning(int language) {
    return config::productAndVersion() +
           config::pickText(language, " - compression/décompression", " - compress/uncompress");
}

QString trayTipWaiting(int language) {
    return config::productAndVersion() + config::pickText(language, " - Attente", " - Wait");
}

QString unknownFolderSuffix(bool source, int language) {
    if (source) {
        return config::pickText(language, " - Dossier source inconnu", " - Unknown source folder");
    }
    return config::pickText(language, " - Dossier cible inconnu", " - Unknown target folder");
}

QString summaryLine1(int language, const QString& date, const QString& time, const PassCounts& c) {
    QString line = date + config::pickText(language, " à ", " - ") + time + QStringLiteral("; ");
    line += counted(c.files, config::pickText(language, " fichier dans ", " file in "),
                    config::pickText(language, " fichiers dans ", " files in "));
    line += counted(c.sourceFolders,
                    config::pickText(language, " dossier source (", " source folder ("),
                    config::pickText(language, " dossiers sources (", " source folders ("));
    line += counted(
        c.invalidSourceFolders,
        config::pickText(language, " dossier source invalide; ", " invalid source folder; "),
        config::pickText(language, " dossiers sources invalides; ", " invalid source folders; "));
    line += counted(
        c.invalidTargetFolders,
        config::pickText(language, " dossier cible invalide)", " invalid target folder)"),
        config::pickText(language, " dossiers cibles invalides)", " invalid target folders)"));
    return line;
}

QString summaryLine2(int language, const PassCounts& c, const QString& elapsed) {
    return config::pickText(language, "Fichiers compressés: ", "Compressed files: ") +
           QString::number(c.compressed) +
           config::pickText(language, ", Fichiers décompressés: ", ", Uncompressed files: ") +
           QString::number(c.uncompressed) +
           config::pickText(language, "; durée ", "; elapsed time ") + elapsed +
           QStringLiteral(" s");
}

QString elapsedText(double seconds) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(seconds, 'f', 2);
}

QString longDateToday() {
    return QLocale::system().toString(QDate::currentDate(), QLocale::LongFormat);
}

QString timeNow() {
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

QString neutralNameKept(int language) {
    return config::pickText(language, " - Fichier temporaire gardé sous son nom neutre",
                            " - Temporary file kept under its neutral name");
}

QString waitCause(WaitCause cause, int language) {
    switch (cause) {
    case WaitCause::TargetMissing:
        return config::pickText(language, "Dossier cible absent", "Target folder missing");
    case WaitCause::SourceReadOnly:
        return config::pickText(language, "Dossier source en lecture seule",
                                "Source folder read-only");
    case WaitCause::TargetReadOnly:
        return config::pickText(language, "Dossier cible en lecture seule",
                                "Target folder read-only");
    case WaitCause::TargetFull:
        return config::pickText(language, "Dossier cible plein", "Target folder full");
    case WaitCause::ArchiveNameTaken:
        return config::pickText(language, "Archive de même nom déjà dans le dossier cible",
                                "An archive of the same name is already in the target folder");
    case WaitCause::CannotMove:
        return config::pickText(language, "Déplacement impossible vers le dossier cible",
                                "Cannot move into the target folder");
    case WaitCause::DamagedArchive:
        return config::pickText(language, "Archive endommagée ou tronquée",
                                "Damaged or truncated archive");
    case WaitCause::SourceFull:
        return config::pickText(language, "Plus de place pour extraire dans le dossier source",
                                "No room left to extract in the source folder");
    case WaitCause::ExtractionFailed:
        return config::pickText(language, "Échec de l'extraction", "Extraction failed");
    case WaitCause::UnreadableName:
        return config::pickText(language, "Nom de fichier illisible dans l'archive",
                                "Unreadable file name in the archive");
    case WaitCause::NoNameFile:
        return config::pickText(language,
                                "Archive sans son fichier de données ou son fichier de nom",
                                "Archive without its data file or its name file");
    case WaitCause::NumberNotStored:
        return config::pickText(language,
                                "Numéro d'archive impossible à enregistrer (LastFileNumber)",
                                "Archive number cannot be stored (LastFileNumber)");
    case WaitCause::PackingFailed:
        return config::pickText(language, "Échec de la compression, fichier rendu sous son nom",
                                "Packing failed, the file has its name back");
    case WaitCause::FileUnreadable:
        return config::pickText(language, "Fichier illisible (droits d'accès)",
                                "File cannot be read (access rights)");
    }
    return QString();
}

QString waitLogMessage(int language, bool starts, bool wholePair, const QString& cause,
                       const QString& source, const QString& target) {
    const QString pair = config::pickText(language, " (couple ", " (pair ") + source +
                         QStringLiteral(" -> ") + target + ')';
    if (!starts) {
        return config::pickText(language, " - Fin de l'attente : ", " - Waiting over: ") + cause +
               pair;
    }
    const QString waits =
        wholePair ? config::pickText(language, " - les fichiers du couple attendent",
                                     " - the pair's files wait")
                  : config::pickText(language, " - fichier en attente", " - file waiting");
    return QStringLiteral(" - ") + cause + waits + pair;
}

QString filesWaiting(int language) {
    return config::pickText(language, "Fichiers en attente : ", "Files waiting: ");
}

QString filesCaughtGivenBack(int language) {
    return config::pickText(language,
                            " - Fichiers pris dans une nouvelle archive, rendus à leur dossier",
                            " - Files caught in a new archive, given back to their folder");
}

QString streamsNotRestored(int language) {
    return config::pickText(language, " - Flux du fichier non restaurés",
                            " - Streams of the file not restored");
}

QString otherMembersLeft(int language) {
    return config::pickText(language, " - Autres fichiers de l'archive non extraits",
                            " - Other files of the archive not extracted");
}

QString netMessageNotSent(int language) {
    return config::pickText(language, "Message réseau non envoyé", "Network message not sent");
}

QString netSendFailure(const platform::NetSendResult& r, int language) {
    using Status = platform::NetSendResult::Status;
    const QString said = r.detail.isEmpty() ? QString() : QStringLiteral(": ") + r.detail;
    switch (r.status) {
    case Status::Sent:
        return {};
    case Status::NotFound:
        return config::pickText(language,
                                "aucun programme net exécutable dans le dossier du programme "
                                "ni dans PATH",
                                "no executable net in the program folder or on PATH");
    case Status::NotStarted:
        return r.net +
               config::pickText(language, " n'a pas pu être lancé", " could not be started") + said;
    case Status::Failed:
        if (r.exitCode < 0) {
            return r.net +
                   config::pickText(language, " a été arrêté par un signal",
                                    " was ended by a signal") +
                   said;
        }
        return r.net +
               config::pickText(language, " s'est terminé avec le code ", " ended with status ") +
               QString::number(r.exitCode) + said;
    case Status::TimedOut:
        return r.net +
               config::pickText(language, " ne s'était pas terminé après %1 s et a été arrêté",
                                " had not ended after %1 s and was stopped")
                   .arg(platform::kNetTimeLimitMs / 1000) +
               said;
    }
    return {};
}

} // namespace engine::texts
