#include "engine/RarRunner.h"

#include "config/HexText.h"
#include "config/PrivateProfile.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "engine/NumberedName.h"
#include "engine/Texts.h"
#include "engine/WaitCauses.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/FolderWatch.h"
#include "platform/Process.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace engine {

namespace {

// The archiver's exit codes: 0 success, 1 warning; anything higher means the
// extracted files cannot be trusted.
bool archiverSucceeded(int exitStatus) {
    return exitStatus == 0 || exitStatus == 1;
}

// The archiver's extraction command line for archive, run in the folder it
// is to unpack into. Every file it writes is flushed, but for one named
// readOnly (the name file, which is read at once and goes with the folder).
QString extractionCommand(const QString& archive, const QString& readOnly = QString()) {
    return QStringLiteral("rar e ") +
           (readOnly.isEmpty()
                ? QString()
                : platform::quoteArgument(QStringLiteral("-ns") + readOnly) + QLatin1Char(' ')) +
           platform::quoteArgument(archive);
}

// The archiver's warnings about streams it could not restore, as it wrote
// them on its standard error ("rar: warning: ... not restored: why").
QStringList streamsNotRestored(const QByteArray& errorOutput) {
    QStringList lines;
    for (const QByteArray& line : errorOutput.split('\n')) {
        if (line.startsWith("rar: warning: ") && line.contains("not restored")) {
            lines << QString::fromUtf8(line.mid(14)).trimmed();
        }
    }
    return lines;
}

// A path holding NUL names nothing (it would stand for what is before the
// NUL): it never goes onto the archiver's command line.
bool holdsNul(const QString& text) {
    return text.contains(QChar(0));
}

bool perFileLogs() {
    const config::Settings& s = config::settings();
    return s.logs && s.fichiersLogs;
}

// Plain move in uncompress mode of a file under its own name: it replaces a
// file of that name in the target once complete. A pair whose target is its
// source would move the file onto itself: nothing is done then.
bool moveUnchanged(const QString& from, const QString& to) {
    if (platform::sameFile(from, to)) {
        return false;
    }
    return platform::moveReplacing(from, to);
}

// Removes a private extraction folder with the files in it, never following
// a link out of it. The archiver extracts without paths, so such a folder
// holds files only: anything else under that name (a file, a link, a folder
// that holds a folder) is not one and stays whole. True when nothing of that
// name is left.
bool removeFolder(const QString& path) {
    const QByteArray p = platform::encodePath(path);
    const int fd = ::open(p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    QList<QByteArray> files;
    bool flat = true;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray child(entry->d_name);
        struct stat st {};
        if (child == "." || child == "..") {
            continue;
        }
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            flat = false;
            break;
        }
        files << child;
    }
    bool ok = flat;
    for (qsizetype i = 0; flat && i < files.size(); ++i) {
        ok = (::unlinkat(fd, files[i].constData(), 0) == 0 || errno == ENOENT) && ok;
    }
    ::closedir(dir);
    return ok && (::rmdir(p.constData()) == 0 || errno == ENOENT);
}

// The private folder that one extraction writes into: hidden, in the folder
// of the archive (so on its file system), named after the archive, locked for
// as long as it is in use, and removed with everything in it at the end. The
// archiver runs in it, so what the archive holds never lands beside the
// user's files. A folder of that name left by an extraction that did not end
// is removed first, unless a live process still holds its lock.
class ExtractionFolder {
public:
    explicit ExtractionFolder(QString path) : m_path(std::move(path)) {
        if (platform::exists(m_path) &&
            (platform::lockedByOther(m_path) || !removeFolder(m_path))) {
            return;
        }
        if (::mkdir(platform::encodePath(m_path).constData(), 0700) != 0) {
            return;
        }
        m_made = true;
        // Where folders cannot be locked, the archive's own lock (held by
        // the caller) is what keeps other copies out.
        m_lock = platform::FileLock::folder(m_path);
    }
    ~ExtractionFolder() {
        if (m_made) {
            removeFolder(m_path);
        }
    }
    ExtractionFolder(const ExtractionFolder&) = delete;
    ExtractionFolder& operator=(const ExtractionFolder&) = delete;

