#include "ui/dialogs/frmTempo.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "ui/common/BoxNumber.h"
#include "ui/common/UpDown.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include "ui_frmTempo.h"

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmTempo", "Velmorado 1.0c", "Velmorado 1.0c"},
    {"lblTempo", "Régler la temporisation par défaut entre les traitements",
     "Set default time between two operations"},
    {"lblSecondes", "secondes", "seconds"},
    {"Label1", "Temporisation minimale atteinte", "Minimal temporisation reached"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

} // namespace

std::span<const Caption> frmTempo::captions() {
    return kCaptions;
}

frmTempo::frmTempo(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::frmTempo>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    // The minimum text has its room from the start, shown or not: the
    // dialog keeps its size and nothing moves when the text shows.
    QSizePolicy room = m_ui->Label1->sizePolicy();
    room.setRetainSizeWhenHidden(true);
    m_ui->Label1->setSizePolicy(room);
    m_ui->Text1->setText(QString::number(config::settings().temporisation));
    connect(m_ui->UpDown1, &UpDown::downClicked, this, &frmTempo::UpDown1_DownClick);
    connect(m_ui->UpDown1, &UpDown::upClicked, this, &frmTempo::UpDown1_UpClick);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmTempo::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmTempo::~frmTempo() = default;

void frmTempo::UpDown1_DownClick() {
    double n = roundEven(boxNumber(m_ui->Text1->text()) - 1);
    if (n <= 1) {
        n = 1;
        m_ui->Label1->show();
    } else {
        m_ui->Label1->hide();
    }
    m_ui->Text1->setText(boxText(n));
}

void frmTempo::UpDown1_UpClick() {
    // No top of its own: OK refuses what passes 60000.
    const double n = roundEven(boxNumber(m_ui->Text1->text()) + 1);
    m_ui->Label1->hide();
    m_ui->Text1->setText(n > 1e15 ? m_ui->Text1->text() : boxText(n));
}

void frmTempo::cmdOK_Click() {
    const double v = boxNumber(m_ui->Text1->text());
    if (v < 1 || v > config::kMaxTemporisation) {
        dialogs().message(
            this, Dialogs::Icon::Critical, config::productAndVersion(),
            config::pickText("Valeur de temporisation incorrecte: ", "Invalid value: ") +
                m_ui->Text1->text());
        return;
    }
    config::Settings& s = config::settings();
    s.temporisation = qint32(roundEven(v));
    config::WriteSetting(config::kSectionConfiguration, config::keys::kTemporisation,
                         QString::number(s.temporisation));
    accept();
}

} // namespace ui
