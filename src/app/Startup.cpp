#include "app/Startup.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "service/ServiceControl.h"

#include <cstdio>

namespace app {

QString cleanPlatformName(const QString& name) {
    QString n = name.trimmed();
    if (n.size() > 1 && n.back() == QChar(0)) {
        n.chop(1);
    }
    return n;
}

QString buildCaption(const QString& computer, const QString& user, const QString& os) {
    QString caption = config::productAndVersion();
    const QString c = cleanPlatformName(computer);
    if (!c.isEmpty()) {
        caption += QStringLiteral("   ") + c;
    }
    const QString u = cleanPlatformName(user);
    if (!u.isEmpty()) {
        caption += QStringLiteral("; ") + u;
    }
    if (!os.isEmpty()) {
        caption += QStringLiteral("; ") + os;
    }
    return caption;
}

QString secondInstanceMessage(int language) {
    return config::pickText(language, "Programme déjà lancé", "Program already running");
}

void tellUnattended(const QString& text) {
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "velmorado: %s\n", oneLine.simplified().toLocal8Bit().constData());
    std::fflush(stderr);
    service::ServiceControl::WriteEventLog(text, 2);
}

} // namespace app
