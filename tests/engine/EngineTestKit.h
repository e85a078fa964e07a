#pragma once

// What the engine tests share: a window that records what the engine does to
// it, a fresh program folder with the built archiver, and file helpers.

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/PairProcessing.h"
#include "engine/WindowPort.h"
#include "platform/InUseProbe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace kit {

class Recorder : public engine::WindowPort {
public:
    QStringList events;
    QHash<QString, QString> labels;
    QHash<QString, int> bars;
    QHash<QString, bool> enabled;
    QStringList messages; // message window texts, in order
    QString trayTip;
    bool timerOn = false, running = false;
    int selected = 0, beeps = 0, ends = 0, eventRounds = 0;
    std::function<void()> onEvents; // runs inside each round of processEvents

    void setLabelText(const QString& c, const QString& t) override { labels[c] = t; }
    void setBarValue(const QString& c, int v) override { bars[c] = v; }
    void setBarRange(const QString&, int, int) override {}
    void setControlEnabled(const QString& c, bool on) override { enabled[c] = on; }
    void showRunningState(bool r) override { running = r; }
    void setTimerOn(bool on) override { timerOn = on; }
    void setTrayTip(const QString& tip) override {
        trayTip = tip;
        events << QStringLiteral("tip ") + tip;
    }
    int selectedPairNumber() const override { return selected; }
    void refreshFileList(int side, const QString& folder) override {
        events << QStringLiteral("list %1 %2").arg(side).arg(folder);
    }
    void showMessageWindow(const QString& text) override { messages << text; }
    void beep() override { ++beeps; }
    void restoreIfMinimised() override { events << QStringLiteral("restore"); }
    void processEvents() override {
        ++eventRounds;
        if (onEvents) {
            onEvents();
        }
    }
    void endProgram() override {
        ++ends;
        events << QStringLiteral("end");
    }
    int count(const QString& event) const { return int(events.count(event)); }
};

inline void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every name in a folder, hidden ones included, sorted.
inline QStringList names(const QString& folder) {
    QStringList list = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    list.sort();
    return list;
}

// Makes the file look untouched for an hour, so that its quiet period is over.
inline void age(const QString& path) {
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    QVERIFY2(
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0,
        qPrintable(path));
}

inline void ageAll(const QString& folder) {
    for (const QString& n : names(folder)) {
        age(folder + QLatin1Char('/') + n);
    }
}

// A program folder with the archiver linked in, default settings, no pairs
// and a clean engine state.
class Program {
public:
    QTemporaryDir dir;

    Program() {
        config::setProgramFolder(dir.path());
        config::program().language = 0;
        config::program().ntFlag = true;
        config::settings() = config::Settings{};
        config::settings().pathLogs = dir.path();
        config::folderPairs().pairs.clear();
        engine::state() = engine::EngineState{};
        engine::pairProbe().clear();
        QFile::link(QStringLiteral(VELMORADO_BIN_DIR "/rar"), dir.filePath(QStringLiteral("rar")));
    }
    ~Program() { config::folderPairs().pairs.clear(); }

    // A new empty folder in the program folder.
    QString folder(const QString& name) const {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }

    // Appends a pair to the table; returns its number.
    static int addPair(const QString& source, const QString& target, bool compress,
                       const QString& nbTemporisations = QStringLiteral("1"), bool enabled = true) {
        config::folderPairs().pairs.append(
            config::FolderPair{source, target, nbTemporisations, nbTemporisations,
                               compress ? QStringLiteral("0") : QStringLiteral("1"),
                               enabled ? QStringLiteral("1") : QStringLiteral("0")});
        return int(config::folderPairs().pairs.size());
    }
};

} // namespace kit
