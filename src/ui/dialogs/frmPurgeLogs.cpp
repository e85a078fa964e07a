#include "ui/dialogs/frmPurgeLogs.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "ui/common/BoxNumber.h"
#include "ui/common/UpDown.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include "ui_frmPurgeLogs.h"

namespace ui {

namespace {

constexpr double kFewest = 2;
constexpr double kMost = 366;

const Caption kCaptions[] = {
    {"frmPurgeLogs", "Velmorado 1.0c", "Velmorado 1.0c"},
    {"chkPurgeLogs", "Effacer automatiquement les journaux après...",
     "Remove Log files automatically after..."},
    {"lblJours", "jours", "days"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

std::span<const Caption> frmPurgeLogs::captions() {
    return kCaptions;
}

frmPurgeLogs::frmPurgeLogs(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmPurgeLogs>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    const config::Settings& s = config::settings();
    m_ui->chkPurgeLogs->setChecked(s.purgeLogs);
    m_ui->Text1->setText(QString::number(s.delaiLogs));
    connect(m_ui->UpDown1, &UpDown::downClicked, this, &frmPurgeLogs::UpDown1_DownClick);
    connect(m_ui->UpDown1, &UpDown::upClicked, this, &frmPurgeLogs::UpDown1_UpClick);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmPurgeLogs::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmPurgeLogs::~frmPurgeLogs() = default;

void frmPurgeLogs::UpDown1_DownClick() {
    double n = roundEven(boxNumber(m_ui->Text1->text()) - 1);
    if (n <= kFewest) {
        n = kFewest;
        m_ui->Label1->setText(
            config::pickText("Valeur minimale atteinte", "Minimal value reached"));
        m_ui->Label1->show();
    } else {
        m_ui->Label1->hide();
    }
    m_ui->Text1->setText(boxText(n));
}

void frmPurgeLogs::UpDown1_UpClick() {
    // No lower limit going up: a text without a number gives 1, which OK refuses.
    double n = roundEven(boxNumber(m_ui->Text1->text()) + 1);
    if (n >= kMost) {
        n = kMost;
        m_ui->Label1->setText(
            config::pickText("Valeur maximale atteinte", "Maximal value reached"));
        m_ui->Label1->show();
    } else {
        m_ui->Label1->hide();
    }
    m_ui->Text1->setText(boxText(n));
}

void frmPurgeLogs::cmdOK_Click() {
    const double v = boxNumber(m_ui->Text1->text());
    if (v < kFewest || v > kMost) {
        dialogs().message(this, Dialogs::Icon::Critical, config::productAndVersion(),
                          config::pickText("Valeur incorrecte: ", "Invalid value: ") +
                              m_ui->Text1->text());
        return;
    }
    config::Settings& s = config::settings();
    s.purgeLogs = m_ui->chkPurgeLogs->isChecked();
    config::WriteSetting(config::kSectionLogs, config::keys::kPurgeLogs,
                         config::flagText(s.purgeLogs));
    s.delaiLogs = qint16(roundEven(v));
    config::WriteSetting(config::kSectionLogs, config::keys::kDelaiLogs,
                         QString::number(s.delaiLogs));
    accept();
}

} // namespace ui
