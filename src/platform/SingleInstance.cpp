#include "platform/SingleInstance.h"

#include "platform/FileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

// The first form of the request, still answered for copies that send it.
const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
// An answer larger than this is not one of ours.
constexpr qint64 kMaxAnswer = 64 << 20;

// A folder only this user can enter: a real folder (not a link), owned by
// this user, with no access for the group or others.
bool isPrivateFolder(const QString& path) {
    struct stat st {};
    return path.startsWith(QLatin1Char('/')) && ::lstat(encodePath(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

QString homeFolder() {
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::geteuid())) {
            home = decodePath(pw->pw_dir);
        }
    }
    return home;
}

// Makes folder (mode 0700; not with make false) or takes the one there when
// this user owns it, narrowing a wider mode. Opened without following a
// link, so that the folder checked is the folder changed.
bool makePrivateFolder(const QString& folder, bool make, QString* problem) {
    const QByteArray f = encodePath(folder);
    if (make && ::mkdir(f.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const UniqueFd fd(::open(f.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        *problem = folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *problem = folder + QStringLiteral(": belongs to another user");
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(fd.get(), 0700) != 0) {
        *problem = folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

QJsonObject answer(bool ok, const QString& error = QString()) {
    QJsonObject a{{QStringLiteral("protocol"), SingleInstance::kProtocol},
                  {QStringLiteral("ok"), ok}};
    if (!error.isEmpty()) {
        a.insert(QStringLiteral("error"), error);
    }
    return a;
}

QByteArray line(const QJsonObject& object) {
    // Compact JSON escapes every line break inside its strings.
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// The answer to one request line, and whether to raise the window after it.
QByteArray answerTo(const QByteArray& request, const SingleInstance::Answers& answers,
                    std::optional<RaiseRequest>* raise) {
    if (request == kRaiseRequest) {
        *raise = RaiseRequest{};
        return QByteArrayLiteral("ok\n");
    }
    const QJsonObject r = QJsonDocument::fromJson(request).object();
    if (r.value(QStringLiteral("protocol")).toInt() != SingleInstance::kProtocol) {
        return line(answer(false, QStringLiteral("unsupported protocol")));
    }
    const QString what = r.value(QStringLiteral("request")).toString();
    if (what == QLatin1String("raise")) {
        *raise = RaiseRequest{r.value(QStringLiteral("activationToken")).toString(),
                              r.value(QStringLiteral("startupId")).toString()};
        return line(answer(true));
    }
    if (what == QLatin1String("status") && answers.status) {
        QJsonObject a = answer(true);
        a.insert(QStringLiteral("status"), answers.status());
        return line(a);
    }
    return line(answer(false, QStringLiteral("unknown request")));
}

} // namespace

QString privateRuntimeFolder(QString* problem, bool make) {
    QString why;
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(given)) {
        return given;
    }
    const QString session = QStringLiteral("/run/user/") + QString::number(::geteuid());
    if (isPrivateFolder(session)) {
        return session;
    }
    const QString home = homeFolder();
    if (home.startsWith(QLatin1Char('/'))) {
        const QString cache = home + QStringLiteral("/.cache");
        if (make) {
            ::mkdir(encodePath(cache).constData(), 0700); // there already, most often
        }
        const QString own = cache + QStringLiteral("/velmorado-runtime");
        if (makePrivateFolder(own, make, &why)) {
            return own;
        }
    } else {
        why = QStringLiteral("no home folder");
    }
    if (problem) {
        *problem = why;
    }
    return QString();
}

RaiseRequest RaiseRequest::fromEnvironment() {
    return {qEnvironmentVariable("XDG_ACTIVATION_TOKEN"),
            qEnvironmentVariable("DESKTOP_STARTUP_ID")};
}

SingleInstance::SingleInstance(const QString& executableDir, bool make) {
    const QString base = privateRuntimeFolder(&m_problem, make);
    if (base.isEmpty()) {
        return;
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
    if (m_path.isEmpty()) {
        return QString();
    }
    QString p = m_path;
    p.chop(int(qstrlen(".lock")));
    return p + QStringLiteral(".sock");
}

bool SingleInstance::acquire() {
    if (m_fd.valid() || m_path.isEmpty()) {
        return true; // without a runtime folder nothing can tell two copies apart
    }
    const QByteArray p = encodePath(m_path);
    UniqueFd fd(::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        m_problem = m_path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return true;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    m_fd = std::move(fd);
    return true;
}

bool SingleInstance::listen(Answers answers) {
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
    QObject::connect(server, &QLocalServer::newConnection, server, [server, answers] {
        while (QLocalSocket* peer = server->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, answers] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() > kMaxRequest) {
                        peer->abort(); // not one of ours
                    }
                    return;
                }
                std::optional<RaiseRequest> raise;
                peer->write(answerTo(peer->readLine(kMaxRequest + 1), answers, &raise));
                peer->flush();
                peer->disconnectFromServer();
                if (raise && answers.raise) {
                    answers.raise(*raise);
                }
            });
        }
    });
    return true;
}

std::optional<QJsonObject> SingleInstance::ask(const QJsonObject& request, int timeoutMs,
                                               QString* error) const {
    QString why;
    std::optional<QJsonObject> result;
    QLocalSocket socket;
    if (socketPath().isEmpty()) {
        why = m_problem;
    } else {
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(timeoutMs)) {
            why = socket.errorString();
        }
    }
    if (why.isEmpty()) {
        socket.write(line(request));
        // The answer tells that the request was read, not only sent.
        while (why.isEmpty() && !socket.canReadLine()) {
            if (socket.bytesAvailable() > kMaxAnswer || !socket.waitForReadyRead(timeoutMs)) {
                why = socket.errorString();
            }
        }
    }
    if (why.isEmpty()) {
        QJsonParseError parse{};
        const QJsonDocument doc = QJsonDocument::fromJson(socket.readLine(kMaxAnswer), &parse);
        const QJsonObject a = doc.object();
        if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
            why = QStringLiteral("not an answer of this program");
        } else if (!a.value(QStringLiteral("ok")).toBool()) {
            why = a.value(QStringLiteral("error")).toString();
        } else {
            result = a;
        }
    }
    if (error) {
        *error = why;
    }
    return result;
}

bool SingleInstance::askToRaise(const RaiseRequest& request, int timeoutMs) const {
    QJsonObject r{{QStringLiteral("protocol"), kProtocol}, {QStringLiteral("request"), "raise"}};
    if (!request.activationToken.isEmpty()) {
        r.insert(QStringLiteral("activationToken"), request.activationToken);
    }
    if (!request.startupId.isEmpty()) {
        r.insert(QStringLiteral("startupId"), request.startupId);
    }
    return ask(r, timeoutMs, nullptr).has_value();
}

std::optional<QJsonObject> SingleInstance::askStatus(QString* error, int timeoutMs) const {
    const std::optional<QJsonObject> a =
        ask({{QStringLiteral("protocol"), kProtocol}, {QStringLiteral("request"), "status"}},
            timeoutMs, error);
    if (!a) {
        return std::nullopt;
    }
    return a->value(QStringLiteral("status")).toObject();
}

} // namespace platform
