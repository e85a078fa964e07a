#include "ui/dialogs/frmPrefixeCible.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
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

// Characters that a file name cannot hold on the machines that share the
// folders, and the archiver's wildcard brackets: compression refuses a
// prefix with "[" or "]" (it would match other files), so one is never stored.
const QString kInvalid = QStringLiteral("|><\"?*:/\\[]");

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
    QString refusal;
    if (text.size() != 2) {
        refusal = config::pickText(
            "Le préfixe des fichiers compressés doit avoir une longueur de 2 caractères",
            "Prefix must be 2 characters");
    } else if (std::any_of(text.begin(), text.end(),
                           [](QChar c) { return kInvalid.contains(c); })) {
        refusal = config::pickText("Caractère invalide", "Invalid character");
    }
    if (!refusal.isEmpty()) {
        QApplication::beep();
        dialogs().message(this, Dialogs::Icon::Exclamation, config::productAndVersion(), refusal);
        return;
    }
    config::Settings& s = config::settings();
    s.prefix = text.toUpper();
    config::WriteSetting(config::kSectionConfiguration, config::keys::kPrefixeFichiersCompresses,
                         s.prefix);
    accept();
}

} // namespace ui
