#include "engine/RarRunner.h"

#include "config/HexText.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QByteArray>
#include <QFile>
#include <QTime>

#include <climits>

namespace engine {

namespace {

constexpr qint32 kLastNumber = 999999;
const QString kLastFileNumber = QStringLiteral("LastFileNumber");

bool isAsciiDigits(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return !text.isEmpty();
}

// The archiver's exit codes: 0 success, 1 warning; anything higher means the
// extracted files cannot be trusted.
bool archiverSucceeded(int exitStatus) {
    return exitStatus == 0 || exitStatus == 1;
}

QString baseName(const QString& prefix, qint32 number) {
    return prefix + QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
}

// A folder or name that cannot stand between double quotes on the
// archiver's command line.
bool unquotable(const QString& text) {
    return text.contains(QLatin1Char('"')) || text.contains(QChar(0));
}

// A prefix goes into the archiver's wildcard, whose matches it deletes once
// archived: one that could match other files, or leave the folder, is refused.
bool usablePrefix(const QString& prefix) {
    for (const QChar c : prefix) {
        if (c == QLatin1Char('/') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
            c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('\\')) {
            return false;
        }
    }
    return !prefix.isEmpty() && !unquotable(prefix);
}

bool perFileLogs() {
    const config::Settings& s = config::settings();
    return s.logs && s.fichiersLogs;
}

// Tells in the day's log (when logs are on) why an archive stays where it is.
void logRefusedArchive(const QString& archivePath) {
    if (!config::settings().logs) {
        return;
    }
    const QString message =
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) +
        config::program().tr(QStringLiteral(" - Nom de fichier illisible dans l'archive"),
                             QStringLiteral(" - Unreadable file name in the archive"));
    LogUnknownFolder(message, archivePath);
}

// Relay (compress mode) or plain move (uncompress mode) of a file under its
// own name: it replaces a file of that name in the target once complete.
// A pair whose target is its source would move the file onto itself: nothing
// is done then.
bool moveUnchanged(const QString& from, const QString& to) {
    if (platform::sameFile(from, to)) {
        return false;
    }
    return platform::moveReplacing(from, to);
}

// The first number from wanted on (wrapping after 999999) whose archive
// names nothing yet: no base.rar in the target, no base.rar, .rr or .rn in
// the source folder. -1 when all million are taken.
qint32 freeNumber(qint32 wanted, const QString& prefix, const QString& s, const QString& t) {
    qint32 number = wanted;
    for (qint32 tries = 0; tries <= kLastNumber; ++tries) {
        const QString base = baseName(prefix, number);
        if (!platform::exists(t + base + QStringLiteral(".rar")) &&
            !platform::exists(s + base + QStringLiteral(".rar")) &&
            !platform::exists(s + base + QStringLiteral(".rr")) &&
            !platform::exists(s + base + QStringLiteral(".rn"))) {
            return number;
        }
        number = number >= kLastNumber ? 0 : number + 1;
    }
    return -1;
}

} // namespace

bool RunRarConsoleIn(bool show, const QString& commandLine, const QString& workingFolder,
                     int* exitStatus) {
    platform::RunOptions options;
    options.show = show;
    options.programFolder = config::program().exeDir;
    options.workingFolder = workingFolder;
    return platform::runAndWait(commandLine, options, exitStatus);
}

bool RunRarConsole(bool show, const QString& commandLine) {
    return RunRarConsoleIn(show, commandLine, QString());
}

bool CheckRarConsole() {
    return RunRarConsole(false, QStringLiteral("rar -?"));
}

QString rarMissingMessage(int language) {
    return language == 1 ? QStringLiteral("WinRar n'est pas installé\n\nVelmorado ne peut pas "
                                          "fonctionner")
                         : QStringLiteral("WinRar not installed\n\nVelmorado cannot run");
}

QString rarMissingTitle() {
    return config::kProductName + QStringLiteral(" - ") + config::kVersion;
}

bool IsNumberedArchive(const QString& name, const QString& prefix) {
    return name.size() == 12 && name.mid(8).toUpper() == QLatin1String(".RAR") &&
           name.left(2).toUpper() == prefix && isAsciiDigits(name.mid(2, 6));
}

