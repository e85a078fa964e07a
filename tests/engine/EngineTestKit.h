#pragma once

// What the engine and data-path tests share: a window that records what the
// engine does to it, a fresh program folder with the built archiver, file helpers.

#include "config/FolderPairs.h"
#include "config/HexText.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "engine/IdleFolders.h"
#include "engine/PairProcessing.h"
#include "engine/ProcessingPass.h"
#include "engine/WaitCauses.h"
#include "engine/WindowPort.h"
#include "platform/InUseProbe.h"
#include "platform/KnownFolders.h"

#include "FileKit.h"
#include "ProgramFolderKit.h"

#include <QtTest>

namespace kit {

using engine::Control;
using engine::ControlKind;
using Kind = engine::ControlKind;
using filekit::age;
using filekit::entries;
using filekit::readFile;
using filekit::writeFile;

class Recorder : public engine::WindowPort {
public:
    QStringList events, messages; // tray tips, file lists, restore, end; message windows
    QHash<QString, QString> labels;
    QHash<QString, int> bars;
    QHash<QString, QStringList> barLog; // each bar's ranges ("range 0 3") and values, in order
    QHash<QString, bool> enabled;
    QString waiting; // the last summary of the files that wait
    bool timerOn = false, running = false;
    int selected = 0, beeps = 0;
    std::function<void()> onEvents; // runs inside each round of processEvents

    // Controls are recorded under their names; one used as another kind stops the test.
    static QString name(Control c, ControlKind kind) {
        if (engine::controlKind(c) != kind) {
            qFatal("the engine used %s as a control of another kind",
                   qPrintable(engine::controlName(c)));
        }
        return engine::controlName(c);
    }
    void setLabelText(Control c, const QString& t) override { labels[name(c, Kind::Label)] = t; }
    void setBarValue(Control c, int v) override {
        bars[name(c, Kind::Bar)] = v;
        barLog[name(c, Kind::Bar)] << QString::number(v);
    }
    void setBarRange(Control c, int low, int high) override {
        barLog[name(c, Kind::Bar)] << QStringLiteral("range %1 %2").arg(low).arg(high);
    }
    void setControlEnabled(Control c, bool on) override { enabled[name(c, Kind::Switch)] = on; }
    void showRunningState(bool r) override { running = r; }
    void setTimerOn(bool on) override { timerOn = on; }
    void setTrayTip(const QString& tip) override { events << "tip " + tip; }
    int selectedPairNumber() const override { return selected; }
    void refreshFileList(int side, const QString& f) override {
        events << QStringLiteral("list %1 %2").arg(side).arg(f);
    }
    void showMessageWindow(const QString& text) override { messages << text; }
    void beep() override { ++beeps; }
    void restoreIfMinimised() override { events << "restore"; }
    void processEvents() override { onEvents ? onEvents() : void(); }
    void endProgram() override { events << "end"; }
    void setWaitingSummary(const QString& summary) override { waiting = summary; }
};

inline QString in(const QString& folder, const QString& name) {
    return folder + '/' + name;
}
inline void ageAll(const QString& folder) {
    for (const QString& n : entries(folder)) {
        age(in(folder, n));
    }
}
// An aged file (filled with its name unless told): the next walk takes it
// once it has been quiet (the walk waits for that).
inline void drop(const QString& folder, const QString& name, const QByteArray& data = {}) {
    writeFile(in(folder, name), data.isNull() ? name.toUtf8() : data);
    age(in(folder, name));
}
// The name file of an archive base: the name in hexadecimal text, quoted.
inline QByteArray nameLine(const QString& name) {
    return '"' + config::EncodeHexText(name).toLatin1() + "\"\r\n";
}
// One walk of source into target, as a pass would start it.
inline void walk(engine::WindowPort& window, const QString& source, const QString& target,
                 bool compress) {
    engine::state().stopped = false;
    engine::ProcessPair(window, {source + QLatin1Char('/'), target + QLatin1Char('/'), compress});
}
// Unpacks every archive of folder into target with an uncompress walk.
inline void unpackAll(engine::WindowPort& window, const QString& folder, const QString& target) {
    ageAll(folder);
    walk(window, folder, target, false);
}
// The counts of the last pass, in the order of engine::PassCounts.
inline QList<int> counts() {
    const engine::EngineState& s = engine::state();
    return {s.files,         s.compressed,           s.uncompressed,
            s.sourceFolders, s.invalidSourceFolders, s.invalidTargetFolders};
}
// One processing pass, as the scheduler would start it.
inline void pass(engine::WindowPort& window, const engine::ServiceHooks& hooks = {}) {
    engine::state().stopped = false;
    engine::RunProcessingPass(window, hooks);
}
// The lines of today's log in folder that hold part.
inline QStringList logLines(const QString& folder, const QString& part) {
    const QString path = engine::dayLogPath(folder, QDate::currentDate());
    return QString::fromUtf8(readFile(path)).split("\r\n").filter(part);
}
// A shared read lock on a read-only descriptor, as another copy holds it
// through a share; the descriptor, or -1.
inline int lockShared(const QString& path) {
    const int fd = ::open(QFile::encodeName(path), O_RDONLY | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    return fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? fd : -1;
}
// A program folder with the archiver linked in and three empty folders,
// default settings, no pairs, a clean engine state and today's log path set.
class Program : public programkit::ProgramFolder {
public:
    const QString src = folder("src"), arch = folder("arch"), out = folder("out");

    Program() : ProgramFolder(programkit::Programs{}) {
        config::setProgramFolder(path());
        config::setLanguage(0);
        config::settings() = config::Settings{};
        config::settings().pathLogs = path();
        config::folderPairs().pairs.clear();
        engine::state() = engine::EngineState{};
        engine::pairProbe().clear();
        engine::idleFolders().clear();
        platform::knownFolders().clear();
        engine::waitCauses().reset();
        QFile::link(VELMORADO_BIN_DIR "/rar", filePath("rar"));
        engine::state().dayLogPath = engine::dayLogPath(path(), QDate::currentDate());
    }

    // The pairs source -> via (compress) and via -> target (uncompress).
    static void addChain(const QString& source, const QString& via, const QString& target) {
        addPair(source, via, true);
        addPair(via, target);
    }
    // Appends a pair to the table, in uncompress mode unless compress.
    static void addPair(const QString& source, const QString& target, bool compress = false,
                        const QString& every = "1", bool enabled = true) {
        config::folderPairs().pairs.append(config::FolderPair{
            source, target, every, every, compress ? "0" : "1", enabled ? "1" : "0"});
    }
};

} // namespace kit
