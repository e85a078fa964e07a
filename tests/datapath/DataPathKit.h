#pragma once

// What the data-path tests share: file helpers and a fresh program folder.

#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"

#include <QtTest>

#include <sys/stat.h>
#include <sys/xattr.h>

inline void writeFile(const QString& path, const QByteArray& data, int mode = 0644) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly) && f.write(data) == data.size(), qPrintable(path));
    f.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every entry of a folder, hidden ones included, in name order.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

inline bool setXattr(const QString& path, const char* name, const QByteArray& value) {
    return ::setxattr(QFile::encodeName(path), name, value, size_t(value.size()), 0) == 0;
}

inline QByteArray getXattr(const QString& path, const char* name) {
    char buf[4096];
    const ssize_t n = ::getxattr(QFile::encodeName(path), name, buf, sizeof buf);
    return n < 0 ? QByteArray("<none>") : QByteArray(buf, int(n));
}

// A temporary root holding the program folder "prog", with default settings,
// English texts and a clean engine state.
struct ProgramFolder {
    QTemporaryDir root;
    const QString prog = root.filePath("prog");

    ProgramFolder() {
        QDir().mkdir(prog);
        config::setProgramFolder(prog);
        config::program().language = 0;
        config::program().ntFlag = true;
        config::settings() = config::Settings{};
        engine::state() = engine::EngineState{};
    }
};
