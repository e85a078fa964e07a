#include "ui/dialogs/frmAdminService.h"

#include "app/ServiceMode.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "service/ServiceControl.h"
#include "ui/common/Captions.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include "ui_frmAdminService.h"

#include <QButtonGroup>

namespace ui {

namespace {

// Every fixed caption of the dialog; lblService changes with the state.
const Caption kCaptions[] = {
    {"frmAdminService", "Velmorado Service [NT]", "Velmorado Service [NT]"},
    {"lblInfo",
     "IMPORTANT: Si vous souhaitez accéder à des fichiers situés sur un réseau, le service "
     "Velmorado doit démarrer sous un compte utilisateur et non un compte système local [voir par "
     "exemple: Microsoft Knowledge Base Articles Q132679, Q127862, Q124184, Q120582, Q158508]. "
     "Dans ce cas, le service ne peut pas interagir avec le bureau. Vérifier soigneusement la "
     "configuration de démarrage.",
     "IMPORTANT: If Velmorado Service needs to access network files (non local files) you will "
     "need to configure it to start under a user account and not a local system account [see for "
     "exemple: Microsoft Knowledge Base Articles Q132679, Q127862, Q124184, Q120582, Q158508]. In "
     "this case, the service cannot interact with the desktop. Check carefully the "
     "configuration."},
    {"frameType", "Type de démarrage", "Start type"},
    {"optType_0", "Automatique", "Automatic"},
    {"optType_1", "Manuel", "Manual"},
    {"optType_2", "Désactivé", "Disabled"},
    {"chkInteract", "Velmorado Service interagit avec le bureau",
     "Velmorado Service can interact with the desktop"},
    {"lblInteract", "Impossible d'accéder à des fichiers situés sur un réseau",
     "Cannot access network files"},
    {"chkDossierErrEventLog", "Mentionner les dossiers invalides dans l'Observateur d'événements",
     "Log invalid folders in the Application EventLog"},
    {"lblInstall",
     "- Installer Velmorado Service et quitter\n"
     "- Configurer et lancer le service avec 'Panneau de configuration/Services'",
     "- Install Velmorado Service and exit\n"
     "- Configure and run Velmorado Service using 'Control pannel/Services'"},
    {"cmdInstall", "&Installer", "&Install"},
    {"lblRemove",
     "Pour supprimer Velmorado Service, vous pouvez aussi:\n"
     "- arrêter le service avec 'Panneau de Configuration/Services'\n"
     "- lancer à nouveau Velmorado (le programme, pas le service)",
     "To remove Velmorado Service, you can too:\n"
     "- stop Velmorado Service using 'Control pannel/Services'\n"
     "- run again Velmorado (the program, not the service)"},
    {"cmdRemove", "&Supprimer", "&Remove"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

frmAdminService::frmAdminService(service::ServiceControl& control, Hooks hooks, QWidget* parent)
    : QDialog(parent), m_control(control), m_hooks(std::move(hooks)),
      m_ui(std::make_unique<Ui::frmAdminService>()) {
    m_ui->setupUi(this);
    m_typeGroup = new QButtonGroup(this);
    m_typeGroup->addButton(m_ui->optType_0, 0);
    m_typeGroup->addButton(m_ui->optType_1, 1);
    m_typeGroup->addButton(m_ui->optType_2, 2);
    connect(m_ui->chkInteract, &QCheckBox::clicked, this, &frmAdminService::chkInteract_Click);
    connect(m_ui->chkDossierErrEventLog, &QCheckBox::clicked, this,
            &frmAdminService::chkDossierErrEventLog_Click);
    connect(m_ui->cmdInstall, &QPushButton::clicked, this, &frmAdminService::cmdInstall_Click);
    connect(m_ui->cmdRemove, &QPushButton::clicked, this, &frmAdminService::cmdRemove_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
    load();
}

frmAdminService::~frmAdminService() = default;

std::span<const Caption> frmAdminService::captions() {
    return kCaptions;
}

QString frmAdminService::stateText(State state) {
    switch (state) {
    case State::Installed:
        return config::pickText("Velmorado Service installé\n"
                                "(le traitement démarre automatiquement au lancement du service)",
                                "Velmorado Service installed\n"
                                "(operations start automatically when the service starts)");
    case State::NotInstalled:
        return config::pickText("Velmorado Service non installé",
                                "Velmorado Service not installed");
    case State::AlreadyInstalled:
        return config::pickText("Velmorado Service déjà installé",
                                "Velmorado Service already installed");
    case State::Removed:
        return config::pickText("Velmorado Service: supprimé", "Velmorado Service: removed");
    }
    return QString();
}

QString frmAdminService::installedMessage(const QString& serviceText) {
    // Linux has no services control panel: the two commands that start the
    // service now and keep it running with nobody logged in come with it.
    return serviceText +
           config::pickText(
               "\n\nConfiguration et démarrage, voir\n'Panneau de configuration/Services'"
               "\n\nDémarrer le service maintenant:\n    systemctl --user start velmorado"
               "\nLe garder en marche après la déconnexion:\n    loginctl enable-linger",
               "\n\nConfiguration and start, see\n'Control panel/Services'"
               "\n\nStart the service now:\n    systemctl --user start velmorado"
               "\nKeep it running after logout:\n    loginctl enable-linger");
}

void frmAdminService::load() {
    applyCaptions(this, kCaptions, config::language());
    m_ui->chkDossierErrEventLog->setChecked(config::settings().erreurDossierEventLog);
    m_ui->lblService->setText(
        stateText(m_control.Installed() ? State::Installed : State::NotInstalled));
    const int type = m_control.StartType();
    m_typeGroup->button(type == 0 || type == 1 ? type : 2)->setChecked(true);
    const bool interact = m_control.InteractWithDesktop();
    m_ui->chkInteract->setChecked(interact);
    m_ui->lblInteract->setVisible(interact);
}

void frmAdminService::chkInteract_Click() {
    m_ui->lblInteract->setVisible(m_ui->chkInteract->isChecked());
}

void frmAdminService::chkDossierErrEventLog_Click() {
    const bool on = m_ui->chkDossierErrEventLog->isChecked();
    config::settings().erreurDossierEventLog = on;
    config::WriteSetting(config::kSectionConfiguration, config::keys::kErreurDossierEventLog,
                         config::flagText(on));
}

void frmAdminService::cmdInstall_Click() {
    if (m_control.Installed()) {
        m_ui->lblService->setText(stateText(State::AlreadyInstalled));
        if (m_hooks.beep) {
            m_hooks.beep();
        }
        return;
    }
    m_control.setStartType(qint16(m_typeGroup->checkedId()));
    m_control.setInteractWithDesktop(m_ui->chkInteract->isChecked());
    if (!m_control.InstallService(false)) {
        // Nothing was registered: say so, and leave the program as it was.
        dialogs().message(this, Dialogs::Icon::Critical, config::kProductName,
                          config::pickText("Velmorado Service non installé: impossible d'écrire ",
                                           "Velmorado Service not installed: cannot write ") +
                              service::ServiceControl::unitFilePath());
        return;
    }
    if (m_hooks.showMode) {
        m_hooks.showMode(true);
    }
    m_ui->lblService->setText(stateText(State::Installed));
    service::ServiceControl::WriteEventLog(m_ui->lblService->text(), 4);
    QString message = installedMessage(m_ui->lblService->text());
    if (!m_control.failedCommands().isEmpty()) {
        // The unit is written, but the service manager did not take all of it.
        message += config::pickText("\n\nÉchec de:\n", "\n\nFailed:\n") +
                   m_control.failedCommands().join(QLatin1Char('\n'));
    }
    dialogs().message(this, Dialogs::Icon::Information, config::kProductName, message);
    if (m_hooks.endProgram) {
        m_hooks.endProgram();
    }
}

void frmAdminService::cmdRemove_Click() {
    if (m_control.Installed()) {
        if (!m_control.UninstallService()) {
            // The unit file is still there: the service is still registered.
            dialogs().message(this, Dialogs::Icon::Critical, config::kProductName,
                              app::serviceNotRemovedMessage(config::language()));
            return;
        }
        m_ui->lblService->setText(stateText(State::Removed));
        service::ServiceControl::WriteEventLog(m_ui->lblService->text(), 4);
    } else {
        m_ui->lblService->setText(stateText(State::NotInstalled));
        if (m_hooks.beep) {
            m_hooks.beep();
        }
    }
    if (m_hooks.showMode) {
        m_hooks.showMode(false);
    }
}

} // namespace ui
