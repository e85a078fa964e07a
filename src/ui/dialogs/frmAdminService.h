#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <functional>
#include <memory>

class QButtonGroup;

namespace Ui {
class frmAdminService;
}
namespace service {
class ServiceControl;
}

namespace ui {

// Installs and removes "Velmorado Service", chooses its start type
// (optType_0 automatic, optType_1 manual, optType_2 disabled) and whether it
// may use the desktop, and switches the system-log warning for unknown
// folders (saved by the click on its box, whatever button closes the dialog).
// There is no OK button: Install registers the service and ends the program
// (a copy never turns into the service while it runs); Remove removes it and
// leaves the dialog open; Cancel closes.
class frmAdminService : public QDialog {
    Q_OBJECT
public:
    // What the dialog does to the rest of the program.
    struct Hooks {
        std::function<void(bool service)> showMode; // the main window's mode picture and caption
        std::function<void()> beep;
        std::function<void()> endProgram; // removes the tray icon and ends the program
    };
    frmAdminService(service::ServiceControl& control, Hooks hooks, QWidget* parent = nullptr);
    ~frmAdminService() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

    // The texts of lblService, in the current language.
    enum class State { Installed, NotInstalled, AlreadyInstalled, Removed };
    static QString stateText(State state);
    // The message shown after an install, for the text of lblService.
    static QString installedMessage(const QString& serviceText);

private:
    void load();
    void chkInteract_Click();
    void chkDossierErrEventLog_Click();
    void cmdInstall_Click();
    void cmdRemove_Click();

    service::ServiceControl& m_control;
    Hooks m_hooks;
    std::unique_ptr<Ui::frmAdminService> m_ui;
    QButtonGroup* m_typeGroup = nullptr;
};

} // namespace ui
