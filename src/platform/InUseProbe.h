#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QtGlobal>

// Tells whether a file that turned up in a source folder is still being
// written. Linux has no exclusive open, so two signs are read:
//  - a lease on the file: the kernel refuses a read lease while any process
//    has the file open for writing (and a write lease while any other
//    descriptor at all is open on it). Where leases are refused for other
//    reasons (files of other users, NFS and some other file systems) this
//    sign says nothing;
//  - a quiet period, for writers the lease cannot see (another machine
//    writing through a share, a copy that opens and closes between chunks):
//    the file must have kept its size and modification time for a while.
namespace platform {

enum class LeaseAnswer {
    Free,   // nobody holds the file in the way asked about
    InUse,  // somebody does
    Unknown // leases say nothing here
};

// Read lease on fd (opened read-only), released at once: InUse while any
// process has the file open for writing.
LeaseAnswer writersLease(int fd);
// Write lease on fd (opened read-only), released at once: InUse while any
// other descriptor, reading or writing, is open on the file anywhere.
LeaseAnswer anyOpenerLease(int fd);

// Size and modification time, as the quiet period compares them.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
};

class InUseProbe {
public:
    enum class Verdict {
        Take,     // nobody writes to it and it has been quiet
        InUse,    // a writer holds it open
        NotQuiet, // changed lately; kept in mind for the next walk
        Unusable  // cannot be opened for reading, or is not a regular file
    };

    // A modification time at least this old makes a file quiet.
    static constexpr qint64 kQuietSeconds = 2;
    // A file seen unchanged by an earlier walk is quiet when that walk is at
    // least this long ago (passes are that far apart; a quick second walk
    // must not count).
    static constexpr qint64 kSightingGapMs = 1000;

    // Starts the walk of folder (the path ending in "/").
    void beginWalk(const QString& folder);
    // Probes folder + name. With anyOpener, any other open descriptor (not
    // only a writer) counts as use: an archiver still reading the file.
    Verdict probe(const QString& name, bool anyOpener = false);
    // Ends the walk. A complete walk forgets the files it did not meet; a
    // walk cut short keeps them for next time.
    void endWalk(bool complete);

    // Vouches for a file that this process has just finished writing (an
    // archive it put into a target folder): as long as it keeps its size and
    // modification time it counts as quiet, so that a later pair of the same
    // pass can take it. Only young files need this; older vouchers are dropped.
    void vouch(const QString& path);

    // Forgets every sighting.
    void clear();
    // Number of files held in mind for the quiet period (all folders).
    int remembered() const;

private:
    struct Sighting {
        FileStamp stamp;
        qint64 seenAtMs = 0; // monotonic clock
    };
    using FolderMemory = QHash<QString, Sighting>;

    struct FileId {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId&) const = default;
    };
    friend size_t qHash(const FileId& id, size_t seed) {
        return qHashMulti(seed, id.device, id.inode);
    }
    void dropOldVouchers();

    QHash<QString, FolderMemory> m_memory;
    QHash<FileId, FileStamp> m_vouched;
    QString m_folder;
    QSet<QString> m_met;
};

} // namespace platform
