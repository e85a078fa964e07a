#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

SingleInstance::SingleInstance(const QString& executableDir) {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir(base).exists()) {
        base = QDir::tempPath();
    }
    const QByteArray key =
        QCryptographicHash::hash(QDir::cleanPath(executableDir).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    m_path =
        base + QStringLiteral("/velmorado-") + QString::fromLatin1(key) + QStringLiteral(".lock");
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool SingleInstance::acquire() {
    if (m_fd >= 0) {
        return true;
    }
    const QByteArray p = QFile::encodeName(m_path);
    const int fd = ::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Without a lock file nothing can tell two copies apart; let this one run.
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace platform
