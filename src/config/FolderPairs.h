#pragma once

#include <QString>
#include <QVector>

namespace config {

// Pair numbers are signed 16-bit values: the table holds at most this many.
inline constexpr int kMaxPairs = 32767;

// What a grid cell shows before the path of a missing folder, and for a
// target that is not set yet; typed back into the folder entry, they mean the
// folder itself and no folder.
inline const QString kMissingFolderMark = QStringLiteral("??? ");
inline const QString kNoTargetMark = QStringLiteral("???");

// One folder pair; every field is text, kept exactly as read.
struct FolderPair {
    QString source;           // full path of the source folder
    QString target;           // full path of the target folder; empty until set
    QString nbTemporisations; // "1" or "2".."64000": processed at every N-th pass
    QString remaining;        // passes left before the next processing (never stored)
    QString rar;              // "0" compress, anything else uncompress
    QString enable;           // "1" takes part in passes
};

// Pairs addressed by number: pair n is pairs[n - 1].
struct FolderPairTable {
    QVector<FolderPair> pairs;
    FolderPair* pair(int number) {
        return number >= 1 && number <= pairs.size() ? &pairs[number - 1] : nullptr;
    }
    // Puts pair at number, the table growing with empty pairs up to it; the
    // pairs before it stay. Nothing changes and nullptr comes back when
    // number is not a pair number (1 to 32767).
    FolderPair* place(int number, const FolderPair& pair);
};

FolderPairTable& folderPairs();

// What one grid row shows for a loaded pair.
struct PairRowView {
    int pairNumber = 0;
    QString sourceText; // path, "??? " + path when missing, six blanks before it on a Mac volume
    QString targetText; // the same; "???" when no target is set
    bool sourceOnMac = false;
    bool targetOnMac = false;
};

// Reads the list file and the pair sections, rebuilds folderPairs() (pairs
// numbered 1.. in list order) and returns one row view per pair.
QVector<PairRowView> LoadFolderPairs();

// Writes the list file and the pair sections Rar_1.. from the grid's rows:
// rowPairNumbers[r] is the pair number that row r carries.
void SaveFolderPairs(const QVector<int>& rowPairNumbers);

// True when folder or a folder above it holds an entry "Network Trash Folder".
bool IsMacintoshVolume(const QString& folder);

} // namespace config
