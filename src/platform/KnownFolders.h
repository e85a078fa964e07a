#pragma once

#include "platform/UniqueFd.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

struct inotify_event;

namespace platform {

// What stat() said of folders, said again without asking the file system
// while nothing has happened that could change the answer: a pass looks at
// both folders of hundreds of pairs that stay as they are for hours.
//
// The rule: a folder is known (its answer kept) only when the folder and
// every folder above it are real folders (no link on the way, no "." or ".."
// in the path) on file systems whose every change goes through this
// machine's kernel (changesSeenHere), and inotify watches each of them for
// entries made, removed or renamed, attributes changed (times, permissions),
// and the folder itself moved, removed or unmounted. The watches are set up
// before the stat whose answer is kept, so a change made after that stat is
// always reported. A report from a folder's own watch of a change in it (an
// entry, an attribute) has it asked again once, its watches kept; a report
// that the way to it changed (a folder on it, or the folder itself, moved,
// removed or unmounted, or the permissions of a folder on it changed)
// forgets it, and its watches are set up again at the next look; so does
// an entry of the next folder's name made, removed or renamed in a folder on
// the way (a folder removed while another program holds it, a shell in it or
// a file server serving it, is reported to its own watch only once that
// program lets go); entries made or removed beside the way change nothing
// for it. A change in the mount table, or an overflow of the kernel's
// queue, forgets them all.
// Never known: a folder that is missing or cannot be examined (asked again
// every time), a folder on a share or a user-space file system (another
// machine's changes reach no watch here), one reached through a link, and
// any folder once watches run out: those are asked every time, and the
// watches are not tried again for them until the mount table changes.
//
// catchUp() reads what happened: the caller calls it before it relies on
// earlier answers (at the start of a pass, and after its own work may have
// changed folders). A change made by another program between catchUp() and
// a look is seen at the next catchUp(), as it would be by a stat made just
// before the change.
class KnownFolders {
public:
    // Like isFolder(path, st): whether path names a folder (following
    // links), with what stat() said of it in *st (zeroed when it does not).
    bool isFolder(const QString& path, struct stat* st = nullptr);

    // Forgets every folder that may have changed since the last call.
    void catchUp();

    // Forgets, with their watches, the folders not asked about since the
    // last call: those of pairs taken out of the table.
    void forgetUnasked();

    // Whether every change to folder, on device dev, goes through this
    // machine's kernel (changesSeenHere), asked once per device until the
    // mount table changes.
    bool localFileSystem(const QString& folder, dev_t dev);

    // Whether the answer for path is kept (for tests and the bench).
    bool known(const QString& path) const { return m_known.contains(path); }

    // Forgets everything and drops every watch.
    void clear();

private:
    struct Known {
        struct stat st {};
        QList<int> watches;    // from the top folder down to the folder itself
        QList<QByteArray> way; // the name looked up in each of them but the last
        bool stale = false;    // something changed in it: ask once more
        bool asked = true;     // since the last forgetUnasked()
    };
    enum class Watched { All, NotHere, Missing };
    bool watchMounts();
    bool open();
    Watched watchAllOf(const QString& path, QList<int>* watches, QList<QByteArray>* way);
    void dropUnused(const QList<int>& watches);
    void forget(const QString& path);
    void changed(const struct inotify_event& event);

    QHash<QString, Known> m_known;
    QHash<int, QStringList> m_users; // watch -> the known folders it guards
    QHash<dev_t, bool> m_local;      // per device: changesSeenHere
    QSet<QString> m_unwatchable;     // folders asked every time
    UniqueFd m_inotify;
    UniqueFd m_mounts; // /proc/self/mountinfo, polled for changes to the mount table
    bool m_unusable = false;
};

KnownFolders& knownFolders();

} // namespace platform
