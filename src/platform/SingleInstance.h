#pragma once

#include <QString>

namespace platform {

// Holds an advisory lock that tells whether another copy of the executable in
// the same folder runs. The kernel drops the lock when the process dies, so a
// crash leaves nothing stale behind.
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

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace platform
