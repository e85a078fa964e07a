#pragma once

#include <QMap>
#include <QString>

// Why files wait. A file that cannot go its way (an archive that cannot reach
// its target, an archive that cannot be extracted) stays where it is and is
// tried again at every pass; what keeps it there is recorded here, written to
// the day's log once when it starts and once when it clears, and summed up
// for the window's status line and the tray tip.
namespace engine {

enum class WaitCause {
    TargetMissing,    // the pair's target folder is not there (the pair's files wait)
    SourceReadOnly,   // the source folder cannot be written: no file can leave its name
    TargetReadOnly,   // the target folder cannot be written
    TargetFull,       // no room left in the target folder
    ArchiveNameTaken, // an archive of the same name is already in the target folder
    CannotMove,       // the move into the target failed for another reason
    DamagedArchive,   // damaged, truncated or empty archive
    SourceFull,       // no room left to extract in the source folder
    ExtractionFailed, // the archiver failed for another reason
    UnreadableName,   // the archive's name file gives no usable name
    NoNameFile,       // the archive holds no data file or no name file of its number
    NumberNotStored,  // LastFileNumber cannot be written: no archive is made
    PackingFailed,    // the archiver could not pack the file: it has its name back
    FileUnreadable,   // the program may not read the file (its permissions)
};

class WaitCauses {
public:
    // file (a full path, or the source folder with its "/" for a cause of the
    // whole pair) of the pair source -> target waits because of cause. shown
    // is the path the log gives (file when empty). Logged when it is new or
    // when the cause changed.
    void set(const QString& source, const QString& target, const QString& file, WaitCause cause,
             const QString& shown = QString());
    // file no longer waits; the log says so when it did.
    void clear(const QString& file);
    // As clear, but only when file waits because of cause.
    void clear(const QString& file, WaitCause cause);
    // Clears the causes of files that are no longer there (delivered by
    // another copy, removed by the user); causes of whole pairs stay.
    void sweep();
    bool waiting(const QString& file) const { return m_causes.contains(file); }
    bool isEmpty() const { return m_causes.isEmpty(); }
    // "Files waiting: Target folder read-only (2); Damaged or truncated
    // archive (1)", empty when nothing waits.
    QString summary(int language) const;
    // One notice for each cause that keeps files of a target folder waiting
    // (key: the cause and the folder; text: "Files waiting: <cause> - <target>"),
    // however many files it holds back, so that each is told once.
    QMap<QString, QString> notices(int language) const;
    void reset() { m_causes.clear(); }

private:
    struct Entry {
        QString source, target, shown;
        WaitCause cause;
    };
    static void log(const Entry& entry, bool starts);
    QMap<QString, Entry> m_causes;
};

WaitCauses& waitCauses();

// Why a file could not be moved or written into folder: missing, read-only,
// full (less than size bytes free) or, when destination names something
// already, ArchiveNameTaken; CannotMove otherwise.
WaitCause diagnoseTarget(const QString& folder, const QString& destination, qint64 size);

} // namespace engine
