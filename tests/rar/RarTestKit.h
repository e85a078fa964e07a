#pragma once

// What the archiver's tests share: the built rar and the programs that read
// what it writes, run without a shell on paths as bytes, in a fresh folder.

#include "FileKit.h"

#include <functional>
#include <optional>

namespace rarkit {

using namespace filekit::bytes;
using filekit::randomBytes;

struct Result {
    int code = -1;     // -1: the program did not end by itself
    QByteArray output; // standard output, then standard error
    QByteArray out;    // standard output alone
};

// A program with arguments as they are, in cwd; setup runs in the child
// before it starts; env, when given, is its whole environment.
inline Result runProgram(const QString& program, const QStringList& args,
                         const QByteArray& cwd = {}, const std::function<void()>& setup = {},
                         const std::optional<QProcessEnvironment>& env = {}) {
    QProcess p;
    if (env) {
        p.setProcessEnvironment(*env);
    }
    p.setWorkingDirectory(QFile::decodeName(cwd));
    p.setChildProcessModifier(setup ? setup : [] {});
    p.start(program, args);
    p.waitForFinished(240000);
    const QByteArray out = p.readAllStandardOutput();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            out + p.readAllStandardError(), out};
}
// The built archiver.
inline Result rar(const QList<QByteArray>& args, const QByteArray& cwd = {},
                  const std::function<void()>& setup = {},
                  const std::optional<QProcessEnvironment>& env = {}) {
    QStringList list;
    for (const QByteArray& a : args) {
        list << QFile::decodeName(a);
    }
    return runProgram(VELMORADO_BIN_DIR "/rar", list, cwd, setup, env);
}
inline bool have(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
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
