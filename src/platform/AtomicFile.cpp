#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool writeAll(int fd, const char* p, qsizetype n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

void syncFolder(const QString& folder) {
    const QByteArray f = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int fd = ::open(f.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeFileAtomically(const QString& path, const QByteArray& data) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    QByteArray tmpl = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        return false;
    }
    mode_t mode = 0644;
    struct stat st {};
    const QByteArray target = QFile::encodeName(path);
    if (::stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    }
    (void)::fchmod(fd, mode);
    bool ok = writeAll(fd, data.constData(), data.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmpl.constData(), target.constData()) != 0) {
        ::unlink(tmpl.constData());
        return false;
    }
    syncFolder(folder);
    return true;
}

bool readWholeFile(const QString& path, QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    data = f.readAll();
    return true;
}

} // namespace platform