    bool ready() const { return m_made; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    bool m_made = false;
    platform::FileLock m_lock;
};

// What the archiver left in an extraction folder: the data file and the name
// file of the archive's own number, and every other member.
struct Members {
    QString dataFile, nameFile;
    QStringList others;
};

Members sortMembers(const QString& folder, const NumberedName& numbered,
                    const QString& archiveBase) {
    Members m;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    // The exact names first: of two members that differ only in case, the
    // one that matches the archive's own case is taken.
    const QString exactData = NumberedName::dataFileOf(archiveBase);
    const QString exactName = NumberedName::nameFileOf(archiveBase);
    if (names.contains(exactData)) {
        m.dataFile = exactData;
    }
    if (names.contains(exactName)) {
        m.nameFile = exactName;
    }
    for (const QString& name : names) {
        if (name == m.dataFile || name == m.nameFile) {
            continue;
        }
        const std::optional<NumberedName::Parsed> p = numbered.parse(name);
        const bool ours = p && p->base.compare(archiveBase, Qt::CaseInsensitive) == 0;
        if (ours && p->kind == NumberedName::Kind::DataFile && m.dataFile.isEmpty()) {
            m.dataFile = name;
        } else if (ours && p->kind == NumberedName::Kind::NameFile && m.nameFile.isEmpty()) {
            m.nameFile = name;
        } else {
            m.others << name;
        }
    }
    return m;
}

// Moves from into folder under name, or "name (2)" up to "name (9)" when a
// file has that name: never over a file. The full path it took, or empty.
QString giveBack(const QString& from, const QString& folder, const QString& name) {
    for (int i = 1; i < 10; ++i) {
        const QString to = folder + (i == 1 ? name : name + QStringLiteral(" (%1)").arg(i));
        if (platform::moveNoReplace(from, to)) {
            return to;
        }
        if (!platform::exists(to)) {
            break; // not a name that is taken: the move itself fails
        }
    }
    return QString();
}

// An archive unpacked once, with the archiver, in the private extraction
// folder beside it, the archive locked for as long as the folder is there:
// what it holds is read or taken from that folder, never from the user's.
class UnpackedBeside {
public:
    UnpackedBeside(const QString& folder, const QString& archiveName, bool showConsole)
        : m_archive(folder + archiveName), m_lock(platform::FileLock::take(m_archive)),
          m_work(folder + platform::kExtractionFolderPrefix + archiveName) {
        int status = -1;
        m_ok = m_lock.held() && m_work.ready() &&
               RunRarConsoleIn(showConsole, extractionCommand(m_archive), m_work.path(), &status) &&
               archiverSucceeded(status);
    }
    // Whether the archiver unpacked all of it.
    bool ok() const { return m_ok; }
    // The extraction folder, with a closing slash.
    QString folder() const { return m_work.path() + QLatin1Char('/'); }
    Members members(const NumberedName& numbered, const QString& archiveBase) const {
        return sortMembers(m_work.path(), numbered, archiveBase);
    }
    // Removes the archive's name while it still names the archive unpacked.
    void deleteArchive() const {
        if (const std::optional<platform::FileId> id = m_lock.id()) {
            platform::deleteIfSame(m_archive, *id);
        }
    }

private:
    const QString m_archive;
    platform::FileLock m_lock;
    ExtractionFolder m_work;
    bool m_ok = false;
};

// Whether the archive of number just made in the job's source folder holds
// the data file and the name file of that number and nothing else. The
// archiver's wildcard base + ".r?" takes every file of that form in the
// folder, and -df deletes what it took: a file that took such a name between
// the number check and the archiver's run would travel in the archive and be
// left out at the far end. So, unless the watch of the folder saw no such
// name come in (onlyItsPairCameIn), the archive is unpacked beside it
// before it leaves. When it holds more, what it holds goes back into the
// source folder (the job's file under its own name, the others under
// theirs), the archive goes, and the next pass packs them one by one. An
// archive that cannot be checked (the extraction fails) goes its way.
bool holdsOnlyItsPair(const FileJob& job, const NumberedName& numbered, qint32 number) {
    const QString archive = job.sourceFolder + numbered.archive(number);
    const UnpackedBeside unpacked(job.sourceFolder, numbered.archive(number),
                                  config::settings().voirConsoleRar);
    if (!unpacked.ok()) {
        return true;
    }
    const Members members = unpacked.members(numbered, numbered.base(number));
    if (members.others.isEmpty()) {
        return true;
    }
    const QString from = unpacked.folder();
    QStringList given;
    bool allBack = true;
    for (const QString& other : members.others) {
        const QString to = giveBack(from + other, job.sourceFolder, other);
        allBack = allBack && !to.isEmpty();
        given << (to.isEmpty() ? other : to.mid(job.sourceFolder.size()));
    }
    if (!members.dataFile.isEmpty() &&
        giveBack(from + members.dataFile, job.sourceFolder, job.name).isEmpty()) {
        allBack = false;
    }
    // What could not be given back is still in the archive, which then stays.
    if (allBack) {
        unpacked.deleteArchive();
    }
    if (config::settings().logs) {
        LogUnknownFolder(texts::timeNow() + texts::filesCaughtGivenBack(config::language()),
                         archive + QStringLiteral(": ") + given.join(QStringLiteral(", ")));
    }
    return false;
}

// Whether two regular files have the same bytes.
bool sameContent(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size()) {
        return false;
    }
    while (!fa.atEnd()) {
        const QByteArray ca = fa.read(1 << 20);
        if (ca.isEmpty() || ca != fb.read(1 << 20)) {
            return false;
        }
    }
    return true;
}

