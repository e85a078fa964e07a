#pragma once

#include "platform/UniqueFd.h"

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

namespace platform {

// Holds an advisory lock that tells whether another copy of the executable in
// the same folder runs. The kernel drops the lock when the process dies, so a
// crash leaves nothing stale behind.
//
// Beside the lock, the copy that holds it listens on a local socket, so that a
// copy started later can ask it to bring its window to the front before that
// later copy ends.
class SingleInstance {
public:
    // The lock file name is derived from the executable's folder.
    explicit SingleInstance(const QString& executableDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock; false when another one does.
    bool acquire();
    QString lockFilePath() const { return m_path; }
    // The local socket of the copy that holds the lock: the lock file's path
    // with ".sock" in place of ".lock".
    QString socketPath() const;

    // Only while this process holds the lock: listens on the socket and calls
    // onRaise (on the thread of the event loop) each time another copy asks.
    // A socket file left by a copy that died is replaced: holding the lock
    // proves that no live copy owns it. False when the socket cannot be made
    // (the program runs on; later copies then only show their message).
    bool listen(std::function<void()> onRaise);

    // Asks the copy that holds the lock to bring its window to the front;
    // waits at most timeoutMs. False when no copy answered on the socket.
    bool askToRaise(int timeoutMs = 3000) const;

private:
    QString m_path;
    UniqueFd m_fd; // the flock on m_path
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace platform
