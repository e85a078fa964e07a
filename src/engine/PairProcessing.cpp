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
#include "engine/WindowPort.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/FileOps.h"
#include "platform/InUseProbe.h"

#include <QFile>
#include <QSet>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// The day's log says once per run that a stored prefix was not used.
void logRefusedPrefix() {
    config::Settings& s = config::settings();
    if (s.refusedPrefix.isEmpty() || s.refusedPrefixLogged || !s.logs ||
        state().dayLogPath.isEmpty()) {
        return;
    }
    const QString quoted = QLatin1Char('"') + s.refusedPrefix + QLatin1Char('"');
    const QString message =
        texts::timeNow() +
        config::pickText(QStringLiteral(" - Préfixe des fichiers compressés ") + quoted +
                             QStringLiteral(" inutilisable, \"RA\" est utilisé"),
                         QStringLiteral(" - Compressed files prefix ") + quoted +
                             QStringLiteral(" not usable, \"RA\" is used"));
    s.refusedPrefixLogged = LogUnknownFolder(message, config::program().parametersPath);
}

// One walk of one source folder.
class Walk {
public:
    Walk(WindowPort& window, platform::InUseProbe& probe, const PairJob& pair)
        : m_window(window), m_probe(probe), m_state(state()), m_folder(pair.sourceFolder),
          m_target(pair.targetFolder), m_numbered(config::settings().prefix),
          m_compress(pair.compress) {}

    // True when the walk went through the whole folder and met no entry.
    bool run() {
        const DirHandle dir(::opendir(QFile::encodeName(m_folder).constData()));
        if (dir.get() == nullptr) {
            return false; // the pass's own check reports a missing folder
        }
        m_dirFd = ::dirfd(dir.get());
        logRefusedPrefix();
        m_probe.beginWalk(m_folder);
        bool complete = true;
        bool empty = true;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
                continue;
            }
            empty = false;
            const QByteArray raw(entry->d_name);
            const QString name = QFile::decodeName(raw);
            Step step = Step::Next;
            // A name that does not survive the trip to text and back cannot be
            // addressed by the steps that follow: it is left where it is.
            if (QFile::encodeName(name) == raw && !m_met.contains(name)) {
                m_met.insert(name);
                step = handle(name, raw);
            }
            if (step == Step::EndWalk) {
                complete = false;
                break;
            }
            YieldEvents(m_window);
            if (m_state.stopped) {
                complete = false;
                break;
            }
        }
        m_probe.endWalk(complete);
        return complete && empty;
    }

private:
    bool existsHere(const QString& name) const {
        struct stat st {};
        return ::fstatat(m_dirFd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) ==
               0;
    }

    Step handle(const QString& name, const QByteArray& raw) {
        struct stat st {};
        if (::fstatat(m_dirFd, raw.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode)) {
            return Step::Next; // gone since the directory was read, or a folder
        }
        if (name.startsWith(QLatin1Char('.'))) {
            // Hidden: deleted, but only once nobody writes to it any more
            // (a copy in progress writes its part file under a hidden name).
            // A failure is tried again at the next pass. One that a live
            // process holds under its lock (a move in flight from another
            // copy of the program, through a share) is not done yet either.
            if (!S_ISREG(st.st_mode) ||
                (!platform::lockedByOther(m_folder + name) &&
                 m_probe.probe(name) == platform::InUseProbe::Verdict::Take)) {
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
        return handOverIfLeftAlone(name);
    }

    Step handOverIfLeftAlone(const QString& name) {
        if (m_probe.probe(name) != platform::InUseProbe::Verdict::Take) {
            return Step::Next;
        }
        return handOver(name);
    }

    Step handOver(const QString& name) {
        m_handedOver.insert(name);
        const FileJob job{m_folder, m_target, name};
        const FileOutcome outcome = m_compress ? CompressFile(job) : ExtractFile(job);
        ++m_state.files;
        if (m_compress && outcome != FileOutcome::Stopped && !m_numbered.isArchive(name)) {
            vouchForArchive();
        }
        return outcome == FileOutcome::EndWalk ? Step::EndWalk : Step::Next;
    }

    // The archive just made is complete: a later pair of this pass whose
    // source is this target takes it without waiting for the quiet period.
    // Its number is the one the compression has just stored as the last used.
    void vouchForArchive() {
        const QString stored =
            config::ReadSetting(config::kSectionProcessing, config::keys::kLastFileNumber);
        const qint32 number = config::readInt32(stored);
        m_probe.vouch(m_target + m_numbered.archive(number));
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
        if (platform::lockedByOther(m_folder + name) ||
            m_probe.probe(name, true) != platform::InUseProbe::Verdict::Take) {
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
        using Verdict = platform::InUseProbe::Verdict;
        m_met.insert(nameFileName);
        // A compression still at work on them, here or in another copy of the
        // program, holds their lock.
        if (platform::lockedByOther(m_folder + dataName) ||
            platform::lockedByOther(m_folder + nameFileName)) {
            return Step::Next;
        }
        // Both must be left alone by everybody, an archiver that still reads
        // them included, and the name file must have been quiet a while.
        if (m_probe.probe(dataName, true) != Verdict::Take ||
            m_probe.probe(nameFileName, true) != Verdict::Take) {
            return Step::Next;
        }
        QFile nameFile(m_folder + nameFileName);
        std::optional<QString> original;
        if (nameFile.open(QIODevice::ReadOnly)) {
            original = NameFromNameFile(nameFile.read(64 * 1024));
            nameFile.close();
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
    const QString m_folder;
    const QString m_target;
    const NumberedName m_numbered; // of the prefix in force when the walk began
    const bool m_compress;
    int m_dirFd = -1;
    QSet<QString> m_met;        // names met (or made) in this walk: each is handled once
    QSet<QString> m_handedOver; // names handed to the archiver in this walk
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

std::optional<QString> NameFromNameFile(const QByteArray& content) {
    std::optional<QString> name = ReadNameFile(content);
    if (name && name->startsWith(QLatin1Char('.'))) {
        return std::nullopt; // the walk would delete it as hidden
    }
    return name;
}

} // namespace engine
