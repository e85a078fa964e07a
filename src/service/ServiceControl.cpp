#include "service/ServiceControl.h"

#include "platform/AtomicFile.h"
#include "platform/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

namespace service {

namespace {

int g_signalPipe[2] = {-1, -1};

void forwardSignal(int sig) {
    const char c = char(sig);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

QString configUnitDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/systemd/user");
}

} // namespace

ServiceControl::ServiceControl(QObject* parent) : QObject(parent) {
    m_startedAsService =
        qEnvironmentVariable(kEnvironmentFlag.toUtf8().constData()) == QLatin1String("1");
    m_startType = StartType();
}

QString ServiceControl::unitFilePath() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return base + QStringLiteral("/systemd/user/") + kUnitName;
}

bool ServiceControl::Installed() const {
    return QFileInfo::exists(unitFilePath());
}

qint16 ServiceControl::StartType() const {
    if (!Installed()) {
        return m_startType;
    }
    const QString conf = configUnitDir();
    const QFileInfo mask(conf + QLatin1Char('/') + kUnitName);
    if (mask.isSymLink() && mask.symLinkTarget() == QLatin1String("/dev/null")) {
        return 2;
    }
    if (QFileInfo::exists(conf + QStringLiteral("/default.target.wants/") + kUnitName)) {
        return 0;
    }
    return 1;
}

bool ServiceControl::InteractWithDesktop() const {
    if (!Installed()) {
        return m_interact;
    }
    QFile unit(unitFilePath());
    if (!unit.open(QIODevice::ReadOnly)) {
        return m_interact;
    }
    return !unit.readAll().contains("\nEnvironment=QT_QPA_PLATFORM=offscreen\n");
}

QString ServiceControl::unitFileText() const {
    const QString exe = m_executable.isEmpty() ? platform::executablePath() : m_executable;
    // In a quoted ExecStart word systemd reads backslash escapes, expands
    // $VARIABLES and %-specifiers: each is written so that it stands for itself.
    QString quoted = exe;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('%'), QLatin1String("%%"))
        .replace(QLatin1Char('$'), QLatin1String("$$"));
    QString text;
    text += QStringLiteral("[Unit]\n");
    text += QStringLiteral("Description=") + kDisplayName + QStringLiteral("\n\n");
    text += QStringLiteral("[Service]\nType=simple\n");
    text += QStringLiteral("ExecStart=\"") + quoted + QStringLiteral("\"\n");
    text += QStringLiteral("Environment=") + kEnvironmentFlag + QStringLiteral("=1\n");
    if (!m_interact) {
        // Nobody may be logged in: the window is drawn nowhere.
        text += QStringLiteral("Environment=QT_QPA_PLATFORM=offscreen\n");
    }
    // A crash is restarted; the clean exit that follows a stop is not, nor
    // an end that a restart cannot mend: another copy runs from the program
    // folder (4), the archiver cannot be run (5).
    text += QStringLiteral("Restart=on-failure\nRestartSec=10\nRestartPreventExitStatus=4 5\n");
    // The stop signal goes to the program alone, which lets the archiver
    // finish the file it is on before the program ends; the archiver is
    // killed only if that takes longer than the stop timeout.
    text += QStringLiteral("KillMode=mixed\nTimeoutStopSec=10min\n\n");
    text += QStringLiteral("[Install]\nWantedBy=default.target\n");
    return text;
}

void ServiceControl::systemctl(const QStringList& arguments) {
    const QStringList all = QStringList{QStringLiteral("--user")} + arguments;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("systemctl"), all);
    bool ok = p.waitForStarted(10000);
    if (ok) {
        p.waitForFinished(60000);
        ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    if (!ok) {
        m_failed.append(QStringLiteral("systemctl ") + all.join(QLatin1Char(' ')));
    }
}

bool ServiceControl::InstallService(bool) {
    m_failed.clear();
    const QString path = unitFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!platform::writeFileAtomically(path, unitFileText().toUtf8())) {
        return false;
    }
    systemctl({QStringLiteral("daemon-reload")});
    const QStringList unit{kUnitName};
    switch (m_startType) {
    case 0:
        systemctl(QStringList{QStringLiteral("unmask")} + unit);
        systemctl(QStringList{QStringLiteral("enable")} + unit);
        break;
    case 1:
        systemctl(QStringList{QStringLiteral("unmask")} + unit);
        systemctl(QStringList{QStringLiteral("disable")} + unit);
        break;
    default:
        systemctl(QStringList{QStringLiteral("disable")} + unit);
        systemctl(QStringList{QStringLiteral("mask")} + unit);
        break;
    }
    return true;
}

bool ServiceControl::UninstallService() {
    m_failed.clear();
    const QStringList unit{kUnitName};
    systemctl(QStringList{QStringLiteral("disable")} + unit);
    systemctl(QStringList{QStringLiteral("unmask")} + unit);
    const bool removed = !QFileInfo::exists(unitFilePath()) || QFile::remove(unitFilePath());
    systemctl({QStringLiteral("daemon-reload")});
    return removed;
}

void ServiceControl::WriteEventLog(const QString& text, int type) {
    const QString file = qEnvironmentVariable("VELMORADO_EVENT_LOG_FILE");
    if (!file.isEmpty()) {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
            QString line = text;
            line.replace(QLatin1Char('\n'), QLatin1String(" | "));
            f.write(QByteArray::number(type) + '\t' + line.toUtf8() + '\n');
        }
        return;
    }
    static const QByteArray ident = kDisplayName.toUtf8();
    ::openlog(ident.constData(), LOG_PID, LOG_USER);
    ::syslog(type == 2 ? LOG_WARNING : LOG_INFO, "%s", text.toUtf8().constData());
    ::closelog();
}

void ServiceControl::watchServiceSignals() {
    if (g_signalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
            return;
        }
        ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
        struct sigaction sa {};
        sa.sa_handler = forwardSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGTSTP, &sa, nullptr);
        ::sigaction(SIGCONT, &sa, nullptr);
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ServiceControl::onSignal);
}

void ServiceControl::announceStart() {
    if (Installed() && RunningAsService()) {
        Q_EMIT ServiceStarted(QString());
    }
}

void ServiceControl::onSignal() {
    char c = 0;
    if (::read(g_signalPipe[0], &c, 1) != 1) {
        return;
    }
    switch (int(c)) {
    case SIGTERM:
        Q_EMIT ServiceStopped();
        break;
    case SIGTSTP:
        Q_EMIT ServicePaused();
        break;
    case SIGCONT:
        Q_EMIT ServiceContinued();
        break;
    default:
        break;
    }
}

} // namespace service
