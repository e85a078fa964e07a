#include "ui/dialogs/frmAvertirDossierErr.h"

#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/Texts.h"
#include "platform/NetMessage.h"
#include "ui/main/Dialogs.h"

#include "ui_frmAvertirDossierErr.h"

#include <QPointer>

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmAvertirDossierErr", "Avertir lorsqu'un dossier est inconnu", "Warning on unknown folder"},
    {"chkDossierErr", "Avertir par un message à l'écran et dans le journal",
     "Warning using display and Log messages"},
    {"chkDossierErrSon", "Avertissement sonore", "Beep warning"},
    {"chkDossierErrNetSend", "Avertir par un message 'net send' (ci-dessous)",
     "Warning using a 'net send' message (see below)"},
    {"lblNetSend", "NT seulement - utiliser WinPopup pour recevoir les messages",
     "NT only - use WinPopup to receive messages"},
    {"cmdEssayer", "Essayer", "Try"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

std::span<const Caption> frmAvertirDossierErr::captions() {
    return kCaptions;
}

frmAvertirDossierErr::frmAvertirDossierErr(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmAvertirDossierErr>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    const config::Settings& s = config::settings();
    m_ui->chkDossierErr->setChecked(s.erreurDossier);
    m_ui->chkDossierErrSon->setChecked(s.erreurDossierSon);
    m_ui->chkDossierErrNetSend->setChecked(s.erreurDossierNetSend);
    chkDossierErrNetSend_Click();
    m_ui->txtNetSend->setText(s.messageNetSend);

    connect(m_ui->chkDossierErrNetSend, &QCheckBox::clicked, this,
            &frmAvertirDossierErr::chkDossierErrNetSend_Click);
    connect(m_ui->cmdEssayer, &QPushButton::clicked, this, &frmAvertirDossierErr::cmdEssayer_Click);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmAvertirDossierErr::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmAvertirDossierErr::~frmAvertirDossierErr() = default;

void frmAvertirDossierErr::chkDossierErrNetSend_Click() {
    const bool on = m_ui->chkDossierErrNetSend->isChecked();
    m_ui->cmdEssayer->setEnabled(on);
    m_ui->txtNetSend->setEnabled(on);
    m_ui->lblNetSend->setEnabled(on);
}

void frmAvertirDossierErr::cmdEssayer_Click() {
    const QString text = m_ui->txtNetSend->text();
    if (text.isEmpty()) {
        // A stored language 2 has a text of its own here, and only here.
        const QString warning =
            config::language() == 2
                ? QStringLiteral("Naõ ha mensagem")
                : config::pickText("Aucun message à envoyer", "No message to send");
        dialogs().message(this, Dialogs::Icon::Exclamation, config::kProductName, warning);
        return;
    }
    // As typed, not saved, not waited for: a message that does not go out is
    // said once net has ended, over this dialog while it is still open.
    const QPointer<frmAvertirDossierErr> dialog(this);
    platform::sendNetMessage(
        text, config::program().exeDir, [dialog](const platform::NetSendResult& result) {
            if (result.status == platform::NetSendResult::Status::Sent) {
                return;
            }
            const int language = config::language();
            dialogs().message(dialog.data(), Dialogs::Icon::Exclamation, config::kProductName,
                              engine::texts::netMessageNotSent(language) + QStringLiteral(": ") +
                                  engine::texts::netSendFailure(result, language));
        });
}

void frmAvertirDossierErr::cmdOK_Click() {
    config::Settings& s = config::settings();
    s.erreurDossier = m_ui->chkDossierErr->isChecked();
    s.erreurDossierSon = m_ui->chkDossierErrSon->isChecked();
    s.erreurDossierNetSend = m_ui->chkDossierErrNetSend->isChecked();
    s.messageNetSend = m_ui->txtNetSend->text();
    const QString& section = config::kSectionConfiguration;
    config::WriteSetting(section, config::keys::kErreurDossier, config::flagText(s.erreurDossier));
    config::WriteSetting(section, config::keys::kErreurDossierSon,
                         config::flagText(s.erreurDossierSon));
    config::WriteSetting(section, config::keys::kErreurDossierNetSend,
                         config::flagText(s.erreurDossierNetSend));
    config::WriteSetting(section, config::keys::kMessageNetSend, s.messageNetSend);
    // The caller ticks mnuDossierErr when any of the three is on.
    accept();
}

} // namespace ui
