#pragma once

#include <QObject>
#include <QString>

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

    qint16 StartType() const;
    void setStartType(qint16 type) { m_startType = type; }
    bool InteractWithDesktop() const { return m_interact; }
    void setInteractWithDesktop(bool on) { m_interact = on; }

    // Writes the unit for executable and registers it with the current start
    // type and desktop interaction. The flag is kept for the interface and
    // selects nothing. False when the unit file could not be written.
    bool InstallService(bool unused = false);
    bool UninstallService();

    // One entry in the system log: type 4 information, 2 warning.
    static void WriteEventLog(const QString& text, int type);

    // Where the unit file lives: $XDG_DATA_HOME/systemd/user (so that masking,
    // which writes into ~/.config/systemd/user, can override it).
    static QString unitFilePath();
    // The program the unit starts (the running executable unless set).
    void setExecutablePath(const QString& path) { m_executable = path; }
    QString unitFileText() const;

    // Turns SIGTERM, SIGTSTP and SIGCONT into the service events, on the
    // thread of the event loop.
    void watchServiceSignals();
    // Raised at once by watchServiceSignals when running as the service.
    void announceStart();

Q_SIGNALS:
    void ServiceStarted(const QString& arguments);
    void ServiceStopped();
    void ServicePaused();
    void ServiceContinued();
    void UserLoggedOff();

private:
    void onSignal();
    static int runSystemctl(const QStringList& arguments);

    bool m_startedAsService = false;
    qint16 m_startType = 0;
    bool m_interact = false;
    QString m_executable;
};

} // namespace service
