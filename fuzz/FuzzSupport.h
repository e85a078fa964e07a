#pragma once

// What the fuzz targets share: a check that keeps the input, a scratch
// folder of their own (in memory where there is some) and, for the targets
// on the program's own code, fatal ends turned into exceptions so that one
// input that the program would end on does not end the fuzzer.
// fuzz_rar_extract, built without Qt, defines FUZZ_WITHOUT_QT first.

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Fails the input: libFuzzer keeps it as a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// A fresh folder under VELMORADO_FUZZ_SCRATCH (scripts/fuzz.sh sets it), /dev/shm or /tmp.
inline std::string scratchFolder(const char* name) {
    const char* given = std::getenv("VELMORADO_FUZZ_SCRATCH");
    struct stat st {};
    std::string templ = given != nullptr && *given != '\0' ? given
                        : ::stat("/dev/shm", &st) == 0     ? "/dev/shm"
                                                           : "/tmp";
    templ += std::string("/velmorado-fuzz-") + name + ".XXXXXX";
    FUZZ_CHECK(::mkdtemp(templ.data()) != nullptr);
    return templ;
}

} // namespace fuzz

#ifndef FUZZ_WITHOUT_QT
#include "config/Fatal.h"

#include <QString>

namespace fuzz {

struct FatalEnd : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Fatal ends throw FatalEnd instead of ending the process.
inline void catchFatalEnds() {
    config::setFatalMessageHandler([](const QString& text) { throw FatalEnd(text.toStdString()); });
}

} // namespace fuzz
#endif
