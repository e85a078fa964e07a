#pragma once

// A program folder in a temporary directory; the list's hex text is written
// here by hand, not by the program's encoder, so that a fault in it shows.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include "FileKit.h"

#include <initializer_list>

namespace programkit {

using Programs = std::initializer_list<const char*>;

inline QString binDir() {
    return QStringLiteral(VELMORADO_BIN_DIR);
}
// A path as the list file stores it: each UTF-16 unit low byte first, upper-case hex.
inline QByteArray hexText(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        out += QByteArray::number((u & 0xFF) | 0x100, 16).mid(1).toUpper() +
               QByteArray::number((u >> 8) | 0x100, 16).mid(1).toUpper();
    }
    return out;
}
// One line of the folder-pair list file.
inline QByteArray listLine(const QString& source, const QString& target) {
    return '"' + hexText(source) + "\",\"" + hexText(target) + "\"\r\n";
}
// Copies (not links: the program finds its folder from its real path) the named
// built programs into folder; a failure fails the running test.
inline bool install(const QString& folder, Programs programs) {
    bool ok = true;
    for (const char* name : programs) {
        ok = QTest::qVerify(QFile::copy(binDir() + '/' + name, folder + '/' + name), "install",
                            name, __FILE__, __LINE__) &&
             ok;
    }
    return ok;
}
// Offscreen, every box answered from answers (one a line; empty: written to
// standard error instead of waiting for a user).
inline QProcessEnvironment environment(const QString& answers = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELMORADO_DIALOG_ANSWERS", answers);
    return env;
}
// A temporary program folder with the archiver in it (or the programs named).
class ProgramFolder {
public:
    ProgramFolder() : ProgramFolder({"rar"}) {}
    explicit ProgramFolder(Programs programs) { install(path(), programs); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return path() + '/' + name; }
    QString ini() const { return filePath("Velmorado.ini"); }
    QString list() const { return filePath("Velmorado.w"); }
    QString exe() const { return filePath("velmorado"); }
    // A folder, made, in the temporary directory.
    QString folder(const QString& name) const {
        QDir().mkpath(filePath(name));
        return filePath(name);
    }
    // Starts the program of this folder in p as a desktop copy (in no service),
    // with folders of its own for the desktop's files.
    void start(QProcess& p) const {
        QProcessEnvironment env = environment();
        for (const char* xdg : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            env.insert(xdg, folder(xdg));
        }
        env.remove("VELMORADO_SERVICE");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(path());
        p.start(exe(), {});
    }
    bool writeIni(const QByteArray& text) const { return filekit::writeFile(ini(), text); }
    bool writeList(const QByteArray& text) const { return filekit::writeFile(list(), text); }
    bool writePairs(const QList<QPair<QString, QString>>& pairs) const {
        QByteArray text;
        for (const auto& p : pairs) {
            text += listLine(p.first, p.second);
        }
        return writeList(text);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace programkit
