#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace service {

// "Velmorado Service" as a systemd user unit, and the system log.
// Installed: the unit file exists. StartType: 0 enabled (starts with the
// user's session manager), 1 installed but not enabled, 2 masked.
// The unit sets VELMORADO_SERVICE=1, which tells the program that the service
// manager started it.
class ServiceControl : public QObject {
    Q_OBJECT
public:
    explicit ServiceControl(QObject* parent = nullptr);

    static inline const QString kUnitName = QStringLiteral("velmorado.service");
    static inline const QString kDisplayName = QStringLiteral("Velmorado Service");
    static inline const QString kEnvironmentFlag = QStringLiteral("VELMORADO_SERVICE");

    bool Installed() const;
    // Read at start-up: the service manager started this process.
    bool StartedAsService() const { return m_startedAsService; }
    // Read later: this process runs as the service.
    bool RunningAsService() const { return m_startedAsService; }

    // Installed: what systemctl left on disk (the wants link, the mask);
    // otherwise the value set for the next install.
    qint16 StartType() const;
    void setStartType(qint16 type) { m_startType = type; }
    // Installed: the unit runs without the offscreen platform; otherwise the
    // value set for the next install.
    bool InteractWithDesktop() const;
    void setInteractWithDesktop(bool on) { m_interact = on; }

    // Writes the unit for the executable and registers it with the current
    // start type and desktop interaction: 0 enable, 1 leave it to be started
    // by hand, 2 (and any other value) mask. The flag is kept for the
    // interface and selects nothing. False when the unit file could not be
    // written (nothing is registered then).
    bool InstallService(bool unused = false);
    // Unmasks, disables and deletes the unit. False when the unit file is
    // still there afterwards.
    bool UninstallService();
    // The systemctl commands of the last install or removal that failed or
    // could not be run (no user service manager, for one), as typed.
    QStringList failedCommands() const { return m_failed; }

    // One entry in the system log: type 4 information, 2 warning, through
    // syslog(3) under "Velmorado Service".
    // Test seam: when VELMORADO_EVENT_LOG_FILE names a file, entries are
    // appended there instead ("4<TAB>text" per line, line breaks as " | "),
    // so that tests of the real executable can read what it logged.
    static void WriteEventLog(const QString& text, int type);

    // Where the unit file lives: $XDG_DATA_HOME/systemd/user (so that masking,
    // which writes into ~/.config/systemd/user, can override it).
    static QString unitFilePath();
    // The program the unit starts (the running executable unless set).
    void setExecutablePath(const QString& path) { m_executable = path; }
    QString unitFileText() const;

    // Turns SIGTERM, SIGTSTP and SIGCONT into the service events, on the
    // thread of the event loop: the handler only writes the signal's number
    // into a socket pair, which a notifier reads. SIGTSTP is handled, so it
    // no longer stops the process.
    void watchServiceSignals();
    // Raises ServiceStarted when this process runs as the service.
    void announceStart();

Q_SIGNALS:
    void ServiceStarted(const QString& arguments);
    void ServiceStopped();
    void ServicePaused();
    void ServiceContinued();
    void UserLoggedOff();

private:
    void onSignal();
    void systemctl(const QStringList& arguments);

    bool m_startedAsService = false;
    qint16 m_startType = 0;
    bool m_interact = false;
    QString m_executable;
    QStringList m_failed;
};

} // namespace service
