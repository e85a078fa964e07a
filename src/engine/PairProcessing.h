#pragma once

#include <QString>

#include <optional>

namespace platform {
class InUseProbe;
}

namespace engine {

class WindowPort;

// Lets pending window events run Performance times in a row; nothing when
// Performance is below 1.
void YieldEvents(WindowPort& window);

// One folder pair as the pass hands it to the walk: both folders end with "/".
struct PairJob {
    QString sourceFolder;
    QString targetFolder;
    bool compress = true; // a compress pair; false: an uncompress pair
};

// Walks pair.sourceFolder once, flat, and hands every file that is left
// alone to CompressFile or ExtractFile by pair.compress, as a FileJob of the
// pair:
//  - folders are skipped, and so are links, pipes, sockets and devices;
//  - the program's daily logs (isDailyLogName) stay where they are: a log
//    folder that is also a source folder never sends them on;
//  - names are carried byte for byte (platform::decodePath): a name that is
//    not valid UTF-8 travels like any other;
//  - the program's own temporary names (platform::isOwnTemporary: move
//    copies ".velmorado-move-XXXXXX", the archiver's ".rar-XXXXXXXXXXXX.tmp",
//    and ".NAME.XXXXXX" where NAME is a name file of the prefix and the file
//    holds a name file's line, whole, cut short or empty, or NAME is the
//    parameters or list file in the program's own folder) are leftovers:
//    deleted once nobody holds them and they are left alone (InUseProbe).
//    Any other hidden file (".htaccess", ".env", "._report.doc",
//    ".notes.abc123" beside a user's "notes", ".RA000001.rn.abc123" holding
//    anything else) is a user's file and travels like any other;
//  - data and name files of the prefix are handled as leftovers (below);
//  - a file still being written waits for a later pass (InUseProbe); so does
//    a file the program may not read, a wait cause (FileUnreadable) said once
//    when it starts and once when it clears;
//  - every file handed over counts in state().files.
//
// Order. The numbered archives of the prefix (in any case) come first,
// oldest number first, so that of two versions of one file the last one made
// is delivered last and stays: in an uncompress pair it replaces the older
// one, and a compress pair relays them in that order. Numbers run in a
// circle: the oldest is the one after the widest gap between the numbers
// present (999998, 999999, 0, 1 go in that order). While an archive is being
// written or has not been quiet long enough, or (in a compress pair) cannot be
// relayed because one of its name is in the target, the later ones wait with it. The
// numbers tell the order only of archives of one counter: archives of one
// prefix made by two machines, each with its own counter, go in number order
// all the same, which is the best that can be told from their names. Where
// they meet, a compression numbers its archive after the newest archive
// already in its source or target folder (NumberedName::numberFor), so a
// machine that relays another's archives numbers its own after them; two
// machines that pack into one folder at once stay in number order. The
// archives of another prefix are no archives here (ExtractFile moves them
// unchanged) and keep the order of the other files. Every other entry comes
// after the archives, in the order the file system gives.
//
// Quiet period. A file is taken once it has kept its stamp for the quiet
// period since this process first saw it so, on its own monotonic clock
// (InUseProbe), whatever the date it carries. The files that the walk meets
// for the first time come back in a second round of the same walk, once
// their quiet period is over: the walk waits for it (at most the quiet
// period), letting the window's events run, so that a run that ends after
// one pass takes them too. A file that changed since an earlier walk, or
// has not been quiet long enough since, is being written and waits for a
// later pass.
//
// After every entry (and while it waits) the window's events run; a stop
// (state().stopped) or a file whose outcome is EndWalk ends the walk. The
// first walk of a run with logs on says in the day's log when the stored
// prefix was not usable and "RA" stands in for it
// (config::Settings::refusedPrefix).
//
// Leftovers. A compression that was cut short leaves the user's file as a
// data file (prefix + six digits + ".rr") beside its name file (".rn") in the
// source folder. In a compress pair such a data file gets its own name back
// from the name file (a hidden name included), when that name is usable and
// free, and is compressed again; otherwise it keeps its neutral name (the
// day's log says so) and is compressed under it. A name file whose data file
// is gone is removed once it is left alone, but only when it is the
// program's own (IsOwnNameFileContent); any other file of such a name, and a
// data file alone, is an ordinary file. In an uncompress pair a data or name
// file waits while the archive of its number lies in the folder (the
// extraction that made it is not over), and is an ordinary file otherwise.
// Temporary files that an archiver still has open are never touched.
//
// True when the walk went through the whole folder and met no entry at all.
bool ProcessPair(WindowPort& window, const PairJob& pair);

// A name file of the program's own: at most this size, one line "HEX" with
// an optional line end, HEX a hexadecimal text (of a usable name, unless
// usableName is false).
inline constexpr qsizetype kMaxNameFileSize = 2048;
bool IsOwnNameFileContent(const QByteArray& content, bool usableName = true);

// What the quiet period remembers between walks.
platform::InUseProbe& pairProbe();

} // namespace engine
