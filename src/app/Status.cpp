#include "app/Status.h"

#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/EngineState.h"
#include "engine/Texts.h"
#include "engine/WaitCauses.h"
#include "platform/FileOps.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <optional>

namespace app {

namespace {

using engine::WaitCause;

// The key of a cause in the status: stable, whatever the language.
QString causeKey(WaitCause cause) {
    switch (cause) {
    case WaitCause::TargetMissing:
        return QStringLiteral("target-missing");
    case WaitCause::SourceReadOnly:
        return QStringLiteral("source-read-only");
    case WaitCause::TargetReadOnly:
        return QStringLiteral("target-read-only");
    case WaitCause::TargetFull:
        return QStringLiteral("target-full");
    case WaitCause::ArchiveNameTaken:
        return QStringLiteral("archive-name-taken");
    case WaitCause::CannotMove:
        return QStringLiteral("cannot-move");
    case WaitCause::DamagedArchive:
        return QStringLiteral("damaged-archive");
    case WaitCause::SourceFull:
        return QStringLiteral("source-full");
    case WaitCause::ExtractionFailed:
        return QStringLiteral("extraction-failed");
    case WaitCause::UnreadableName:
        return QStringLiteral("unreadable-name");
    case WaitCause::NoNameFile:
        return QStringLiteral("no-name-file");
    case WaitCause::NumberNotStored:
        return QStringLiteral("number-not-stored");
    case WaitCause::PackingFailed:
        return QStringLiteral("packing-failed");
    case WaitCause::FileUnreadable:
        return QStringLiteral("file-unreadable");
    }
    return QString();
}

std::optional<WaitCause> causeOf(const QString& key) {
    for (int c = 0; c <= int(WaitCause::FileUnreadable); ++c) {
        if (causeKey(WaitCause(c)) == key) {
            return WaitCause(c);
        }
    }
    return std::nullopt;
}

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The number of the pair source -> target (the wait causes keep the folders
// with their "/"), 0 when no pair of the table is that one any longer.
int pairNumberOf(const QString& source, const QString& target) {
    const auto& pairs = config::folderPairs().pairs;
    for (int i = 0; i < pairs.size(); ++i) {
        if (withSlash(pairs[i].source) == source && withSlash(pairs[i].target) == target) {
            return i + 1;
        }
    }
    return 0;
}

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}
int number(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toInt();
}
bool flag(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toBool();
}

// The cause's words in language; the key itself for a cause this copy does
// not know (a later copy answered).
QString causeText(const QString& key, int language) {
    const std::optional<WaitCause> cause = causeOf(key);
    return cause ? engine::texts::waitCause(*cause, language) : key;
}

} // namespace

QJsonObject statusReport() {
    const engine::EngineState& st = engine::state();
    QJsonObject status{{QStringLiteral("program"), config::program().exeDir},
                       {QStringLiteral("processing"), !st.stopped},
                       {QStringLiteral("passRunning"), st.passRunning}};
    if (st.lastPassEnded.isValid()) {
        const engine::PassCounts& c = st.lastPass;
        status.insert(
            QStringLiteral("lastPass"),
            QJsonObject{{QStringLiteral("ended"),
                         st.lastPassEnded.toOffsetFromUtc(st.lastPassEnded.offsetFromUtc())
                             .toString(Qt::ISODate)},
                        {QStringLiteral("files"), c.files},
                        {QStringLiteral("compressed"), c.compressed},
                        {QStringLiteral("uncompressed"), c.uncompressed},
                        {QStringLiteral("sourceFolders"), c.sourceFolders},
                        {QStringLiteral("invalidSourceFolders"), c.invalidSourceFolders},
                        {QStringLiteral("invalidTargetFolders"), c.invalidTargetFolders}});
    }
    QJsonArray pairs;
    int n = 0;
    for (const config::FolderPair& p : config::folderPairs().pairs) {
        pairs.append(QJsonObject{
            {QStringLiteral("pair"), ++n},
            {QStringLiteral("source"), p.source},
            {QStringLiteral("target"), p.target},
            {QStringLiteral("mode"), p.rar == QLatin1String("0") ? QStringLiteral("compress")
                                                                 : QStringLiteral("uncompress")},
            {QStringLiteral("enabled"), p.enable == QLatin1String("1")},
            {QStringLiteral("interval"), qMax(1, int(config::leadingNumber(p.nbTemporisations)))},
            {QStringLiteral("sourceExists"), !p.source.isEmpty() && platform::isFolder(p.source)},
            {QStringLiteral("targetExists"), !p.target.isEmpty() && platform::isFolder(p.target)}});
    }
    status.insert(QStringLiteral("pairs"), pairs);
    QJsonArray waiting;
    for (const engine::WaitCauses::Waiting& w : engine::waitCauses().list()) {
        waiting.append(QJsonObject{{QStringLiteral("cause"), causeKey(w.cause)},
                                   {QStringLiteral("pair"), pairNumberOf(w.source, w.target)},
                                   {QStringLiteral("source"), w.source},
                                   {QStringLiteral("target"), w.target},
                                   {QStringLiteral("file"), w.file}});
    }
    status.insert(QStringLiteral("waiting"), waiting);
    return status;
}

QString statusText(const QJsonObject& status, int language) {
    auto pick = [language](const char* french, const char* english) {
        return config::pickText(language, french, english);
    };
    QString out = config::productAndVersion() + QStringLiteral(": ") + text(status, "program") +
                  QLatin1Char('\n');
    out += pick("Traitement : ", "Processing: ") +
           (flag(status, "processing") ? pick("démarré", "started") : pick("arrêté", "stopped"));
    if (flag(status, "passRunning")) {
        out += pick(" (passage en cours)", " (a pass is running)");
    }
    out += QLatin1Char('\n');
    const QJsonObject last = status.value(QLatin1String("lastPass")).toObject();
    if (last.isEmpty()) {
        out += pick("Dernier passage : aucun", "Last pass: none yet") + QLatin1Char('\n');
    } else {
        const QDateTime ended = QDateTime::fromString(text(last, "ended"), Qt::ISODate);
        out += pick("Dernier passage : ", "Last pass: ") +
               ended.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" - ") +
               QString::number(number(last, "files")) + pick(" fichier(s), ", " file(s), ") +
               QString::number(number(last, "compressed")) +
               pick(" compressé(s), ", " compressed, ") +
               QString::number(number(last, "uncompressed")) +
               pick(" décompressé(s); ", " uncompressed; ") +
               QString::number(number(last, "sourceFolders")) +
               pick(" dossier(s) source, ", " source folder(s), ") +
               QString::number(number(last, "invalidSourceFolders")) +
               pick(" source(s) invalide(s), ", " invalid source(s), ") +
               QString::number(number(last, "invalidTargetFolders")) +
               pick(" cible(s) invalide(s)", " invalid target(s)") + QLatin1Char('\n');
    }
    const auto present = [&](bool there) {
        return there ? pick("présent", "present") : pick("ABSENT", "MISSING");
    };
    for (const QJsonValue v : status.value(QLatin1String("pairs")).toArray()) {
        const QJsonObject p = v.toObject();
        const int interval = number(p, "interval");
        out +=
            pick("Couple ", "Pair ") + QString::number(number(p, "pair")) + QStringLiteral(" (") +
            (text(p, "mode") == QLatin1String("compress") ? pick("compression", "compress")
                                                          : pick("décompression", "uncompress")) +
            QStringLiteral(", ") +
            (interval <= 1 ? pick("à chaque passage", "every pass")
                           : pick("tous les ", "every ") + QString::number(interval) +
                                 pick(" passages", " passes")) +
            QStringLiteral(", ") +
            (flag(p, "enabled") ? pick("actif", "on") : pick("désactivé", "off")) +
            QStringLiteral("): ") + text(p, "source") + QStringLiteral(" -> ") + text(p, "target") +
            QLatin1Char('\n');
        out += pick("    dossier source : ", "    source folder: ") +
               present(flag(p, "sourceExists")) + pick(", dossier cible : ", ", target folder: ") +
               present(flag(p, "targetExists")) + QLatin1Char('\n');
    }
    const QJsonArray waiting = status.value(QLatin1String("waiting")).toArray();
    if (waiting.isEmpty()) {
        out += pick("Aucun fichier en attente", "No file waits") + QLatin1Char('\n');
    } else {
        out += engine::texts::filesWaiting(language) + QString::number(waiting.size()) +
               QLatin1Char('\n');
        for (const QJsonValue v : waiting) {
            const QJsonObject w = v.toObject();
            out += QStringLiteral("  ") + causeText(text(w, "cause"), language) +
                   pick(" - couple ", " - pair ") + QString::number(number(w, "pair")) +
                   QStringLiteral(" (") + text(w, "source") + QStringLiteral(" -> ") +
                   text(w, "target") + QStringLiteral("): ") + text(w, "file") + QLatin1Char('\n');
        }
    }
    return out;
}