// Deletes the archive of number in folder when it holds the data file and
// the name file of that number under their exact names, with the same bytes
// as dataFile and nameFile, and nothing else: the archive the archiver made
// of them. Any other archive, or one that cannot be unpacked, stays.
void deleteIfExactlyThePair(const QString& folder, const NumberedName& numbered, qint32 number,
                            const QString& dataFile, const QString& nameFile) {
    const UnpackedBeside unpacked(folder, numbered.archive(number), false);
    if (!unpacked.ok()) {
        return;
    }
    const Members members = unpacked.members(numbered, numbered.base(number));
    if (members.others.isEmpty() && members.dataFile == numbered.dataFile(number) &&
        members.nameFile == numbered.nameFile(number) &&
        sameContent(unpacked.folder() + members.dataFile, dataFile) &&
        sameContent(unpacked.folder() + members.nameFile, nameFile)) {
        unpacked.deleteArchive();
    }
}

// Whether, since the watch on the source folder began (before its number was
// found free), no name came in that the archiver's wildcard could have taken
// besides the pair itself and the archive: then the archive holds only its
// pair, and there is no need to extract it to check. Where the watch cannot
// see every name (a share, the kernel's queue ran over), that is not known.
bool onlyItsPairCameIn(platform::FolderWatch& watch, const NumberedName& numbered, qint32 number) {
    bool complete = false;
    const QStringList added = watch.namesAdded(&complete);
    if (!complete) {
        return false;
    }
    const QStringList ours{numbered.dataFile(number), numbered.nameFile(number),
                           numbered.archive(number)};
    return std::none_of(added.begin(), added.end(), [&](const QString& name) {
        return numbered.numberHeld(name) == number && !ours.contains(name);
    });
}

// Free bytes in folder, -1 when unknown.
qint64 freeSpace(const QString& folder) {
    struct statvfs vfs {};
    if (::statvfs(platform::encodePath(folder).constData(), &vfs) != 0) {
        return -1;
    }
    return qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
}

// What either direction works with for one file: the job's folders and
// name, the pass's counts, the settings, the wait causes and the rules of a
// numbered name under the prefix in force.
struct OneFile {
    explicit OneFile(const FileJob& job) : s(job.sourceFolder), t(job.targetFolder), n(job.name) {}
    const QString& s;
    const QString& t;
    const QString& n;
    EngineState& st = state();
    const config::Settings& set = config::settings();
    WaitCauses& causes = waitCauses();
    const NumberedName numbered{set.prefix};
};

