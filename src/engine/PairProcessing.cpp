#include "engine/PairProcessing.h"

#include "config/HexText.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "engine/NumberedName.h"
#include "engine/RarRunner.h"
#include "engine/Texts.h"
#include "engine/WaitCauses.h"
#include "engine/WindowPort.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/InUseProbe.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace engine {

namespace {

// What became of one directory entry.
enum class Step { Next, EndWalk };

class DirHandle {
public:
    explicit DirHandle(DIR* dir) : m_dir(dir) {}
    ~DirHandle() {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

// The temporary file of the same number with the other extension, keeping the
// case of the letters: "RA000001.rr" <-> "RA000001.rn".
QString siblingOf(const QString& name) {
    QString other = name;
    const QChar last = name.back();
    if (last == QLatin1Char('r')) {
        other.back() = QLatin1Char('n');
    } else if (last == QLatin1Char('R')) {
        other.back() = QLatin1Char('N');
    } else if (last == QLatin1Char('n')) {
        other.back() = QLatin1Char('r');
    } else {
        other.back() = QLatin1Char('R');
    }
    return other;
}

bool isDataFileName(const QString& name) {
    return name.back().toLower() == QLatin1Char('r');
}

// What the write temporary of a name file can hold: the name file's line
// ("HEX" and a line end), whole or cut short by a crash while it was written
// (FileLock::create writes it there first), nothing included.
bool isStagedNameLine(const QByteArray& content) {
    if (content.size() > kMaxNameFileSize) {
        return false;
    }
    qsizetype i = 0;
    if (i == content.size()) {
        return true;
    }
    if (content[i++] != '"') {
        return false;
    }
    while (i < content.size() && std::isxdigit(static_cast<unsigned char>(content[i]))) {
        ++i;
    }
    if (i == content.size()) {
        return true;
    }
    if (content[i++] != '"') {
        return false;
    }
    const QByteArray end = content.mid(i);
    return QByteArray("\r\n").startsWith(end) || end == "\n";
}

// The day's log says once per run that a stored prefix was not used.
void logRefusedPrefix() {
    config::Settings& s = config::settings();
    if (s.refusedPrefix.isEmpty() || s.refusedPrefixLogged || !s.logs ||
        state().dayLogPath.isEmpty()) {
        return;
    }
    const QString quoted = QLatin1Char('"') + s.refusedPrefix + QLatin1Char('"');
    const QString inForce = QLatin1Char('"') + s.prefix + QLatin1Char('"');
    const QString message =
        texts::timeNow() + config::pickText(QStringLiteral(" - Préfixe des fichiers compressés ") +
                                                quoted + QStringLiteral(" inutilisable, ") +
                                                inForce + QStringLiteral(" est utilisé"),
                                            QStringLiteral(" - Compressed files prefix ") + quoted +
                                                QStringLiteral(" not usable, ") + inForce +
                                                QStringLiteral(" is used"));
    s.refusedPrefixLogged = LogUnknownFolder(message, config::program().parametersPath);
}

// One directory entry: its name as text and as the system's bytes.
struct Entry {
    QString name;
    QByteArray raw;
};

// Every entry of dir but "." and "..", in the order the file system gives.
QList<Entry> readEntries(DIR* dir) {
    QList<Entry> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw != "." && raw != "..") {
            entries.append(Entry{platform::decodePath(raw), raw});
        }
    }
    return entries;
}

// The order of a walk: the numbered archives first, oldest first, then every
// other entry in the order the file system gave. Numbers run in a circle
// (999999 is followed by 0): the oldest is the one after the widest gap
// between the numbers present, so that 999998, 999999, 0, 1 is the order of
// those four. Two archives of one number (the prefix in another case) go in
// the order of their bytes.
QList<Entry> inWalkOrder(const QList<Entry>& entries, const NumberedName& numbered) {
    struct Numbered {
        qint32 number;
        Entry entry;
    };
    QList<Numbered> archives;
    QList<Entry> others;
    for (const Entry& e : entries) {
        const std::optional<NumberedName::Parsed> p = numbered.parse(e.name);
        if (p && p->kind == NumberedName::Kind::Archive) {
            archives.append(Numbered{p->number, e});
        } else {
            others.append(e);
        }
    }
    std::sort(archives.begin(), archives.end(), [](const Numbered& a, const Numbered& b) {
        return a.number != b.number ? a.number < b.number : a.entry.raw < b.entry.raw;
    });
    QList<qint32> numbers;
    numbers.reserve(archives.size());
    for (const Numbered& a : archives) {
        numbers << a.number;
    }
    const qsizetype oldest = NumberedName::oldestIndex(numbers);
    QList<Entry> ordered;
    ordered.reserve(entries.size());
    for (qsizetype i = 0; i < archives.size(); ++i) {
        ordered.append(archives[(oldest + i) % archives.size()].entry);
    }
    return ordered + others;
}

// One walk of one source folder.
class Walk {
public:
    Walk(WindowPort& window, platform::InUseProbe& probe, const PairJob& pair)
        : m_window(window), m_probe(probe), m_state(state()), m_causes(waitCauses()),
          m_folder(pair.sourceFolder), m_target(pair.targetFolder),
          m_numbered(config::settings().prefix), m_compress(pair.compress) {}

