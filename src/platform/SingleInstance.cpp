#include "platform/SingleInstance.h"

#include "platform/FileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

// What a later copy writes; anything else on the socket is ignored.
const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");

} // namespace

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
    // The server goes first: it removes its socket file while the lock still
    // tells other copies that the file is ours.
    m_server.reset();
    m_fd.reset();
}

QString SingleInstance::socketPath() const {
    QString p = m_path;
    p.chop(int(qstrlen(".lock")));
    return p + QStringLiteral(".sock");
}

bool SingleInstance::acquire() {
    if (m_fd.valid()) {
        return true;
    }
    const QByteArray p = encodePath(m_path);
    UniqueFd fd(::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        // Without a lock file nothing can tell two copies apart; let this one run.
        return true;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    m_fd = std::move(fd);
    return true;
}

bool SingleInstance::listen(std::function<void()> onRaise) {
    if (!m_fd.valid()) {
        return false; // only the holder of the lock may own the socket
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file still there belongs to a copy that died (we hold the lock).
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        m_server.reset();
        return false;
    }
    QLocalServer* server = m_server.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [server, onRaise] {
        while (QLocalSocket* peer = server->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, onRaise] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() > 64) {
                        peer->abort(); // not one of ours
                    }
                    return;
                }
                const QByteArray line = peer->readLine(64);
                peer->write("ok\n");
                peer->flush();
                peer->disconnectFromServer();
                if (line == kRaiseRequest && onRaise) {
                    onRaise();
                }
            });
        }
    });
    return true;
}

bool SingleInstance::askToRaise(int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // The answer tells that the request was read, not only sent.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readLine(64) == QByteArrayLiteral("ok\n");
}

} // namespace platform
