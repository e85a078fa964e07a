// Median cost of one CompressFile on a 1 KB file (numbered archive made,
// moved to the target, counter stored) against a bare posix_spawn + wait of
// a program that does nothing; and, to read the first figure, the start of
// the archiver alone ("rar -?").
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

    std::vector<double> spawn;
    char* args[] = {const_cast<char*>("/bin/true"), nullptr};
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
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
    std::printf("CompressFile, 1 KB file:        median %8.0f us\n", median(compress));
    std::printf("posix_spawn + wait of /bin/true: median %8.0f us\n", median(spawn));
    std::printf("RunRarConsole(\"rar -?\"):        median %8.0f us\n", median(help));
    std::printf("ratio CompressFile / spawn: %.1f\n", median(compress) / median(spawn));
    return 0;
}