    // True when the walk went through the whole folder and met no entry.
    bool run() {
        const DirHandle dir(::opendir(platform::encodePath(m_folder).constData()));
        if (dir.get() == nullptr) {
            return false; // the pass's own check reports a missing folder
        }
        m_dirFd = ::dirfd(dir.get());
        // The folders whose names the walk changes (the source, the target,
        // the program's folder for the last number) are flushed once, at its
        // end, rather than after every file.
        const platform::FolderFlushBatch flushes;
        // The last number is stored ahead for the files to come, and its
        // final value once, at the end (before the folders' flush).
        const NumberScope numbers;
        logRefusedPrefix();
        m_probe.beginWalk(m_folder);
        const QList<Entry> entries = readEntries(dir.get());
        bool complete = visit(inWalkOrder(entries, m_numbered));
        // The files met for the first time go in this pass once they have
        // been quiet for the quiet period: the walk waits for them.
        if (complete && !m_again.isEmpty()) {
            m_round = 2;
            m_archivesHeld = m_archivesHeld && !m_heldComesAgain;
            platform::FolderFlushBatch::flushPending(); // while the walk waits anyway
            complete = waitUntil(m_quietAt) && visit(QList<Entry>(m_again));
        }
        m_probe.endWalk(complete);
        return complete && entries.isEmpty();
    }

private:
    using Verdict = platform::InUseProbe::Verdict;

    // Handles entries in order; false when the walk must end (a stop, or a
    // file whose outcome is EndWalk).
    bool visit(const QList<Entry>& entries) {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            NumberScope::setAhead(entries.size() - i);
            Step step = Step::Next;
            if (m_round == 2 || !m_met.contains(e.name)) {
                m_met.insert(e.name);
                m_current = e;
                step = handle(e.name, e.raw);
            }
            if (step == Step::EndWalk) {
                return false;
            }
            YieldEvents(m_window);
            if (m_state.stopped) {
                return false;
            }
        }
        return true;
    }

