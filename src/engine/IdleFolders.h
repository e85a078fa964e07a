#pragma once

#include <QHash>
#include <QString>

#include <ctime>
#include <sys/stat.h>
#include <sys/types.h>

namespace engine {

// The source folders that a complete walk found empty, so that a later pass
// can leave them alone while nothing has come into them: a file server runs
// hundreds of pairs that are empty most of the time.
//
// The rule: a folder may be passed over when its device, inode, modification
// time and change time are what they were just before a complete walk that
// met no entry in it. Adding, removing or renaming an entry changes both
// times of the folder on a local file system. Never passed over:
//  - a folder on a network or user-space file system (NFS, SMB, FUSE, ...):
//    another machine's changes reach the times late or not at all there;
//  - a folder whose times are less than kSettleSeconds old: an entry made in
//    the same tick of the file system's clock as the look before the walk
//    leaves them as they were;
//  - a folder that cannot be examined.
// What is remembered is dropped as soon as the folder is walked again.
class IdleFolders {
public:
    static constexpr int kSettleSeconds = 2;

    // The look at folder before it is walked, given what stat() said of it:
    // whether it may be passed over. *look receives what to hand to walked()
    // afterwards.
    struct Look {
        dev_t dev = 0;
        ino_t ino = 0;
        timespec mtime{};
        timespec ctime{};
        bool trusted = false; // local, and its times old enough
    };
    bool unchanged(const QString& folder, const struct stat& st, Look* look);

    // After a walk of folder that began with look: remembered as empty when
    // the walk was complete and met no entry, forgotten otherwise.
    void walked(const QString& folder, const Look& look, bool completeAndEmpty);

    void clear() { m_empty.clear(); }

private:
    QHash<QString, Look> m_empty;
};

IdleFolders& idleFolders();

} // namespace engine
