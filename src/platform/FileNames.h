#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Names as the system holds them, and the names of the program's own
// temporary files: every rule about them is here, once.
namespace platform {

// A path (or a name) as the bytes the system takes, and back. Names on Linux
// are bytes, read as UTF-8. A byte that is not part of a valid UTF-8
// sequence (a Latin-1 name written by an old client) becomes the lone
// surrogate U+DC00 + byte, which encodePath turns back into that byte; a
// name file holds it like any other character (UTF-16 as hexadecimal text),
// so the name travels byte for byte. decodePath followed by encodePath gives
// back any bytes exactly, and both work piece by piece: the bytes of
// folder + name are the folder's followed by the name's.
//
// A text that decodePath cannot have made (another lone surrogate, or escaped
// bytes that together form valid UTF-8) has no bytes of its own: encodePath
// writes U+FFFD for a lone surrogate, and isEncodable tells such a text apart.
QByteArray encodePath(const QString& path);
QString decodePath(const QByteArray& bytes);
// True when text comes back unchanged through encodePath and decodePath.
bool isEncodable(const QString& text);

// The program's own temporary names. Each is hidden (starts with "."):
//  - ".velmorado-move-XXXXXX": the copy of a move across file systems
//    (FileOps), XXXXXX six letters or digits (mkstemp's);
//  - ".velmorado-x-ARCHIVE": the private folder of one extraction;
//  - ".rar-XXXXXXXXXXXX.tmp": an archive (or a member) the bundled archiver
//    is writing, X twelve letters or digits;
//  - ".NAME.XXXXXX": the content of NAME while it is written (AtomicFile, and
//    FileLock::create for a name file), ours only when NAME is one of the
//    program's own files: ".notes.abc123" beside a user's "notes" is the
//    user's, as is any such name whose tail is not six letters or digits.
inline const QString kMoveTemporaryPrefix = QStringLiteral(".velmorado-move-");
inline const QString kExtractionFolderPrefix = QStringLiteral(".velmorado-x-");
inline const QString kArchiverTemporaryPrefix = QStringLiteral(".rar-");
inline const QString kArchiverTemporarySuffix = QStringLiteral(".tmp");

// The templates handed to createLockedTemporary (AtomicFile.h).
QString moveTemporaryTemplate();
QString writeTemporaryTemplate(const QString& fileName);

bool isMoveTemporary(const QString& name);
bool isExtractionFolder(const QString& name);
bool isArchiverTemporary(const QString& name);
// ".NAME.XXXXXX" for some non-empty NAME, given in *base.
bool isWriteTemporary(const QString& name, QString* base = nullptr);

// A name of the program's own making: a move temporary, an extraction
// folder, an archiver's temporary, or the write temporary of a file that
// ownsWrites accepts.
bool isOwnTemporary(const QString& name, const std::function<bool(const QString&)>& ownsWrites);

} // namespace platform
