#pragma once

#include "platform/UniqueFd.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;

namespace platform {

// The folder for this user's lock and socket files: XDG_RUNTIME_DIR when it
// names a folder only this user can enter, else /run/user/<uid> when it is
// such a folder (so that a copy started by cron, which has no
// XDG_RUNTIME_DIR, finds the copy of the desktop session), else
// ~/.cache/velmorado-runtime, made with mode 0700 and taken only when this
// user owns it (a wider mode is narrowed). Never a folder of the shared
// temporary folder, where another user could have made it first. Empty when
// none will do; problem then says why. With make false, a folder that is not
// there is not made either (only asking a copy, which could not run without
// it, leaves nothing behind).
QString privateRuntimeFolder(QString* problem = nullptr, bool make = true);

// What a second copy hands the first when it asks it to come to the front:
// the tokens its launcher gave it, which let the first copy take the focus
// that was meant for the second.
struct RaiseRequest {
    QString activationToken; // XDG_ACTIVATION_TOKEN (Wayland)
    QString startupId;       // DESKTOP_STARTUP_ID (X11 startup notification)
    // The tokens of this process's environment.
    static RaiseRequest fromEnvironment();
};

// Holds an advisory lock that tells whether another copy of the executable in
// the same folder runs. The kernel drops the lock when the process dies, so a
// crash leaves nothing stale behind.
//
// Beside the lock, the copy that holds it listens on a local socket (only this
// user may connect). A later copy asks it there to come to the front, and
// `velmorado --status` asks it how it is doing. One request line, one answer
// line:
//   "raise\n"                                  -> "ok\n" (the first form, kept)
//   {"protocol":1,"request":"raise","activationToken":"...","startupId":"..."}
//                                              -> {"protocol":1,"ok":true}
//   {"protocol":1,"request":"status"}          -> {"protocol":1,"ok":true,"status":{...}}
// A later protocol or an unknown request is answered
// {"protocol":1,"ok":false,"error":"..."}; a request line longer than
// kMaxRequest bytes closes the connection.
class SingleInstance {
public:
    static constexpr int kProtocol = 1;
    static constexpr int kMaxRequest = 4096;

    // The lock file name is derived from the executable's folder; make as
    // for privateRuntimeFolder (false for a copy that only asks).
    explicit SingleInstance(const QString& executableDir, bool make = true);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock; false when another one does.
    // Without a private runtime folder or a lock file nothing can tell two
    // copies apart: true, and problem() says why.
    bool acquire();
    QString lockFilePath() const { return m_path; }
    // The local socket of the copy that holds the lock: the lock file's path
    // with ".sock" in place of ".lock".
    QString socketPath() const;
    QString problem() const { return m_problem; }

    struct Answers {
        std::function<void(const RaiseRequest&)> raise;
        std::function<QJsonObject()> status;
    };
    // Only while this process holds the lock: listens on the socket and
    // answers each request on the thread of the event loop. A socket file
    // left by a copy that died is replaced: holding the lock proves that no
    // live copy owns it. False when the socket cannot be made (the program
    // runs on; later copies then only show their message).
    bool listen(Answers answers);

    // Asks the copy that holds the lock to bring its window to the front;
    // waits at most timeoutMs. False when no copy answered on the socket.
    bool askToRaise(const RaiseRequest& request, int timeoutMs = 3000) const;
    // The status of the copy that holds the lock; nothing when no copy
    // answered (error says why).
    std::optional<QJsonObject> askStatus(QString* error = nullptr, int timeoutMs = 10000) const;

private:
    std::optional<QJsonObject> ask(const QJsonObject& request, int timeoutMs, QString* error) const;

    QString m_path;
    QString m_problem;
    UniqueFd m_fd; // the flock on m_path
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace platform