// What a NumberScope keeps for its walk: the last number handed out in it
// and the one stored (handed out up to it), once the scope has stored one,
// and the watch on each source folder, kept from one file to the next.
struct WalkScope {
    int depth = 0;
    bool stored = false;
    qint32 handed = 0;
    qint32 through = 0;
    qint32 ahead = 1;
    std::map<QString, std::unique_ptr<platform::FolderWatch>> watches;
};

WalkScope& walkScope() {
    static WalkScope scope;
    return scope;
}

constexpr qint32 kNumberCount = NumberedName::kLastNumber + 1;
constexpr qint32 kMaxNumbersAhead = 64;

// How many steps on from `from` number `to` comes, numbers running in a circle.
qint32 stepsFrom(qint32 from, qint32 to) {
    return ((to - from) % kNumberCount + kNumberCount) % kNumberCount;
}

QString storedLastNumber() {
    return config::ReadSetting(config::kSectionProcessing, config::keys::kLastFileNumber);
}

// Stores number as LastFileNumber. Where the program's folder is on another
// file system than the source folder, nothing else keeps the stored number
// on disk before the archive made under it: its folder is flushed at once.
bool storeLastNumber(qint32 number, const QString& source) {
    if (!config::PrivateProfile::write(config::program().parametersPath, config::kSectionProcessing,
                                       config::keys::kLastFileNumber, QString::number(number))) {
        return false;
    }
    if (!source.isEmpty() && !platform::sameFileSystem(config::program().exeDir, source)) {
        platform::syncFolder(config::program().exeDir);
    }
    return true;
}

// The number after which the next one is looked for: the last one handed
// out in the scope while what is stored is still the scope's, else the stored
// one. The stored value is read at every file, in a scope or not: one that
// somebody changed meanwhile (edited by hand) is followed from the next file
// on, and the scope's next block is stored after it, not over it. One that
// is gone (the key, or the whole file) does not start the numbers again: the
// scope's own is stored again with the next file.
qint32 lastNumberHandedOut() {
    WalkScope& scope = walkScope();
    const QString stored = storedLastNumber();
    if (scope.stored) {
        if (stored == QString::number(scope.through)) {
            return scope.handed;
        }
        scope.stored = false;
        if (stored.isEmpty()) {
            return scope.handed;
        }
    }
    return stored.isEmpty() ? 0 : config::readInt32(stored);
}

// Hands number out for good: it is stored unless the scope stored it
// already; false when it could not be stored.
bool handOutNumber(qint32 number, const QString& source) {
    WalkScope& scope = walkScope();
    const qint32 steps = stepsFrom(scope.handed, number);
    if (!scope.stored || steps == 0 || steps > stepsFrom(scope.handed, scope.through)) {
        const qint32 through = scope.depth > 0 ? (number + scope.ahead - 1) % kNumberCount : number;
        if (!storeLastNumber(through, source)) {
            return false;
        }
        scope.stored = scope.depth > 0;
        scope.through = through;
    }
    scope.handed = number;
    return true;
}

// The watch on folder from this moment on, for one compression: in a scope
// the walk's own, kept from one file to the next (closing an inotify
// instance waits for the kernel's grace period, several milliseconds at
// times) and read up to now, so that what it reports next came in from here
// on; one that lost names or its folder is made anew. Outside a scope, own,
// made for this file.
platform::FolderWatch& watchFromNow(const QString& folder,
                                    std::optional<platform::FolderWatch>& own) {
    WalkScope& scope = walkScope();
    if (scope.depth == 0) {
        return own.emplace(folder);
    }
    std::unique_ptr<platform::FolderWatch>& watch = scope.watches[folder];
    bool complete = false;
    if (watch) {
        watch->namesAdded(&complete);
    }
    if (!complete) {
        watch = std::make_unique<platform::FolderWatch>(folder);
    }
    return *watch;
}

} // namespace

