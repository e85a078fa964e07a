// Throughput of the processing engine on real folders with the built rar:
//  - a compress pass over N small files (In -> Arch), seen once and quiet
//    since, and the extract pass back (Arch -> Out), in files per second; the
//    same compress pass over files it meets for the first time (it waits out
//    their quiet period once); against a plain shell loop that does
//    `tar --zstd -cf` then `mv` per file (and `tar --zstd -xf` then `mv` back)
//    on the same files in the same run;
//  - the processor time of a pass over 200 pairs whose folders are empty
//    and have been for a few seconds;
//  - the peak memory of this process (VmHWM, ru_maxrss) and of its children.
//
// Usage: bench_engine [files=1000] [bytes=2048] [idle passes=50]

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/PairProcessing.h"
#include "engine/ProcessingPass.h"
#include "engine/WindowPort.h"
#include "platform/InUseProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class QuietWindow : public engine::WindowPort {
public:
    void setLabelText(engine::Control, const QString&) override {}
    void setBarValue(engine::Control, int) override {}
    void setBarRange(engine::Control, int, int) override {}
    void setControlEnabled(engine::Control, bool) override {}
    void showRunningState(bool) override {}
    void setTimerOn(bool) override {}
    void setTrayTip(const QString&) override {}
    int selectedPairNumber() const override { return 0; }
    void refreshFileList(int, const QString&) override {}
    void showMessageWindow(const QString&) override {}
    void beep() override {}
    void restoreIfMinimised() override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void endProgram() override {}
};

void addPair(const QString& source, const QString& target, bool compress) {
    config::FolderPair p;
    p.source = source;
    p.target = target;
    p.nbTemporisations = p.remaining = QStringLiteral("1");
    p.rar = compress ? QStringLiteral("0") : QStringLiteral("1");
    p.enable = QStringLiteral("1");
    config::folderPairs().pairs.append(p);
}

// Dated an hour back, as files copied in keep their dates. The quiet period
// does not look at dates: a walk that meets the files first waits it out once.
void age(const QString& path) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

void makeFiles(const QString& folder, int count, int bytes) {
    QDir().mkpath(folder);
    QRandomGenerator rng(42);
    for (int i = 0; i < count; ++i) {
        const QString path =
            folder + QStringLiteral("/file %1.txt").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QByteArray data(bytes, '\0');
        for (int j = 0; j < bytes; ++j) {
            data[j] = char('a' + rng.bounded(8)); // text-like, compressible
        }
        f.write(data);
        f.close();
        age(path);
    }
}

// The three folders of one way of packing and unpacking: In, filled with
// the files, then Arch and Out, empty.
struct Folders {
    QString in, arch, out;
};
Folders filledFolders(const QTemporaryDir& root, const QString& prefix, int files, int bytes) {
    const Folders f{root.filePath(prefix + QStringLiteral("In")),
                    root.filePath(prefix + QStringLiteral("Arch")),
                    root.filePath(prefix + QStringLiteral("Out"))};
    makeFiles(f.in, files, bytes);
    QDir().mkpath(f.arch);
    QDir().mkpath(f.out);
    return f;
}

int countIn(const QString& folder) {
    return int(QDir(folder).entryList(QDir::Files | QDir::Hidden).size());
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QString statusLine(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return QString::fromLatin1(line).simplified();
        }
    }
    return QString();
}

// Lets the engine's in-use probe see every file of folder once, as a pass
// that met them would, without taking them.
void sightAll(const QString& folder) {
    platform::InUseProbe& probe = engine::pairProbe();
    probe.beginWalk(folder + QLatin1Char('/'));
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        probe.probe(name);
    }
    probe.endWalk(true);
}

// Each timed phase starts on a settled disk: what the phases before it wrote
// is on the disk, so that their write-back does not fall into this phase's
// flushes (and ext4 without a journal, at every creation, passes over the
// inodes freed in the last minute, or six while their table block waits to
// be written).
void settleDisk() {
    ::sync();
}

double timedPass(QuietWindow& window) {
    settleDisk();
    engine::state().stopped = false;
    engine::state().forcedPass = true;
    QElapsedTimer t;
    t.start();
    engine::RunProcessingPass(window, {});
    return double(t.nsecsElapsed()) / 1e9;
}

