#include "ui/dialogs/frmPerformance.h"

#include "config/ProgramValues.h"
#include "config/Settings.h"

#include "ui_frmPerformance.h"

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmPerformance", "Velmorado 1.0c", "Velmorado 1.0c"},
    {"lblPerformance", "Régler la performance", "Set performance"},
    {"lblMin", "Moins fluide et plus rapide", "Flowing less freely and quicker"},
    {"lblMax", "Plus fluide et moins rapide", "Flowing more freely and slower"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

std::span<const Caption> frmPerformance::captions() {
    return kCaptions;
}

frmPerformance::frmPerformance(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmPerformance>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    // A hand-edited value past either end shows at the nearer one.
    QScrollBar* bar = m_ui->HScroll1;
    bar->setValue(qBound(bar->minimum(), int(config::settings().performance), bar->maximum()));
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmPerformance::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmPerformance::~frmPerformance() = default;

void frmPerformance::cmdOK_Click() {
    config::Settings& s = config::settings();
    s.performance = qint16(m_ui->HScroll1->value());
    config::WriteSetting(config::kSectionConfiguration, config::keys::kPerformance,
                         QString::number(s.performance));
    accept();
}

} // namespace ui