NumberScope::NumberScope() {
    ++walkScope().depth;
}

NumberScope::~NumberScope() {
    WalkScope& scope = walkScope();
    if (--scope.depth > 0) {
        return;
    }
    // The numbers stored ahead and not used are given back, unless somebody
    // stored another number meanwhile. A failure leaves a gap, no harm.
    if (scope.stored && scope.handed != scope.through &&
        storedLastNumber() == QString::number(scope.through)) {
        storeLastNumber(scope.handed, QString());
    }
    scope = WalkScope{};
}

void NumberScope::setAhead(qsizetype files) {
    walkScope().ahead = qint32(qBound<qsizetype>(1, files, qsizetype(kMaxNumbersAhead)));
}

bool RunRarConsoleIn(bool show, const QString& commandLine, const QString& workingFolder,
                     int* exitStatus, QByteArray* errorOutput) {
    platform::RunOptions options;
    options.show = show;
    options.errorOutput = errorOutput;
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
    return config::pickText(language,
                            "WinRar n'est pas installé\n\nVelmorado ne peut pas fonctionner",
                            "WinRar not installed\n\nVelmorado cannot run");
}

QString rarMissingTitle() {
    return config::kProductName + QStringLiteral(" - ") + config::kVersion;
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
    const QByteArray encoded = platform::encodePath(*name);
    if (encoded.size() > NAME_MAX || platform::decodePath(encoded) != *name) {
        return std::nullopt; // half a character, or too long for a file name
    }
    return name;
}

