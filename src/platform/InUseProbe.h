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
//    the file must have kept its size, modification and change times and
//    inode for kQuietMs since this process first saw it so, measured on this
//    process's monotonic clock. The file's own dates are compared, never
//    read as ages: a file dated ahead of the clock (or behind it, written by
//    a machine whose clock is late) is quiet after the same period as any
//    other.
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

// What the quiet period compares: a file that keeps all of it is not written.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
    qint64 ctimeSec = 0;
    qint64 ctimeNsec = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};

class InUseProbe {
public:
    enum class Verdict {
        Take,       // nobody writes to it and it has been quiet for the quiet period
        InUse,      // a writer holds it open
        New,        // not in mind yet: kept in mind, quiet at quietAtMs() if it stays so
        NotQuiet,   // changed since it was last seen, or not quiet for long enough yet
        Unreadable, // a regular file that this process may not read
        Unusable    // gone, a link, not a regular file, or cannot be opened otherwise
    };

    // The quiet period.
    static constexpr qint64 kQuietMs = 2000;
    // How long a voucher (vouch) lasts unused.
    static constexpr qint64 kVoucherMs = 3600 * 1000;

    // The monotonic clock the quiet period is measured on, in milliseconds.
    static qint64 nowMs();

    // Starts the walk of folder (the path ending in "/").
    void beginWalk(const QString& folder);
    // Probes folder + name. With anyOpener, any other open descriptor (not
    // only a writer) counts as use: an archiver still reading the file. A
    // file taken keeps its sighting: probed again unchanged, it is taken again.
    Verdict probe(const QString& name, bool anyOpener = false);
    // When the file name of the folder walked, unchanged, becomes quiet (on
    // nowMs()); -1 when it is not in mind.
    qint64 quietAtMs(const QString& name) const;
    // Ends the walk. A complete walk forgets the files it did not meet; a
    // walk cut short keeps them for next time.
    void endWalk(bool complete);

    // Vouches for a file that this process has just finished writing (an
    // archive it put into a target folder): as long as it keeps its stamp it
    // counts as quiet, so that a later pair of the same pass can take it.
    // Vouchers are dropped after kVoucherMs.
    void vouch(const QString& path);

    // Forgets every sighting.
    void clear();
    // Number of files held in mind for the quiet period (all folders).
    int remembered() const;

private:
    struct Sighting {
        FileStamp stamp;
        qint64 seenAtMs = 0; // nowMs() when first seen with this stamp
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
    QHash<FileId, Sighting> m_vouched; // the stamp vouched for, and when
    QString m_folder;
    QSet<QString> m_met;
};

} // namespace platform