int printStatus(const QString& programFolder, bool json) {
    const QString folder = QDir::cleanPath(programFolder);
    config::setProgramFolder(folder);
    const int language = config::readLanguage(config::program().parametersPath);
    const platform::SingleInstance instance(folder);
    QString error;
    std::optional<QJsonObject> status = instance.askStatus(&error);
    if (!status) {
        std::fprintf(
            stderr, "velmorado: %s\n",
            qPrintable(config::pickText(language, "aucune copie de Velmorado ne répond dans ",
                                        "no copy of Velmorado answers in ") +
                       folder + QStringLiteral(" (") + error + QLatin1Char(')')));
        return kStatusNotRunning;
    }
    const bool filesWait = !status->value(QLatin1String("waiting")).toArray().isEmpty();
    QByteArray out;
    if (json) {
        QJsonArray waiting;
        for (const QJsonValue v : status->value(QLatin1String("waiting")).toArray()) {
            QJsonObject w = v.toObject();
            w.insert(QStringLiteral("text"), causeText(text(w, "cause"), language));
            waiting.append(w);
        }
        status->insert(QStringLiteral("waiting"), waiting);
        out = QJsonDocument(*status).toJson(QJsonDocument::Indented);
    } else {
        out = statusText(*status, language).toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return filesWait ? kStatusFilesWait : kStatusNothingWaits;
}

} // namespace app
