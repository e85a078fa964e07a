#pragma once

#include <QString>

#include <functional>

namespace engine {

class WindowPort;

// Starts and stops processing and counts the wait between passes down.
class Scheduler {
public:
    explicit Scheduler(WindowPort& window);

    // A click on cmdMiroir or mnuDemarrer.
    void startStop();
    // A tick of the one-second Timer1.
    void tick();
    // Whether processing is stopped: what the window asks before it lets the
    // pairs or their parameters change. One flag for the whole program.
    static bool isStopped();

    // Supplied by the program: this process runs as the service (Installed
    // and RunningAsService), and the system-log writer (text, 4 info / 2 warning).
    std::function<bool()> runningAsService;
    std::function<void(const QString&, int)> writeEventLog;

private:
    bool isRunningAsService() const;
    void runPass();

    WindowPort& m_window;
};

} // namespace engine