bool IsOwnTemporaryFile(const QString& name, const QString& prefix, QString* base) {
    if (name.size() != 11 || name.left(2).toUpper() != prefix.toUpper() ||
        !isAsciiDigits(name.mid(2, 6))) {
        return false;
    }
    const QString ext = name.mid(8).toLower();
    if (ext != QLatin1String(".rr") && ext != QLatin1String(".rn")) {
        return false;
    }
    if (base) {
        *base = name.left(8);
    }
    return true;
}

std::optional<QString> ReadNameFile(const QByteArray& content) {
    // The first item: blanks skipped, the text between the first pair of
    // double quotes, or up to a comma or line end when it is not quoted.
    const QString text = QString::fromLatin1(content).trimmed();
    QString item;
    if (text.startsWith(QLatin1Char('"'))) {
        const qsizetype end = text.indexOf(QLatin1Char('"'), 1);
        item = end < 0 ? text.mid(1) : text.mid(1, end - 1);
    } else {
        qsizetype end = 0;
        while (end < text.size() && text[end] != QLatin1Char(',') &&
               text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n')) {
            ++end;
        }
        item = text.left(end).trimmed();
    }
    // The name must stay a plain name inside the folder it is restored to.
    const std::optional<QString> name = config::TryDecodeHexText(item);
    if (!name || name->isEmpty() || *name == QLatin1String(".") || *name == QLatin1String("..") ||
        name->contains(QLatin1Char('/')) || name->contains(QChar(0))) {
        return std::nullopt;
    }
    const QByteArray encoded = QFile::encodeName(*name);
    if (encoded.size() > NAME_MAX || QFile::decodeName(encoded) != *name) {
        return std::nullopt; // half a character, or too long for a file name
    }
    return name;
}

FileOutcome CompressFile() {
    EngineState& st = state();
    const config::Settings& set = config::settings();
    const QString& s = st.sourceFolder;
    const QString& t = st.targetFolder;
    const QString& n = st.currentFile;
    if (n.isEmpty()) {
        return FileOutcome::Stopped;
    }

    // A numbered archive is relayed unchanged.
    if (IsNumberedArchive(n, set.prefix)) {
        if (!moveUnchanged(s + n, t + n)) {
            return FileOutcome::Stopped;
        }
        ++st.compressed;
        if (perFileLogs() && !LogCompression(s + n, t + n)) {
            return FileOutcome::EndWalk;
        }
        return FileOutcome::Done;
    }

    if (unquotable(s) || !usablePrefix(set.prefix)) {
        return FileOutcome::Stopped;
    }

    // The number after the last one used, or the first free one after it.
    const QString stored = config::ReadSetting(config::kSectionProcessing, kLastFileNumber);
    const qint32 last = stored.isEmpty() ? 0 : config::readInt32(stored);
    const qint32 wanted = last >= kLastNumber || last < 0 ? 0 : last + 1;
    const qint32 number = freeNumber(wanted, set.prefix, s, t);
    if (number < 0) {
        return FileOutcome::Stopped;
    }
    const QString base = baseName(set.prefix, number);
    const QString dataFile = s + base + QStringLiteral(".rr");
    const QString nameFile = s + base + QStringLiteral(".rn");
    const QString archive = base + QStringLiteral(".rar");

    // The name file goes to disk before the file leaves its name, so that an
    // interruption at any later point leaves the name beside the data.
    const QByteArray nameLine = '"' + config::EncodeHexText(n).toLatin1() + "\"\r\n";
    if (!platform::createFileDurably(nameFile, nameLine) || !platform::setHidden(nameFile)) {
        platform::deleteFile(nameFile);
        return FileOutcome::Stopped;
    }
    if (!platform::moveNoReplace(s + n, dataFile)) {
        platform::deleteFile(nameFile);
        return FileOutcome::Stopped;
    }
    if (!platform::setHidden(dataFile)) {
        return FileOutcome::Stopped;
    }

    // The archiver deletes the data file before the name file, once the
    // archive is complete. Without it both files stay and no number is used.
    const QString command = QStringLiteral("rar a -os \"") + s + archive + QStringLiteral("\" \"") +
                            s + base + QStringLiteral(".r?\" -df");
    if (!RunRarConsole(set.voirConsoleRar, command)) {
        return FileOutcome::Stopped;
    }
    if (!platform::exists(s + archive)) {
        return FileOutcome::Stopped;
    }
    if (platform::exists(dataFile)) {
        // The archiver did not finish its work: its archive cannot be
        // trusted, the data file still holds the file.
        platform::deleteFile(s + archive);
        return FileOutcome::Stopped;
    }
    platform::deleteFile(nameFile); // normally gone already; the archive holds it

    // Never over an archive that is already in the target; a pair whose
    // target is its source has its archive in place already.
    if (!platform::sameFile(s + archive, t + archive) &&
        !platform::moveNoReplace(s + archive, t + archive)) {
        return FileOutcome::Stopped;
    }
    config::WriteSetting(config::kSectionProcessing, kLastFileNumber, QString::number(number));

    ++st.compressed;
    if (perFileLogs()) {
        LogCompression(s + n, t + archive); // a failed line is ignored here
    }
    return FileOutcome::Done;
}

