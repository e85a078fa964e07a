#pragma once

#include <QString>

namespace engine {
class Scheduler;
}
namespace service {
class ServiceControl;
}

namespace app {

// All that start-up and shutdown do to the main window. The window
// implements it; tests implement it with a recorder. Everything else the
// window shows is its own business.
class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;

    // Before anything is read: the product's caption, and a close button that
    // puts the window away rather than ending the program.
    virtual void prepare() = 0;
    // The caption with the computer, the user and the operating system.
    virtual void setCaption(const QString& caption) = 0;
    // Another copy asked this one to come to the front, handing on the
    // activation token and the startup id its launcher gave it (either may
    // be empty), which let this window take the focus meant for that start.
    virtual void raiseOnRequest(const QString& activationToken, const QString& startupId) = 0;
    // The run mode decided (true: service): its picture and caption, boxes
    // that go to the system log where nobody can see them, and no Exit entry
    // for the service.
    virtual void showRunMode(bool service) = 0;
    // The settings just loaded (config::settings()), on the window and the tray.
    virtual void applySettings() = 0;
    // The pairs, the opening size, and the window shown; without the
    // archiver (canStart false) the start controls are off.
    virtual void showWindow(bool canStart) = 0;
    virtual void minimiseToTray() = 0;
    // The notice of an automatic start that ends after the first pass: a key
    // gives the window back and keeps the program running.
    virtual void showStartNotice() = 0;

    enum class Box { Exclamation, Critical };
    virtual void showMessage(Box box, const QString& title, const QString& text) = 0;
    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const QString& question) = 0;
    // False where nobody can answer a box: Qt's stand-ins for a screen,
    // unless the boxes are answered by script.
    virtual bool hasScreen() const = 0;

    virtual void removeTrayIcon() = 0;
    // Ends the program from inside the event loop with status 0: the tray icon goes first.
    virtual void leaveEventLoop() = 0;

    // What the window was built with: the service manager and the scheduler
    // of its start/stop button.
    virtual service::ServiceControl& serviceControl() = 0;
    virtual engine::Scheduler& scheduler() = 0;
};

} // namespace app
