#include "config/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <syslog.h>

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
    // Without a screen, or as the service, the system log is where an
    // administrator looks for why the program is not running.
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    ::openlog("Velmorado", LOG_PID, LOG_USER);
    ::syslog(LOG_ERR, "%s", oneLine.toUtf8().constData());
    ::closelog();
    if (handler()) {
        handler()(text);
    }
    std::fflush(nullptr);
    std::_Exit(kFatalExitCode);
}

} // namespace config
