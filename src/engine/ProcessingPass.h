#pragma once

#include <QString>

#include <functional>

namespace platform {
struct NetSendResult;
}

namespace engine {

class WindowPort;

// What a pass needs of the service side: whether this process runs as the
// service, and the system-log writer (text, type 4 information / 2 warning).
// Either may be empty: not a service, nothing written.
struct ServiceHooks {
    std::function<bool()> runningAsService;
    std::function<void(const QString&, int)> writeEventLog;
};

// One processing pass over every folder pair, in table order: checks both
// folders of each pair, warns about missing ones, processes each enabled pair
// whose turn has come (every enabled pair in the forced pass), then writes the
// two summary lines to lblMessage and, when a file was compressed or
// uncompressed, to the day's log; a day's log refused meanwhile (not a regular
// file) is told once (ReportLogRefusal). Timer1 is off while it runs and back on at
// its end unless processing was stopped meanwhile. With ArretAutomatique the
// program ends after it. state().passRunning is true throughout.
void RunProcessingPass(WindowPort& window, const ServiceHooks& hooks);

// The warning about a missing folder (source or target), with its path ending
// in "/": message window, log line, system-log entry, beep and network message,
// each as the settings say. The network message goes out without waiting for
// it; ReportNetMessage tells of it once net has ended, so window must outlive
// the net it starts (the main window does).
void WarnMissingFolder(WindowPort& window, const ServiceHooks& hooks, bool source,
                       const QString& folder);

// A network message that did not go out, whatever the warning settings: the
// time, " - Network message not sent: " and why, in the message window, the
// day's log (when logging is on) and, for the service, the system log as a
// warning. Nothing for a message sent.
void ReportNetMessage(WindowPort& window, const ServiceHooks& hooks,
                      const platform::NetSendResult& result);

} // namespace engine
