#include "engine/Texts.h"

#include "config/ProgramValues.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace engine::texts {

namespace {

QString pick(bool french, const char* fr, const char* en) {
    return QString::fromUtf8(french ? fr : en);
}

// The count, then its piece: the plural piece above 1, the singular one for 0 and 1.
QString counted(qint32 count, const QString& singular, const QString& plural) {
    return QString::number(count) + (count > 1 ? plural : singular);
}

} // namespace

QString trayTipStopped() {
    return config::productAndVersion();
}

QString trayTipRunning(bool french) {
    return config::productAndVersion() +
           pick(french, " - compression/décompression", " - compress/uncompress");
}

QString trayTipWaiting(bool french) {
    return config::productAndVersion() + pick(french, " - Attente", " - Wait");
}

QString unknownFolderSuffix(bool source, bool french) {
    if (source) {
        return pick(french, " - Dossier source inconnu", " - Unknown source folder");
    }
    return pick(french, " - Dossier cible inconnu", " - Unknown target folder");
}

QString summaryLine1(bool french, const QString& date, const QString& time, const PassCounts& c) {
    QString line = date + pick(french, " à ", " - ") + time + QStringLiteral("; ");
    line += counted(c.files, pick(french, " fichier dans ", " file in "),
                    pick(french, " fichiers dans ", " files in "));
    line += counted(c.sourceFolders, pick(french, " dossier source (", " source folder ("),
                    pick(french, " dossiers sources (", " source folders ("));
    line += counted(c.invalidSourceFolders,
                    pick(french, " dossier source invalide; ", " invalid source folder; "),
                    pick(french, " dossiers sources invalides; ", " invalid source folders; "));
    line += counted(c.invalidTargetFolders,
                    pick(french, " dossier cible invalide)", " invalid target folder)"),
                    pick(french, " dossiers cibles invalides)", " invalid target folders)"));
    return line;
}

QString summaryLine2(bool french, const PassCounts& c, const QString& elapsed) {
    if (french) {
        return QString::fromUtf8("Fichiers compressés: ") + QString::number(c.compressed) +
               QString::fromUtf8(", Fichiers décompressés: ") + QString::number(c.uncompressed) +
               QStringLiteral("; durée ") + elapsed + QStringLiteral(" s");
    }
    return QStringLiteral("Compressed files: ") + QString::number(c.compressed) +
           QStringLiteral(", Uncompressed files: ") + QString::number(c.uncompressed) +
           QStringLiteral("; elapsed time ") + elapsed + QStringLiteral(" s");
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

QString neutralNameKept(bool french) {
    return pick(french, " - Fichier temporaire gardé sous son nom neutre",
                " - Temporary file kept under its neutral name");
}

QString waitCause(WaitCause cause, bool french) {
    switch (cause) {
    case WaitCause::TargetMissing:
        return pick(french, "Dossier cible absent", "Target folder missing");
    case WaitCause::TargetReadOnly:
        return pick(french, "Dossier cible en lecture seule", "Target folder read-only");
    case WaitCause::TargetFull:
        return pick(french, "Dossier cible plein", "Target folder full");
    case WaitCause::ArchiveNameTaken:
        return pick(french, "Archive de même nom déjà dans le dossier cible",
                    "An archive of the same name is already in the target folder");
    case WaitCause::CannotMove:
        return pick(french, "Déplacement impossible vers le dossier cible",
                    "Cannot move into the target folder");
    case WaitCause::DamagedArchive:
        return pick(french, "Archive endommagée ou tronquée", "Damaged or truncated archive");
    case WaitCause::SourceFull:
        return pick(french, "Plus de place pour extraire dans le dossier source",
                    "No room left to extract in the source folder");
    case WaitCause::ExtractionFailed:
        return pick(french, "Échec de l'extraction", "Extraction failed");
    case WaitCause::UnreadableName:
        return pick(french, "Nom de fichier illisible dans l'archive",
                    "Unreadable file name in the archive");
    case WaitCause::NoNameFile:
        return pick(french, "Archive sans son fichier de données ou son fichier de nom",
                    "Archive without its data file or its name file");
    case WaitCause::NumberNotStored:
        return pick(french, "Numéro d'archive impossible à enregistrer (LastFileNumber)",
                    "Archive number cannot be stored (LastFileNumber)");
    }
    return QString();
}

QString waitLogMessage(bool french, bool starts, bool wholePair, const QString& cause,
                       const QString& source, const QString& target) {
    const QString pair =
        pick(french, " (couple ", " (pair ") + source + QStringLiteral(" -> ") + target + ')';
    if (!starts) {
        return pick(french, " - Fin de l'attente : ", " - Waiting over: ") + cause + pair;
    }
    const QString waits =
        wholePair ? pick(french, " - les fichiers du couple attendent", " - the pair's files wait")
                  : pick(french, " - fichier en attente", " - file waiting");
    return QStringLiteral(" - ") + cause + waits + pair;
}

QString filesWaiting(bool french) {
    return pick(french, "Fichiers en attente : ", "Files waiting: ");
}

QString otherMembersLeft(bool french) {
    return pick(french, " - Autres fichiers de l'archive non extraits",
                " - Other files of the archive not extracted");
}

} // namespace engine::texts
