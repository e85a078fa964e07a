#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace engine {

// Starts the archiver with one Windows-style command line and waits for it
// without time limit. True when it could be started (it has then ended).
bool RunRarConsole(bool show, const QString& commandLine);

// What became of one file handed to CompressFile or ExtractFile.
enum class FileOutcome {
    Done,    // done and counted
    Stopped, // stopped at a failed step, nothing counted; the file waits for a later pass
    EndWalk  // done and counted, but the walk of this pair must end for this pass
};

// One file of a folder pair as the walk hands it over: name is a plain name
// in sourceFolder, and both folders end with "/".
struct FileJob {
    QString sourceFolder;
    QString targetFolder;
    QString name;
};

// Work on the file of job alone: of one file, the next keeps only the pass's
// counts (state()), the wait causes and the day's log lines.
//
// CompressFile hands out a number for good (LastFileNumber is stored first,
// its data flushed to disk) that nothing in the source folder holds (NumberedName::numberHeld),
// creates and locks the name file, moves the file to the data file, has the
// archiver pack both, extracts the archive once in a private folder to check
// that it holds those two and nothing else, and moves it into the target
// without replacing anything. When the archiver fails (an archive of that
// name came meanwhile), the file gets its name back; when the archive holds
// more, every file in it is given back and the archive goes: all of them are
// packed again at the next pass. A numbered archive found in the source
// folder is relayed the same way. An archive that cannot reach its target
// waits in the source folder, and why is recorded in waitCauses().
//
// ExtractFile takes the archive's lock (another copy of the program that
// extracts it holds it), runs the archiver in a private hidden folder beside
// the archive, takes from it only the data file and the name file of the
// archive's own number, moves the file to the target under its own name and
// only then deletes the archive, if its name still names the file it
// extracted; the private folder goes at the end. Any
// other member is left out (the day's log names them). A file that is not a
// numbered archive is moved unchanged, replacing one of its name.
// *archiveMade (when given) receives the path of the archive made and put
// into the target, and stays empty when none was.
FileOutcome CompressFile(const FileJob& job, QString* archiveMade = nullptr);
FileOutcome ExtractFile(const FileJob& job);

// The scope of one walk, in which CompressFile stores LastFileNumber ahead:
// when the number it hands out is not stored yet, it stores the one as many
// numbers on as the walk may still hand over files (setAhead, at most 64),
// so that a walk over many files writes the parameters file once in a while
// rather than once per file. In a scope or not, a number is stored before
// anything is made under it. When the outermost scope ends, the last number
// handed out in it is stored back in place of the ones stored ahead and left
// unused, unless the stored value has changed meanwhile. The stored value is
// still read at every file: one changed meanwhile is followed from the next
// file on (never stored over), one that is gone is stored again. A process
// killed in the scope leaves a gap in the numbering, never a number handed
// out twice. The scope also keeps the watch on each source folder (what came
// into it while a file was packed) from one file to the next.
class NumberScope {
public:
    NumberScope();
    ~NumberScope();
    NumberScope(const NumberScope&) = delete;
    NumberScope& operator=(const NumberScope&) = delete;

    // How many files the walk may still hand over, the next one included.
    static void setAhead(qsizetype files);
};

// Removes the private extraction folders in folder that an extraction
// interrupted after its archive was gone left behind, but none that a live
// process still holds, nor one whose archive is still there.
void ClearStaleExtractionFolders(const QString& folder);

// The source name held by a name file's content ("HEX" CR LF), or nothing
// when it does not decode or is no plain name for a folder: empty, "." or
// "..", holding "/" or NUL, too long or not valid as a file name here.
std::optional<QString> ReadNameFile(const QByteArray& content);

// The start-up check: "rar -?" can be started.
bool CheckRarConsole();

// As RunRarConsole, with the archiver's current folder set to workingFolder
// (empty: this process's own) for the child only; *exitStatus (when given)
// receives the archiver's exit code, -1 when it did not exit normally.
// *errorOutput (when given, and show is false) receives what the archiver
// wrote on its standard error.
bool RunRarConsoleIn(bool show, const QString& commandLine, const QString& workingFolder,
                     int* exitStatus = nullptr, QByteArray* errorOutput = nullptr);

// The start-up check's failure message (language 1 French, else English) and
// the title of its box, "Velmorado - 1.0c".
QString rarMissingMessage(int language);
QString rarMissingTitle();

} // namespace engine
