#include "platform/SystemInfo.h"

#include "platform/FileNames.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>

namespace platform {

QString executablePath() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) {
        return {};
    }
    buf[n] = '\0';
    return decodePath(QByteArray(buf, int(n)));
}

QString executableDir() {
    const QString exe = executablePath();
    if (exe.isEmpty()) {
        return QFileInfo(QStringLiteral(".")).canonicalFilePath();
    }
    return QFileInfo(exe).canonicalPath();
}

QString computerName() {
    char buf[1024] = {};
    if (::gethostname(buf, sizeof(buf) - 1) != 0) {
        return {};
    }
    return QString::fromLocal8Bit(buf);
}

QString userName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
    return qEnvironmentVariable("USER");
}

KernelVersion parseKernelRelease(const QString& release) {
    KernelVersion v;
    static const QRegularExpression re(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const auto m = re.match(release.trimmed());
    if (m.hasMatch()) {
        v.major = m.captured(1).toInt();
        v.minor = m.captured(2).toInt();
        v.patch = m.captured(3).toInt();
    }
    return v;
}

QString prettyNameFromOsRelease(const QString& osReleaseText) {
    const QStringList lines = osReleaseText.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (!line.startsWith(QLatin1String("PRETTY_NAME="))) {
            continue;
        }
        QString value = line.mid(12).trimmed();
        if (value.size() >= 2 &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

QString osDescription(const QString& kernelRelease, const QString& prettyName) {
    const KernelVersion v = parseKernelRelease(kernelRelease);
    QString text = QStringLiteral("Linux v.%1.%2, Build %3").arg(v.major).arg(v.minor).arg(v.patch);
    if (!prettyName.trimmed().isEmpty()) {
        text += QStringLiteral(", ") + prettyName.trimmed();
    }
    return text;
}

QString osDescription() {
    utsname u{};
    QString release;
    if (::uname(&u) == 0) {
        release = QString::fromLocal8Bit(u.release);
    }
    QString pretty;
    QFile f(QStringLiteral("/etc/os-release"));
    if (f.open(QIODevice::ReadOnly)) {
        pretty = prettyNameFromOsRelease(QString::fromUtf8(f.readAll()));
    }
    return osDescription(release, pretty);
}

} // namespace platform
