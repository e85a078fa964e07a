#pragma once

#include <QString>

#include <memory>

namespace platform {
class SingleInstance;
}

namespace app {

class MainWindowPort;
class ServiceEvents;

// The program's start-up and shutdown, around the main window it is given.
//
// start() runs the sequence in this order: the caption; the program folder
// and the language (so that even a refusal speaks it); the instance lock, a
// second copy asking the first to come to the front and ending with status
// kExitAnotherCopyRuns; the socket that answers later copies and
// `--status`; the fatal handler; the files beside the program, which must be
// readable regular files (else a fatal end, status config::kFatalExitCode),
// and what killed writes of them left; the caption with the machine; the run
// mode (app::decideRunMode: started by hand while the service is registered
// and kept, the program ends with status 0); the service's events in service
// mode; the settings; the archiver check; the window shown; the automatic
// start (the setting, or the service, which always processes).
//
// Unattended (no screen to answer a box, or the service), no box is shown:
// a second copy, a missing archiver and the service question each go to
// standard error and the system log, and the program ends at once with
// kExitAnotherCopyRuns, kExitNoArchiver or kExitServiceInstalled.
//
// The window must outlive this object; main() builds the window first.
class Application {
public:
    Application(MainWindowPort& window, QString programFolder);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The start-up sequence. False when the program must end at once;
    // exitCode() then tells with what status.
    bool start();
    // start(), then the event loop; the program's exit status.
    int run();

    int exitCode() const { return m_exitCode; }

    // The activation token and startup id the launcher gave this start
    // (XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID), read before Qt takes them
    // out of the environment: a second copy hands them to the first.
    void setLaunchTokens(const QString& activationToken, const QString& startupId) {
        m_activationToken = activationToken;
        m_startupId = startupId;
    }

private:
    // Nobody can answer a box: no screen, or the service.
    bool unattended();
    void startAutomatically();

    MainWindowPort& m_window;
    QString m_programFolder;
    std::unique_ptr<platform::SingleInstance> m_instance;
    std::unique_ptr<ServiceEvents> m_serviceEvents;
    QString m_activationToken;
    QString m_startupId;
    int m_exitCode = 0;
    bool m_rarAvailable = false;
    bool m_serviceMode = false;
};

} // namespace app
