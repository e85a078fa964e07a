#pragma once

// What the fuzz targets share: a program folder of their own on a memory
// file system, and fatal ends turned into exceptions so that one input that
// the program would end on does not end the fuzzer.

#include "config/Fatal.h"
#include "config/ProgramValues.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace fuzz {

struct FatalEnd : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Fatal ends throw FatalEnd instead of ending the process.
inline void catchFatalEnds() {
    config::setFatalMessageHandler([](const QString& text) { throw FatalEnd(text.toStdString()); });
}

// A fresh folder under /dev/shm (or TMPDIR), made once per process.
inline QString scratchFolder(const char* name) {
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray templ = (base + QStringLiteral("/velmorado-fuzz-") + QLatin1String(name) +
                        QStringLiteral(".XXXXXX"))
                           .toLocal8Bit();
    if (::mkdtemp(templ.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return QString::fromLocal8Bit(templ);
}

// Fails the input: libFuzzer keeps it as a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

} // namespace fuzz
