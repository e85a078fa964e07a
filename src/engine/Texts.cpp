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

} // namespace engine::texts