FileOutcome CompressFile(const FileJob& job, QString* archiveMade) {
    if (archiveMade) {
        archiveMade->clear();
    }
    if (job.name.isEmpty()) {
        return FileOutcome::Stopped;
    }
    auto [s, t, n, st, set, causes, numbered] = OneFile{job};

    // A numbered archive is relayed unchanged, never over one already in the
    // target: it waits where it is until that one is gone.
    if (numbered.isArchive(n)) {
        if (platform::sameFile(s + n, t + n)) {
            return FileOutcome::Stopped; // a pair whose target is its source
        }
        if (!platform::moveNoReplace(s + n, t + n)) {
            if (platform::exists(s + n)) {
                causes.set(s, t, s + n, diagnoseTarget(t, t + n, platform::fileSize(s + n)));
            }
            return FileOutcome::Stopped;
        }
        // Its departure is flushed, at once where names are not kept in
        // order: brought back by a power cut beside its copy in the target,
        // it would travel again after a newer version of its file.
        platform::syncFolderLater(s);
        causes.clear(s + n);
        ++st.compressed;
        if (perFileLogs() && !LogCompression(s + n, t + n)) {
            return FileOutcome::EndWalk;
        }
        return FileOutcome::Done;
    }

    if (holdsNul(s) || !config::usablePrefix(set.prefix)) {
        return FileOutcome::Stopped;
    }
    // Nothing can be made in a source folder that cannot be written: no
    // number is handed out for nothing at every pass.
    if (::access(platform::encodePath(s).constData(), W_OK | X_OK) != 0) {
        causes.set(s, t, s + n, WaitCause::SourceReadOnly);
        return FileOutcome::Stopped;
    }

    // The number after the last one handed out, or the first free one after
    // it, is handed out for good (stored, or stored ahead by the walk's
    // NumberScope, its data flushed, before anything is made under it):
    // whatever happens next, no later archive takes it again. The
    // name file is then created exclusively and locked: another copy of the
    // program that took the same number meanwhile makes us take the next one.
    const QByteArray nameLine = '"' + config::EncodeHexText(n).toLatin1() + "\"\r\n";
    // Started before the folder is searched for a free number: from then on,
    // every name that comes into a local folder is seen.
    std::optional<platform::FolderWatch> ownWatch;
    platform::FolderWatch& watch = watchFromNow(s, ownWatch);
    qint32 number = -1;
    platform::FileLock nameLock;
    for (int attempt = 0; attempt < 16 && !nameLock.held(); ++attempt) {
        number = numbered.numberFor(lastNumberHandedOut(), s, t);
        if (number < 0) {
            return FileOutcome::Stopped;
        }
        if (!handOutNumber(number, s)) {
            causes.set(s, t, s + n, WaitCause::NumberNotStored);
            return FileOutcome::Stopped;
        }
        bool taken = false;
        nameLock = platform::FileLock::create(s + numbered.nameFile(number), nameLine, &taken);
        if (!nameLock.held() && !taken) {
            return FileOutcome::Stopped; // the file keeps its name
        }
    }
    if (!nameLock.held()) {
        return FileOutcome::Stopped;
    }
    const QString dataFile = s + numbered.dataFile(number);
    const QString nameFile = s + numbered.nameFile(number);
    const QString archive = numbered.archive(number);
    const platform::FileId nameId = *nameLock.id();

    // The name file is on disk before the file leaves its name, so that an
    // interruption at any later point leaves the name beside the data. The
    // rename itself is not flushed here: the archiver flushes this folder
    // once the archive is named and before it deletes anything. A power cut
    // before that flush can leave the file under its own name beside the name
    // file (and, at worst, beside an archive that holds it too, so that it is
    // packed twice), never without it.
    if (!platform::renameInFolder(s + n, dataFile)) {
        platform::deleteIfSame(nameFile, nameId); // made and locked by us just now
        return FileOutcome::Stopped;
    }

    // Held while the archiver works, so that another copy of the program
    // does not take the pair for the leftover of a crash.
    platform::FileLock dataLock = platform::FileLock::take(dataFile);
    // The user's file under the data file's name: once the archiver has
    // deleted it, a file that takes that name (a user's, named like it) is
    // not the pair left behind. The locked descriptor keeps the file's number
    // from going to a newcomer.
    const std::optional<platform::FileId> dataId =
        dataLock.held() ? dataLock.id() : platform::fileIdAt(dataFile);

    // The archiver deletes the data file before the name file, once the
    // archive is complete. Without it both files stay for a later pass.
    const QString command =
        QStringLiteral("rar a ") + (set.formatRar5 ? QStringLiteral("-ma5 ") : QString()) +
        QStringLiteral("-os ") + platform::quoteArgument(s + archive) + QLatin1Char(' ') +
        platform::quoteArgument(s + numbered.base(number) + QStringLiteral(".r?")) +
        QStringLiteral(" -df");
    // An archiver that cannot be started (gone from the program's folder
    // while the program runs) has packed nothing: the file gets its name back
    // and waits, said once, below, rather than taking a new number at every
    // pass under a neutral name.
    int status = -1;
    RunRarConsoleIn(set.voirConsoleRar, command, QString(), &status);
    if (dataId ? platform::fileIdAt(dataFile) == dataId : platform::exists(dataFile)) {
        // The archiver did not finish its work: an archive of this name came
        // into the folder meanwhile (from another machine that counts its
        // own numbers), it failed or it could not start. What stands under the archive's name is
        // ours only when the archiver says it made it (it never replaces a
        // file): then it goes, as it cannot be trusted. The file gets its name
        // back, to be packed again under a new number.
        // An archiver stopped part-way (killed) may have named its archive
        // before it could delete the pair: that archive, holding exactly this
        // data file and name file, would travel later than the versions of
        // the file packed after it. It goes too; one that is not ours stays.
        if (archiverSucceeded(status)) {
            platform::deleteFile(s + archive);
        } else if (platform::exists(s + archive)) {
            deleteIfExactlyThePair(s, numbered, number, dataFile, nameFile);
        }
        dataLock.release();
        if (platform::moveNoReplace(dataFile, s + n)) {
            platform::deleteIfSame(nameFile, nameId);
            causes.set(s, t, s + n, WaitCause::PackingFailed);
        } // else a file took its name meanwhile: the walk finds both files again
        return FileOutcome::Stopped;
    }
    if (!platform::exists(s + archive)) {
        return FileOutcome::Stopped;
    }
    causes.clear(s + n); // it has left its name: nothing waits under it
    // Normally gone already (the archive holds it); a file that has taken
    // its name since stays.
    platform::deleteIfSame(nameFile, nameId);
    if (!onlyItsPairCameIn(watch, numbered, number) && !holdsOnlyItsPair(job, numbered, number)) {
        return FileOutcome::Stopped;
    }

    // Never over an archive that is already in the target; a pair whose
    // target is its source has its archive in place already. Otherwise the
    // archive waits in the source folder, where later passes relay it.
    if (!platform::sameFile(s + archive, t + archive) &&
        !platform::moveNoReplace(s + archive, t + archive)) {
        causes.set(s, t, s + archive,
                   diagnoseTarget(t, t + archive, platform::fileSize(s + archive)),
                   s + n + QStringLiteral(" -> ") + s + archive);
        return FileOutcome::Stopped;
    }
    // The archive's departure and the archiver's deletions of the pair reach
    // the disk with this flush of the source folder, right after the
    // target's. Where names do not reach the disk in order (an ext4 without a
    // journal), it is made at once: until then a power cut can bring the
    // archive and the pair back here while the archive is on disk in the
    // target too, and those copies travel again later, after any newer
    // version of the file packed meanwhile, which the old one then replaces
    // at the far end. Elsewhere the rename reaches the disk as one step, and
    // the flush waits for the end of the walk.
    platform::syncFolderLater(s);

    ++st.compressed;
    if (archiveMade) {
        *archiveMade = t + archive;
    }
    if (perFileLogs()) {
        LogCompression(s + n, t + archive); // a failed line is ignored here
    }
    return FileOutcome::Done;
}

