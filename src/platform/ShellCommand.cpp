#include "platform/ShellCommand.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace platform {

bool runShellCommandDetached(const QString& text, const QString& programFolder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString path = env.value(QStringLiteral("PATH"));
    if (path.isEmpty()) {
        path = QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    }
    if (!programFolder.isEmpty()) {
        path = programFolder + QLatin1Char(':') + path;
    }
    env.insert(QStringLiteral("PATH"), path);

    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), text});
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A detached start runs the child under a grandchild that nobody waits
    // for, so no zombie is left in this process.
    return process.startDetached();
}

QString netSendCommand(const QString& message) {
    return QStringLiteral("net send ") + message;
}

} // namespace platform