    // Lets the window's events run until the monotonic clock reaches atMs;
    // false when processing is stopped meanwhile.
    bool waitUntil(qint64 atMs) {
        for (qint64 now = platform::InUseProbe::nowMs(); now < atMs;
             now = platform::InUseProbe::nowMs()) {
            YieldEvents(m_window);
            if (m_state.stopped) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(qMin<qint64>(atMs - now, 20)));
        }
        return true;
    }

    bool existsHere(const QString& name) const {
        struct stat st {};
        return ::fstatat(m_dirFd, platform::encodePath(name).constData(), &st,
                         AT_SYMLINK_NOFOLLOW) == 0;
    }

    // A write temporary (".NAME.XXXXXX", the entry name) is ours only beside
    // a file that the program writes that way: a name file, when it holds
    // what a name file's can (any other content is a user's file that merely
    // bears such a name), or the parameters or list file in the program's
    // own folder.
    bool ownsWrites(const QString& base, const QString& name) const {
        const std::optional<NumberedName::Parsed> p = m_numbered.parse(base);
        if (p && p->kind == NumberedName::Kind::NameFile) {
            QByteArray content;
            return platform::readRegularFile(m_folder + name, content, kMaxNameFileSize, false) ==
                       platform::ReadStatus::Ok &&
                   isStagedNameLine(content);
        }
        const config::ProgramValues& program = config::program();
        const QString path = m_folder + base;
        return path == program.parametersPath || path == program.listFilePath;
    }

    Step handle(const QString& name, const QByteArray& raw) {
        if (isDailyLogName(name)) {
            return Step::Next; // the program's own daily logs stay, wherever the log folder is
        }
        struct stat st {};
        if (::fstatat(m_dirFd, raw.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode)) {
            return Step::Next; // gone since the directory was read, or a folder
        }
        if (platform::isOwnTemporary(
                name, [this, &name](const QString& b) { return ownsWrites(b, name); })) {
            // The program's own leftover: deleted, but only once nobody
            // writes to it any more. A failure is tried again at the next
            // pass. One that a live process holds under its lock (a move in
            // flight from another copy of the program, through a share) is
            // not done yet either. The program makes these as regular files
            // only: a link or a pipe of such a name is somebody else's and
            // stays, as other links do.
            if (S_ISREG(st.st_mode) && !platform::lockedByOther(m_folder + name) &&
                check(name, false, false) == Verdict::Take) {
                ::unlinkat(m_dirFd, raw.constData(), 0);
            }
            return Step::Next;
        }
        if (!S_ISREG(st.st_mode)) {
            return Step::Next; // links, pipes, sockets and devices are left alone
        }
        QString base;
        if (m_numbered.isTemporary(name, &base)) {
            return handleTemporary(name, base);
        }
        if (m_numbered.isArchive(name)) {
            return handleArchive(name);
        }
        return handOverIfLeftAlone(name);
    }

    // The probe's verdict on name. A file met for the first time comes back in the
    // second round of the walk. For a file that is to travel (travels), one that the
    // program may not read waits with its cause said, until it can be read.
    Verdict check(const QString& name, bool anyOpener = false, bool travels = true) {
        const Verdict verdict = m_probe.probe(name, anyOpener);
        if (travels && verdict == Verdict::Unreadable) {
            m_causes.set(m_folder, m_target, m_folder + name, WaitCause::FileUnreadable);
        } else if (travels) {
            m_causes.clear(m_folder + name, WaitCause::FileUnreadable);
        }
        if (verdict == Verdict::New) {
            comeAgain(m_probe.quietAtMs(name));
        }
        return verdict;
    }

    // The entry being handled comes back in the second round, once the
    // clock reaches quietAt.
    void comeAgain(qint64 quietAt) {
        if (m_round != 1) {
            return;
        }
        if (m_again.isEmpty() || m_again.last().raw != m_current.raw) {
            m_again.append(m_current);
        }
        m_quietAt = qMax(m_quietAt, quietAt);
    }

    // Archives come in number order (inWalkOrder). While one is being
    // written or has not been quiet long enough, the later ones wait with it,
    // so that an older version of a file never comes after a newer one; they
    // come back with it when it comes back in this walk. So does one that a
    // compress pair cannot relay (a clash in the target). One that cannot be
    // read or has gone holds nothing back, nor does one that fails to unpack.
    Step handleArchive(const QString& name) {
        const Verdict verdict = check(name);
        if (m_archivesHeld) {
            if (m_heldComesAgain) {
                comeAgain(m_quietAt);
            }
            return Step::Next;
        }
        if (verdict == Verdict::Take) {
            const Step step = handOver(name);
            // A relayed archive that stays here (one of its name is in the
            // target: another machine's, numbered by its own counter) holds
            // the later ones back until it has gone, as one being written does.
            m_archivesHeld = m_compress && existsHere(name);
            return step;
        }
        if (verdict == Verdict::InUse || verdict == Verdict::New || verdict == Verdict::NotQuiet) {
            m_archivesHeld = true;
            m_heldComesAgain = verdict == Verdict::New && m_round == 1;
        }
        return Step::Next;
    }

    Step handOverIfLeftAlone(const QString& name) {
        if (check(name) != Verdict::Take) {
            return Step::Next;
        }
        return handOver(name);
    }

    Step handOver(const QString& name) {
        m_handedOver.insert(name);
        const FileJob job{m_folder, m_target, name};
        QString archiveMade;
        const FileOutcome outcome = m_compress ? CompressFile(job, &archiveMade) : ExtractFile(job);
        ++m_state.files;
        if (!archiveMade.isEmpty()) {
            // Complete: a later pair of this pass whose source is this target
            // takes it without waiting for the quiet period.
            m_probe.vouch(archiveMade);
        }
        return outcome == FileOutcome::EndWalk ? Step::EndWalk : Step::Next;
    }

    Step handleTemporary(const QString& name, const QString& base) {
        if (!m_compress) {
            // An extraction that has not got to its end left these: they wait
            // as long as its archive is there to be extracted again.
            if (existsHere(base + QStringLiteral(".rar")) ||
                existsHere(base + QStringLiteral(".RAR"))) {
                return Step::Next;
            }
            return handOverIfLeftAlone(name);
        }
        const QString sibling = siblingOf(name);
        if (!isDataFileName(name)) {
            if (existsHere(sibling) && isOwnNameFile(name, false)) {
                return Step::Next; // it goes with its data file
            }
            if (!existsHere(sibling)) {
                return handleLoneNameFile(name);
            }
            return handOverIfLeftAlone(name); // not ours: an ordinary file
        }
        if (!existsHere(sibling) || !isOwnNameFile(sibling, false)) {
            // A data file alone, or beside a file of the user's that only
            // looks like a name file: an ordinary file.
            return handOverIfLeftAlone(name);
        }
        return restoreLeftover(name, sibling);
    }

    // A name file of the program's own making (IsOwnNameFileContent). Beside
    // its data file the name it holds need not be usable: the data file then
    // keeps its neutral name (restoreLeftover).
    bool isOwnNameFile(const QString& name, bool usableName = true) const {
        QByteArray content;
        return platform::readRegularFile(m_folder + name, content, kMaxNameFileSize, false) ==
                   platform::ReadStatus::Ok &&
               IsOwnNameFileContent(content, usableName);
    }

    // The archive was made and its data file removed: the name file has
    // nothing left to name and goes, once nobody is writing it (a compression
    // writes the name file before the data file takes its name). Anything
    // else of that name is a file of the user's and travels like any other.
    Step handleLoneNameFile(const QString& name) {
        // One that a live compression (here or in another copy of the
        // program) holds is its own.
        if (platform::lockedByOther(m_folder + name) || check(name, true) != Verdict::Take) {
            return Step::Next;
        }
        if (isOwnNameFile(name)) {
            platform::deleteFile(m_folder + name);
            return Step::Next;
        }
        return handOver(name);
    }

    // A data file with its name file: a compression that did not get to its
    // end. The user's file gets its own name back, then goes its way.
    Step restoreLeftover(const QString& dataName, const QString& nameFileName) {
        m_met.insert(nameFileName);
        // A compression still at work on them, here or in another copy of the
        // program, holds their lock.
        if (platform::lockedByOther(m_folder + dataName) ||
            platform::lockedByOther(m_folder + nameFileName)) {
            return Step::Next;
        }
        // Both must be left alone by everybody, an archiver that still reads
        // them included, and the name file must have been quiet a while.
        // Both are probed, so that both are in mind when they come again.
        const bool dataFree = check(dataName, true) == Verdict::Take;
        const bool nameFree = check(nameFileName, true) == Verdict::Take;
        if (!dataFree || !nameFree) {
            return Step::Next;
        }
        QByteArray content;
        std::optional<QString> original;
        if (platform::readRegularFile(m_folder + nameFileName, content, kMaxNameFileSize, false) ==
            platform::ReadStatus::Ok) {
            original = ReadNameFile(content);
        }
        if (original && m_handedOver.contains(*original)) {
            return Step::Next; // just failed under that name in this walk: next pass
        }
        if (original && platform::moveNoReplace(m_folder + dataName, m_folder + *original)) {
            platform::deleteFile(m_folder + nameFileName);
            m_met.insert(*original);
            return handOver(*original);
        }
        // The name cannot be given back (taken, or nothing usable in the name
        // file): the file travels under its neutral name.
        const config::Settings& s = config::settings();
        if (s.logs && !m_state.dayLogPath.isEmpty()) {
            LogUnknownFolder(texts::timeNow() + texts::neutralNameKept(config::language()),
                             m_folder + dataName);
        }
        const Step step = handOver(dataName);
        if (!existsHere(dataName)) {
            // Gone into an archive, or moved to a new data file of its own
            // whose name file names it: this name file has served.
            platform::deleteFile(m_folder + nameFileName);
        }
        return step;
    }

    WindowPort& m_window;
    platform::InUseProbe& m_probe;
    EngineState& m_state;
    WaitCauses& m_causes;
    const QString m_folder;
    const QString m_target;
    const NumberedName m_numbered; // of the prefix in force when the walk began
    const bool m_compress;
    int m_dirFd = -1;
    QSet<QString> m_met;           // names met (or made) in this walk: each is handled once
    QSet<QString> m_handedOver;    // names handed to the archiver in this walk
    int m_round = 1;               // 2: the files met for the first time, once quiet
    Entry m_current;               // the entry being handled
    QList<Entry> m_again;          // the entries of the second round, in walk order
    qint64 m_quietAt = 0;          // when the second round may start (InUseProbe::nowMs)
    bool m_archivesHeld = false;   // an earlier archive could not be taken yet
    bool m_heldComesAgain = false; // ... and comes back in the second round
};

} // namespace

void YieldEvents(WindowPort& window) {
    const int rounds = config::settings().performance;
    for (int i = 0; i < rounds; ++i) {
        window.processEvents();
    }
}

platform::InUseProbe& pairProbe() {
    static platform::InUseProbe probe;
    return probe;
}

bool ProcessPair(WindowPort& window, const PairJob& pair) {
    return Walk(window, pairProbe(), pair).run();
}

bool IsOwnNameFileContent(const QByteArray& content, bool usableName) {
    if (content.size() > kMaxNameFileSize) {
        return false;
    }
    QByteArray line = content;
    if (line.endsWith("\r\n")) {
        line.chop(2);
    } else if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.size() < 3 || !line.startsWith('"') || !line.endsWith('"')) {
        return false;
    }
    for (qsizetype i = 1; i + 1 < line.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(line[i]))) {
            return false;
        }
    }
    const QString hex = QString::fromLatin1(line.mid(1, line.size() - 2));
    return usableName ? ReadNameFile(content).has_value()
                      : config::TryDecodeHexText(hex).has_value();
}

} // namespace engine
