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

// A direction mark or override: it would reorder what follows it on the
// screen, so that a name could pass for another.
bool turnsDirection(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// What a terminal acts on beyond the C0 controls: DEL, a C1 control (to many
// terminals U+009B starts a control sequence, as ESC [ does), a direction mark.
bool drivesTerminal(char16_t c) {
    return c == 0x7F || (c >= 0x80 && c <= 0x9F) || turnsDirection(c);
}

void appendUnicodeEscape(QString& out, char16_t c) {
    out += QLatin1String("\\u") + QString::number(c, 16).rightJustified(4, u'0');
}

// A name (of a file, a folder or the program) as a terminal may show it. A
// file name is any bytes but "/" and NUL, and those of a share come from other
// machines: one holding an escape sequence would move the cursor, recolour,
// retitle or clear the operator's terminal, or write to the clipboard, and a
// line break would add a line of its own to the report. Such characters are
// written as escapes: a control character of C0 and DEL, and a byte that is
// no UTF-8 (decodePath's U+DC00 + byte), as "\xHH" (the byte); a control
// character of C1, a direction mark and any other lone surrogate as
// "\uHHHH"; the backslash itself as "\\", so that each shown name stands
// for one name only.
QString shownName(const QString& name) {
    QString out;
    out.reserve(name.size());
    const auto hex = [&out](const char* lead, uint value, int digits) {
        out += QLatin1String(lead) + QString::number(value, 16).rightJustified(digits, u'0');
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            out += name[i];
            out += name[++i];
        } else if (c < 0x20 || c == 0x7F) {
            hex("\\x", c, 2);
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            hex("\\x", uint(c) - 0xDC00, 2);
        } else if (drivesTerminal(c) || QChar::isSurrogate(c)) {
            appendUnicodeEscape(out, c);
        } else if (c == u'\\') {
            out += QLatin1String("\\\\");
        } else {
            out += name[i];
        }
    }
    return out;
}

// JSON as a terminal may show it. Qt's writer escapes the C0 controls and
// writes a lone surrogate as "\uDCxx", but writes DEL, the C1 controls (to
// many terminals U+009B starts a control sequence, as ESC [ does) and the
// direction marks as they are: they are escaped here too. Outside its
// strings JSON is ASCII, and a JSON reader reads "\u009b" back as the same
// character, so the document says what it said.
QByteArray escapedForTerminal(const QByteArray& json) {
    const QString text = QString::fromUtf8(json);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (drivesTerminal(c.unicode())) {
            appendUnicodeEscape(out, c.unicode());
        } else {
            out += c;
        }
    }
    return out.toUtf8();
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
    QString out = config::productAndVersion() + QStringLiteral(": ") +
                  shownName(text(status, "program")) + QLatin1Char('\n');
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
            QStringLiteral("): ") + shownName(text(p, "source")) + QStringLiteral(" -> ") +
            shownName(text(p, "target")) + QLatin1Char('\n');
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
            out += QStringLiteral("  ") + shownName(causeText(text(w, "cause"), language)) +
                   pick(" - couple ", " - pair ") + QString::number(number(w, "pair")) +
                   QStringLiteral(" (") + shownName(text(w, "source")) + QStringLiteral(" -> ") +
                   shownName(text(w, "target")) + QStringLiteral("): ") +
                   shownName(text(w, "file")) + QLatin1Char('\n');
        }
    }
    return out;
}

int printStatus(const QString& programFolder, bool json) {
    const QString folder = QDir::cleanPath(programFolder);
    config::setProgramFolder(folder);
    const int language = config::readLanguage(config::program().parametersPath);
    // Where no runtime folder is, no copy runs: none is made for asking.
    const platform::SingleInstance instance(folder, false);
    QString error;
    std::optional<QJsonObject> status = instance.askStatus(&error);
    if (!status) {
        std::fprintf(
            stderr, "velmorado: %s\n",
            qPrintable(config::pickText(language, "aucune copie de Velmorado ne répond dans ",
                                        "no copy of Velmorado answers in ") +
                       shownName(folder) + QStringLiteral(" (") + shownName(error) +
                       QLatin1Char(')')));
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
        out = escapedForTerminal(QJsonDocument(*status).toJson(QJsonDocument::Indented));
    } else {
        out = statusText(*status, language).toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return filesWait ? kStatusFilesWait : kStatusNothingWaits;
}

} // namespace app
