#include "config/Fatal.h"

#include <cstdio>
#include <cstdlib>

namespace config {

namespace {

std::function<void(const QString&)>& handler() {
    static std::function<void(const QString&)> h;
    return h;
}

} // namespace

void setFatalMessageHandler(std::function<void(const QString&)> h) {
    handler() = std::move(h);
}

void fatalError(const QString& text) {
    std::fprintf(stderr, "Velmorado: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    if (handler()) {
        handler()(text);
    }
    std::fflush(nullptr);
    std::_Exit(kFatalExitCode);
}

} // namespace config
