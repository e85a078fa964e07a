#pragma once

// What the archiver's tests share: the built rar and the programs that read
// what it writes, run without a shell on paths as bytes, in a fresh folder.

#include "FileKit.h"

#include <functional>
#include <optional>

namespace rarkit {

using namespace filekit::bytes;
using filekit::randomBytes, filekit::Result, filekit::run;

// The built archiver.
inline Result rar(const QList<QByteArray>& args, const QByteArray& cwd = {},
                  const std::function<void()>& setup = {},
                  const std::optional<QProcessEnvironment>& env = {}) {
    QStringList list;
    for (const QByteArray& a : args) {
        list << QFile::decodeName(a);
    }
    return run(VELMORADO_BIN_DIR "/rar", list, env, cwd, setup);
}
// rar e of archive in folder, made first when it is not there.
inline Result unpack(const QByteArray& archive, const QByteArray& folder,
                     const std::optional<QProcessEnvironment>& env = {}) {
    ::mkdir(folder, 0755);
    return rar({"e", archive}, folder, {}, env);
}
inline bool have(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}
// The files of a folder and their contents, by name as bytes.
using Files = QMap<QByteArray, QByteArray>;
inline Files files(const QByteArray& folder) {
    Files all;
    for (const QByteArray& name : rawNames(folder)) {
        all.insert(name, get(folder + '/' + name));
    }
    return all;
}

// A temporary folder d with the empty folders src and work.
class RarTest : public QObject {
protected:
    std::optional<QTemporaryDir> m_dir;
    QByteArray d;

    void makeFolders() {
        QVERIFY(m_dir.emplace().isValid());
        d = QFile::encodeName(m_dir->path());
        QVERIFY(::mkdir(d + "/src", 0755) == 0 && ::mkdir(d + "/work", 0755) == 0);
    }
};

} // namespace rarkit