double shell(const QString& script) {
    settleDisk();
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 1000;
    const int bytes = argc > 2 ? atoi(argv[2]) : 2048;

    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("program"));
    QDir().mkpath(program);
    QFile::link(QStringLiteral(VELMORADO_BIN_DIR "/rar"), program + QStringLiteral("/rar"));
    config::setProgramFolder(program);
    config::settings() = config::Settings{};
    config::settings().pathLogs = program;
    QuietWindow window;

    // The engine: one compress pass, then one extract pass. The files have
    // been seen once and have been quiet since (as on a server where files
    // keep coming, each is seen at one pass and taken at the next): the pass
    // times the work per file. The same pass over files seen for the first
    // time waits out their quiet period once, which is printed apart.
    const auto [in, arch, out] = filledFolders(root, QString(), files, bytes);
    addPair(in, arch, true);
    sightAll(in);
    QThread::msleep(platform::InUseProbe::kQuietMs + 100);
    const double compressSeconds = timedPass(window);
    const int archives = countIn(arch);
    config::folderPairs().pairs.clear();
    addPair(arch, out, false);
    const double extractSeconds = timedPass(window);
    const int extracted = countIn(out);

    // The same compress pass on files it meets for the first time.
    const auto [firstIn, firstArch, firstOut] =
        filledFolders(root, QStringLiteral("First"), files, bytes);
    config::folderPairs().pairs.clear();
    addPair(firstIn, firstArch, true);
    const double firstSeconds = timedPass(window);
    const int firstArchives = countIn(firstArch);

    // The shell loop on the same files.
    const auto [shIn, shArch, shOut] = filledFolders(root, QStringLiteral("Sh"), files, bytes);
    const double shCompress =
        shell(QStringLiteral("cd '%1' && for f in *; do tar --zstd -cf \"$f.tar.zst\" -- \"$f\" && "
                             "mv -- \"$f.tar.zst\" '%2/' && rm -- \"$f\"; done")
                  .arg(shIn, shArch));
    const double shExtract =
        shell(QStringLiteral("cd '%1' && for a in *.tar.zst; do f=\"${a%.tar.zst}\"; "
                             "tar --zstd -xf \"$a\" && mv -- \"$f\" '%2/' && rm -- \"$a\"; done")
                  .arg(shArch, shOut));
    const int shDone = countIn(shOut);

    // A pass over 200 pairs whose folders are empty.
    config::folderPairs().pairs.clear();
    for (int i = 0; i < 200; ++i) {
        const QString s = root.filePath(QStringLiteral("empty/s%1").arg(i));
        const QString t = root.filePath(QStringLiteral("empty/t%1").arg(i));
        QDir().mkpath(s);
        QDir().mkpath(t);
        addPair(s, t, i % 2 == 0);
    }
    // As on a server whose pairs have been idle a while: the folders settle
    // (their times are a few seconds old) and one pass has looked at them.
    QThread::sleep(3);
    engine::state().stopped = false;
    engine::RunProcessingPass(window, {});
    const int rounds = argc > 3 ? atoi(argv[3]) : 50;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < rounds; ++i) {
        engine::state().stopped = false;
        engine::RunProcessingPass(window, {});
    }
    const double cpuPerPass = (cpuSeconds() - cpuBefore) / rounds;
    const double wallPerPass = double(wall.nsecsElapsed()) / 1e9 / rounds;

    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);

    std::printf("files: %d of %d bytes\n", files, bytes);
    std::printf("engine compress pass : %7.2f s  %8.1f files/s  (%d archives)\n", compressSeconds,
                files / compressSeconds, archives);
    std::printf("engine compress pass, files first seen: %7.2f s  %8.1f files/s  (%d archives, "
                "the quiet period waited out once)\n",
                firstSeconds, files / firstSeconds, firstArchives);
    std::printf("engine extract pass  : %7.2f s  %8.1f files/s  (%d files)\n", extractSeconds,
                files / extractSeconds, extracted);
    std::printf("shell tar+mv compress: %7.2f s  %8.1f files/s\n", shCompress, files / shCompress);
    std::printf("shell tar+mv extract : %7.2f s  %8.1f files/s  (%d files)\n", shExtract,
                files / shExtract, shDone);
    std::printf("pass over 200 empty pairs: %.3f ms CPU, %.3f ms wall (mean of %d)\n",
                cpuPerPass * 1e3, wallPerPass * 1e3, rounds);
    std::printf("peak memory: %s, ru_maxrss %ld kB; largest child ru_maxrss %ld kB\n",
                qPrintable(statusLine("VmHWM")), self.ru_maxrss, children.ru_maxrss);
    return archives == files && extracted == files && firstArchives == files ? 0 : 1;
}
