#include "ui/dialogs/frmPrefixeCible.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include "ui_frmPrefixeCible.h"

#include <QApplication>

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmPrefixeCible", "Velmorado 1.0c", "Velmorado 1.0c"},
    {"lblPrefixe", "Préfixe des fichiers compressés (2 caractères)",
     "Compressed files prefix (2 characters)"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

std::span<const Caption> frmPrefixeCible::captions() {
    return kCaptions;
}

frmPrefixeCible::frmPrefixeCible(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmPrefixeCible>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    m_ui->Text1->setText(config::settings().prefix);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmPrefixeCible::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmPrefixeCible::~frmPrefixeCible() = default;

void frmPrefixeCible::cmdOK_Click() {
    // Spaces only: a tab or a line break stays, and is counted.
    QString text = m_ui->Text1->text();
    while (text.startsWith(QLatin1Char(' '))) {
        text.remove(0, 1);
    }
    while (text.endsWith(QLatin1Char(' '))) {
        text.chop(1);
    }
    m_ui->Text1->setText(text);
    // The rule start-up and every compression apply too, to what is typed
    // and to what is stored ("ß" is "SS" in upper case): a prefix refused
    // here is never used.
    const QString upper = text.toUpper();
    config::PrefixFault fault = config::prefixFault(text);
    if (fault == config::PrefixFault::None) {
        fault = config::prefixFault(upper);
    }
    QString refusal;
    switch (fault) {
    case config::PrefixFault::None:
        break;
    case config::PrefixFault::Length:
        refusal = config::pickText(
            "Le préfixe des fichiers compressés doit avoir une longueur de 2 caractères",
            "Prefix must be 2 characters");
        break;
    case config::PrefixFault::Character:
        refusal = config::pickText("Caractère invalide", "Invalid character");
        break;
    case config::PrefixFault::LeadingDot:
        refusal = config::pickText("Le préfixe ne peut pas commencer par un point : les archives "
                                   "seraient des fichiers cachés",
                                   "Prefix cannot begin with a dot: the archives would be hidden "
                                   "files");
        break;
    }
    if (!refusal.isEmpty()) {
        QApplication::beep();
        dialogs().message(this, Dialogs::Icon::Exclamation, config::productAndVersion(), refusal);
        return;
    }
    config::Settings& s = config::settings();
    s.prefix = upper;
    // A prefix that start-up refused is replaced: the day's log no longer has
    // a refusal to tell.
    s.refusedPrefix.clear();
    s.refusedPrefixLogged = false;
    config::WriteSetting(config::kSectionConfiguration, config::keys::kPrefixeFichiersCompresses,
                         s.prefix);
    accept();
}

} // namespace ui
