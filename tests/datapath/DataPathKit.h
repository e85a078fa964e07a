#pragma once

// Small file helpers shared by the data-path tests.

#include <QDir>
#include <QFile>
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
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                      size_t(value.size()), 0) == 0;
}

inline QByteArray getXattr(const QString& path, const char* name) {
    char buf[4096];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, buf, sizeof buf);
    return n < 0 ? QByteArray("<none>") : QByteArray(buf, int(n));
}

inline bool onOtherFileSystems(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev != sb.st_dev;
}
