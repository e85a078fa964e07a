#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace service {
class ServiceControl;
}

namespace app {

// How this copy of the program runs, decided once at start-up.
enum class RunMode {
    Application,
    Service,    // the service manager started it and the service is installed
    EndNow,     // started by hand while the service is registered, and the user kept it
    Unanswered, // the same, where nobody can answer the question: kept, said, ended
};

// The question asked when the program is started by hand while the service is registered.
QString removeServiceQuestion(int language);
// The information entry written when that question is answered Yes.
QString serviceRemovedEntry(int language);
// Said when the unit file cannot be removed: the service is still registered.
QString serviceNotRemovedMessage(int language);
// Said instead of the question where nobody can answer it.
QString serviceKeptUnansweredMessage(int language);

// The start-up decision. Not installed: application. Installed and started
// by the service manager: service. Installed and started by hand: ask
// (askYesNo shows the question and returns true for Yes); No ends the
// program with nothing changed; Yes removes the service, writes the
// information entry and Automatique = "0" to the parameters file (so that the
// settings read next find automatic start off) and runs as an application.
// A removal that fails is never logged as done: its message goes to the
// system log as a warning and to tell (a box for the user). Where nobody can
// answer (canAsk false: no screen), nothing is asked or changed: Unanswered.
RunMode decideRunMode(service::ServiceControl& control,
                      const std::function<bool(const QString& question)>& askYesNo,
                      const std::function<void(const QString& message)>& tell, bool canAsk = true);

// The service's events as the program handles them. Each event writes one
// entry to the system log ("Velmorado Service: started", in the language of
// the moment); pause and continue do nothing else. A stop (SIGTERM from the
// service manager) also ends the program: a pass in progress is stopped as a
// click on the start/stop button stops it, so it finishes the file it is on
// and then its pair, and the program ends once the pass has returned to the
// event loop.
class ServiceEvents : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> stopProcessing; // the stop branch of the start/stop button
        std::function<void()> endProgram;     // removes the tray icon and leaves the event loop
    };
    ServiceEvents(service::ServiceControl& control, Hooks hooks, QObject* parent = nullptr);

    // Watches the service signals and raises the start event (in service mode only).
    void start();

    enum class Event { Started, Stopped, Paused, Continued, UserLoggedOff };
    // "Velmorado Service: démarré" and the others, with their entry type
    // (4 information, 2 warning for the log-off).
    static QString entryText(Event event, int language);
    static int entryType(Event event);

    // True from the stop event until the program ends.
    bool ending() const { return m_ending; }

private:
    void write(Event event);
    void onStopped();
    void endWhenPassIsOver();

    service::ServiceControl& m_control;
    Hooks m_hooks;
    QTimer* m_endTimer = nullptr;
    bool m_ending = false;
};

} // namespace app