FileOutcome ExtractFile(const FileJob& job) {
    if (job.name.isEmpty()) {
        return FileOutcome::Stopped;
    }
    auto [s, t, n, st, set, causes, numbered] = OneFile{job};
    const std::optional<NumberedName::Parsed> parsed = numbered.parse(n);

    if (!parsed || parsed->kind != NumberedName::Kind::Archive) {
        if (!moveUnchanged(s + n, t + n)) {
            // Not a pair whose target is its source: the file waits, and why
            // is said.
            if (!platform::sameFile(s + n, t + n) && platform::exists(s + n)) {
                causes.set(s, t, s + n, diagnoseTarget(t, QString(), platform::fileSize(s + n)));
            }
            return FileOutcome::Stopped;
        }
        // Its departure is flushed, at once where names are not kept in
        // order: brought back by a power cut, it would be moved again over a
        // newer version of it delivered since.
        platform::syncFolderLater(s);
        causes.clear(s + n);
        ++st.uncompressed;
        if (perFileLogs() && !LogExtraction(s + n, t + n)) {
            return FileOutcome::EndWalk;
        }
        return FileOutcome::Done;
    }

    const QString archive = s + n;
    if (holdsNul(s)) {
        return FileOutcome::Stopped;
    }
    const qint64 size = platform::fileSize(archive);
    if (size <= 0) {
        // An empty archive is never handed to the archiver.
        if (size == 0) {
            causes.set(s, t, archive, WaitCause::DamagedArchive);
        }
        return FileOutcome::Stopped;
    }
    // Another copy of the program that extracts it holds it: not twice at once.
    const platform::FileLock archiveLock = platform::FileLock::take(archive);
    if (!archiveLock.held()) {
        return FileOutcome::Stopped;
    }
    const ExtractionFolder work(s + platform::kExtractionFolderPrefix + n);
    if (!work.ready()) {
        if (!platform::lockedByOther(work.path())) {
            causes.set(s, t, archive,
                       WaitCause::ExtractionFailed); // a source folder we cannot write
        }
        return FileOutcome::Stopped;
    }

    int status = -1;
    // The name file is read here and never leaves the private folder: the
    // archiver need not flush it.
    const QString command = extractionCommand(archive, NumberedName::nameFileOf(parsed->base));
    QByteArray errors;
    if (!RunRarConsoleIn(set.voirConsoleRar, command, work.path(), &status, &errors)) {
        causes.set(s, t, archive, WaitCause::ExtractionFailed);
        return FileOutcome::Stopped;
    }
    if (!archiverSucceeded(status)) {
        const qint64 room = freeSpace(s);
        causes.set(s, t, archive,
                   status == 3                    ? WaitCause::DamagedArchive
                   : room >= 0 && room < 2 * size ? WaitCause::SourceFull
                                                  : WaitCause::ExtractionFailed);
        return FileOutcome::Stopped;
    }
    const Members members = sortMembers(work.path(), numbered, parsed->base);
    if (members.dataFile.isEmpty() || members.nameFile.isEmpty()) {
        causes.set(s, t, archive, WaitCause::NoNameFile);
        return FileOutcome::Stopped;
    }
    QByteArray content;
    {
        QFile f(work.path() + QLatin1Char('/') + members.nameFile);
        if (!f.open(QIODevice::ReadOnly)) {
            causes.set(s, t, archive, WaitCause::ExtractionFailed);
            return FileOutcome::Stopped;
        }
        content = f.read(64 * 1024);
    }
    const std::optional<QString> decoded = ReadNameFile(content);
    if (!decoded) {
        causes.set(s, t, archive, WaitCause::UnreadableName);
        return FileOutcome::Stopped;
    }
    const QString restored = t + *decoded;
    const QString dataFile = work.path() + QLatin1Char('/') + members.dataFile;

    // When the restored name is the archive's own (a pair whose target is its
    // source), the archive is gone once the file stands in its place.
    const bool archiveIsDestination = platform::sameFile(archive, restored);
    if (!platform::moveReplacing(dataFile, restored)) {
        causes.set(s, t, archive, diagnoseTarget(t, QString(), platform::fileSize(dataFile)));
        return FileOutcome::Stopped;
    }
    if (!platform::setNormal(restored)) {
        return FileOutcome::Stopped;
    }
    // The archive goes only once its file is delivered: a crash before this
    // point leaves it to be extracted again.
    // Only the archive that was locked and extracted: one copied or renamed
    // over its name since the archiver read it stays for the next pass.
    // Its removal is flushed, at once where names are not kept in order:
    // brought back by a power cut, it would be unpacked again over a newer
    // version of the file delivered since.
    if (!archiveIsDestination && platform::deleteIfSame(archive, *archiveLock.id())) {
        platform::syncFolderLater(s);
    }
    causes.clear(archive);
    // Streams (extended attributes) the archiver could not give the file: it
    // is delivered all the same, and the log says which.
    const QStringList lost = streamsNotRestored(errors);
    if (!lost.isEmpty() && config::settings().logs) {
        LogUnknownFolder(texts::timeNow() + texts::streamsNotRestored(config::language()),
                         archive + QStringLiteral(" -> ") + restored + QStringLiteral(": ") +
                             lost.join(QStringLiteral("; ")));
    }
    if (!members.others.isEmpty() && config::settings().logs) {
        LogUnknownFolder(texts::timeNow() + texts::otherMembersLeft(config::language()),
                         archive + QStringLiteral(": ") +
                             members.others.join(QStringLiteral(", ")));
    }

    ++st.uncompressed;
    if (perFileLogs() && !LogExtraction(archive, restored)) {
        return FileOutcome::EndWalk;
    }
    return FileOutcome::Done;
}

void ClearStaleExtractionFolders(const QString& folder) {
    QDir dir(folder);
    const QStringList names =
        dir.entryList({platform::kExtractionFolderPrefix + QLatin1Char('*')},
                      QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    // Only the name of an extraction of an archive: a folder of the user's
    // that merely starts the same way is left alone.
    const NumberedName numbered(config::settings().prefix);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (!numbered.isArchive(name.mid(platform::kExtractionFolderPrefix.size()))) {
            continue;
        }
        // While the archive is there, its next extraction clears the folder
        // under the archive's lock; without it, only a live process still
        // removing the folder can hold it.
        if (platform::exists(dir.filePath(name.mid(platform::kExtractionFolderPrefix.size()))) ||
            platform::lockedByOther(path)) {
            continue;
        }
        removeFolder(path);
    }
}

} // namespace engine
