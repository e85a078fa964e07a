// Median cost of one CompressFile on a 1 KB file (numbered archive made,
// moved to the target, counter stored) and of the archiver's own run on such
// a file (`rar a -os "RA000001.rar" "RA000001.r?" -df`, as the engine starts
// it), each against a bare posix_spawn + wait of a program that does nothing,
// measured in turns in the same run; and the start of the archiver alone
// ("rar -?").
//
//   bench_datapath [runs]      (default 500)

#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/RarRunner.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double micros(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 500;

    QTemporaryDir root;
    const QString prog = root.filePath(QStringLiteral("prog"));
    const QString src = root.filePath(QStringLiteral("src/"));
    const QString tgt = root.filePath(QStringLiteral("tgt/"));
    QDir().mkdir(prog);
    QDir().mkdir(src);
    QDir().mkdir(tgt);
    if (!QFile::link(QStringLiteral(VELMORADO_BIN_DIR "/rar"), prog + QStringLiteral("/rar"))) {
        std::fprintf(stderr, "cannot link the archiver\n");
        return 1;
    }
    config::setProgramFolder(prog);
    const QByteArray kilobyte(1024, 'x');

    std::vector<double> compress;
    for (int i = 0; i < runs; ++i) {
        const QString name = QStringLiteral("file %1.txt").arg(i);
        QFile f(src + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(kilobyte) != kilobyte.size()) {
            return 1;
        }
        f.close();
        QElapsedTimer t;
        t.start();
        const engine::FileOutcome outcome = engine::CompressFile({src, tgt, name});
        compress.push_back(micros(t));
        if (outcome != engine::FileOutcome::Done) {
            std::fprintf(stderr, "compression %d failed\n", i);
            return 1;
        }
    }

    // The archiver alone on a data file and its name file, in turns with a
    // bare start of /bin/true so that both see the same machine.
    const QString pack = root.filePath(QStringLiteral("pack/"));
    QDir().mkdir(pack);
    const QString command =
        QStringLiteral("rar a -os \"%1RA000001.rar\" \"%1RA000001.r?\" -df").arg(pack);
    std::vector<double> archiver;
    std::vector<double> spawn;
    // On a settled disk: the write-back of the compressions above does not
    // fall into the archiver's flushes.
    ::sync();
    char* args[] = {const_cast<char*>("/bin/true"), nullptr};
    for (int i = 0; i < runs; ++i) {
        QFile::remove(pack + QStringLiteral("RA000001.rar"));
        QFile data(pack + QStringLiteral("RA000001.rr"));
        QFile name(pack + QStringLiteral("RA000001.rn"));
        if (!data.open(QIODevice::WriteOnly) || data.write(kilobyte) != kilobyte.size() ||
            !name.open(QIODevice::WriteOnly) || name.write("\"41\"\r\n") != 6) {
            return 1;
        }
        data.close();
        name.close();
        QElapsedTimer t;
        t.start();
        int exitStatus = -1;
        if (!engine::RunRarConsoleIn(false, command, QString(), &exitStatus) || exitStatus != 0) {
            std::fprintf(stderr, "rar a failed (%d)\n", exitStatus);
            return 1;
        }
        archiver.push_back(micros(t));

        t.start();
        pid_t pid = -1;
        int status = 0;
        if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, args, environ) != 0 ||
            waitpid(pid, &status, 0) != pid) {
            return 1;
        }
        spawn.push_back(micros(t));
    }

    // The archiver's own start, for reading the first figure.
    std::vector<double> help;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!engine::RunRarConsole(false, QStringLiteral("rar -?"))) {
            return 1;
        }
        help.push_back(micros(t));
    }

    std::printf("runs: %d\n", runs);
    std::printf("CompressFile, 1 KB file:         median %8.0f us\n", median(compress));
    std::printf("rar a -os ... -df, 1 KB file:    median %8.0f us\n", median(archiver));
    std::printf("posix_spawn + wait of /bin/true: median %8.0f us\n", median(spawn));
    std::printf("RunRarConsole(\"rar -?\"):         median %8.0f us\n", median(help));
    std::printf("ratio CompressFile / spawn: %.1f\n", median(compress) / median(spawn));
    std::printf("ratio rar a / spawn: %.1f\n", median(archiver) / median(spawn));
    return 0;
}