FileOutcome ExtractFile() {
    EngineState& st = state();
    const config::Settings& set = config::settings();
    const QString& s = st.sourceFolder;
    const QString& t = st.targetFolder;
    const QString& n = st.currentFile;
    if (n.isEmpty()) {
        return FileOutcome::Stopped;
    }

    if (!IsNumberedArchive(n, set.prefix)) {
        if (!moveUnchanged(s + n, t + n)) {
            return FileOutcome::Stopped;
        }
        ++st.uncompressed;
        if (perFileLogs() && !LogExtraction(s + n, t + n)) {
            return FileOutcome::EndWalk;
        }
        return FileOutcome::Done;
    }

    const QString base = n.left(n.lastIndexOf(QLatin1Char('.')));
    const QString archive = s + n;
    if (unquotable(s)) {
        return FileOutcome::Stopped;
    }
    if (platform::fileSize(archive) <= 0) {
        return FileOutcome::Stopped; // an empty archive is never handed to the archiver
    }
    const QString dataFile = s + base + QStringLiteral(".rr");
    const QString nameFile = s + base + QStringLiteral(".rn");
    // When the file cannot be restored, what this extraction wrote is removed
    // again: the archive stays and still holds it. A file of those names that
    // the archiver left untouched was not ours to remove.
    const platform::FileIdentity dataBefore = platform::fileIdentity(dataFile);
    const platform::FileIdentity nameBefore = platform::fileIdentity(nameFile);
    const auto dropExtracted = [&] {
        const platform::FileIdentity dataNow = platform::fileIdentity(dataFile);
        if (dataNow.exists && dataNow != dataBefore) {
            platform::deleteFile(dataFile);
        }
        const platform::FileIdentity nameNow = platform::fileIdentity(nameFile);
        if (nameNow.exists && nameNow != nameBefore) {
            platform::deleteFile(nameFile);
        }
    };

    int status = -1;
    const QString command = QStringLiteral("rar e \"") + archive + QLatin1Char('"');
    if (!RunRarConsoleIn(set.voirConsoleRar, command, s, &status)) {
        return FileOutcome::Stopped;
    }
    if (!archiverSucceeded(status)) {
        dropExtracted();
        return FileOutcome::Stopped;
    }
    if (!platform::exists(nameFile)) {
        dropExtracted();
        return FileOutcome::Stopped;
    }

    QByteArray content;
    {
        QFile f(nameFile);
        if (!f.open(QIODevice::ReadOnly)) {
            return FileOutcome::Stopped;
        }
        content = f.read(64 * 1024);
    }
    const std::optional<QString> decoded = ReadNameFile(content);
    if (!decoded) {
        dropExtracted();
        logRefusedArchive(archive);
        return FileOutcome::Stopped;
    }
    if (!platform::deleteFile(nameFile)) {
        return FileOutcome::Stopped;
    }
    const QString restored = t + *decoded;

    // When the restored name is the archive's own (a pair whose target is its
    // source), the archive is gone once the file stands in its place.
    const bool archiveIsDestination = platform::sameFile(archive, restored);
    if (!platform::moveReplacing(dataFile, restored)) {
        dropExtracted();
        return FileOutcome::Stopped;
    }
    if (!platform::setNormal(restored)) {
        return FileOutcome::Stopped;
    }
    if (!archiveIsDestination) {
        platform::deleteFile(archive);
    }

    ++st.uncompressed;
    if (perFileLogs() && !LogExtraction(archive, restored)) {
        return FileOutcome::EndWalk;
    }
    return FileOutcome::Done;
}

} // namespace engine
