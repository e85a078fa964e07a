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

// Walks pair.sourceFolder once, flat, in the order the file system gives
// the entries, and hands every file that is left alone to CompressFile or
// ExtractFile by pair.compress, as a FileJob of the pair:
//  - folders are skipped, and so are links, pipes, sockets and devices;
//  - hidden entries (names that start with ".") are deleted, a file only
//    once it is left alone (InUseProbe): a copy in progress may write its
//    part file under a hidden name;
//  - the program's own temporary files are handled as leftovers (below);
//  - a file still being written waits for a later pass (InUseProbe);
//  - every file handed over counts in state().files.
// After every entry the window's events run; a stop (state().stopped) or a
// file whose outcome is EndWalk ends the walk. The first walk of a run with
// logs on says in the day's log when the stored prefix was not usable and
// "RA" stands in for it (config::Settings::refusedPrefix).
//
// Leftovers. A compression that was cut short leaves the user's file as a
// data file (prefix + six digits + ".rr") beside its name file (".rn") in the
// source folder. In a compress pair such a data file gets its own name back
// from the name file, when that name is usable and free, and is compressed
// again; otherwise it keeps its neutral name (the day's log says so) and is
// compressed under it. A name file whose data file is gone is removed once it
// is left alone, but only when it is the program's own (IsOwnNameFileContent);
// any other file of such a name, and a data file alone, is an ordinary file.
// In an uncompress pair a data or name file waits while the archive of its
// number lies in the folder (the extraction that made it is not over), and is
// an ordinary file otherwise. Temporary files that an archiver still has open
// are never touched.
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

// The name a name file gives back: its first quoted item, decoded from
// hexadecimal text. Nothing when the text is not hexadecimal of even length,
// or when the name is not safe to use in a folder (empty, ".", "..", a name
// starting with "." that the walk would delete, one holding "/" or NUL, one
// that is not valid as a file name on this system).
std::optional<QString> NameFromNameFile(const QByteArray& content);

} // namespace engine
