#include "ui/dialogs/frmSetMode.h"

#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/Scheduler.h"
#include "ui/main/Dialogs.h"
#include "ui/main/PairGrid.h"
#include "ui/main/UiSupport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

namespace ui {

namespace {

constexpr qint64 kLowest = 2;
constexpr qint64 kHighest = 64000;

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QString temporisationText() {
    return QString::number(config::settings().temporisation);
}

} // namespace

frmSetMode::frmSetMode(PairGrid* grid, std::function<void()> reload, QWidget* parent)
    : QDialog(parent), m_grid(grid), m_reload(std::move(reload)) {
    setObjectName(QStringLiteral("frmSetMode"));
    setModal(true);
    buildControls();
    load();
}

bool frmSetMode::readNumber(const QString& text, qint64* value) {
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    if (!digits.match(t).hasMatch()) {
        return false;
    }
    bool ok = false;
    qint64 v = t.toLongLong(&ok);
    if (!ok) {
        // More digits than 64 bits hold: still a number, far out of any range.
        v = t.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                           : std::numeric_limits<qint64>::max();
    }
    if (value) {
        *value = v;
    }
    return true;
}

QString frmSetMode::timeText(qint64 passes, qint64 temporisation) {
    // 64000 passes of the longest wait stay far inside 64 bits.
    const qint64 total = passes * temporisation;
    qint64 m = total / 60;
    const qint64 s = total % 60;
    qint64 h = 0;
    if (m >= 60) {
        h = m / 60;
        m = m % 60;
    }
    return config::pickText("soit: ", "i.e. ") +
           QStringLiteral("%1 h %2 min %3 sec").arg(h).arg(m).arg(s);
}

void frmSetMode::buildControls() {
    auto* root = new QVBoxLayout(this);

    auto* folders = new QGridLayout;
    lblFrom = named(new QLabel(this), "lblFrom");
    lblSource = named(new QLabel(this), "lblSource");
    lblTo = named(new QLabel(this), "lblTo");
    lblCible = named(new QLabel(this), "lblCible");
    for (QLabel* path : {lblSource, lblCible}) {
        path->setFrameShape(QFrame::StyledPanel);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        path->setMinimumWidth(360);
    }
    folders->addWidget(lblFrom, 0, 0);
    folders->addWidget(lblSource, 0, 1);
    folders->addWidget(lblTo, 1, 0);
    folders->addWidget(lblCible, 1, 1);
    folders->setColumnStretch(1, 1);
    root->addLayout(folders);

    auto* mode = new QGridLayout;
    PictureSet = named(new QToolButton(this), "PictureSet");
    PictureSetMod = named(new QToolButton(this), "PictureSetMod");
    PictureSet->setIcon(programIcon("compress"));
    PictureSetMod->setIcon(programIcon("uncompress"));
    for (QToolButton* picture : {PictureSet, PictureSetMod}) {
        picture->setIconSize(QSize(32, 32));
        picture->setAutoRaise(true);
        picture->setFocusPolicy(Qt::NoFocus);
    }
    optRar0 = named(new QRadioButton(this), "optRar_0");
    optRar1 = named(new QRadioButton(this), "optRar_1");
    m_modeGroup = new QButtonGroup(this);
    m_modeGroup->addButton(optRar0, 0);
    m_modeGroup->addButton(optRar1, 1);
    mode->addWidget(PictureSet, 0, 0);
    mode->addWidget(optRar0, 0, 1);
    mode->addWidget(PictureSetMod, 1, 0);
    mode->addWidget(optRar1, 1, 1);
    mode->setColumnStretch(2, 1);
    chkEnable = named(new QCheckBox(this), "chkEnable");
    mode->addWidget(chkEnable, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    root->addLayout(mode);

    optTempo0 = named(new QRadioButton(this), "optTempo_0");
    optTempo1 = named(new QRadioButton(this), "optTempo_1");
    m_tempoGroup = new QButtonGroup(this);
    m_tempoGroup->addButton(optTempo0, 0);
    m_tempoGroup->addButton(optTempo1, 1);
    root->addWidget(optTempo0);
    auto* every = new QHBoxLayout;
    txtMiroirN = named(new QLineEdit(this), "txtMiroirN");
    txtMiroirN->setMaximumWidth(80);
    lblMiroirN1 = named(new QLabel(this), "lblMiroirN1");
    every->addWidget(optTempo1);
    every->addWidget(txtMiroirN);
    every->addWidget(lblMiroirN1, 1);
    root->addLayout(every);
    lblMiroirN2 = named(new QLabel(this), "lblMiroirN2");
    lblErr = named(new QLabel(this), "lblErr");
    QPalette red = lblErr->palette();
    red.setColor(QPalette::WindowText, QColor(200, 0, 0));
    lblErr->setPalette(red);
    auto* result = new QHBoxLayout;
    result->addSpacing(24);
    result->addWidget(lblMiroirN2);
    result->addWidget(lblErr);
    result->addStretch(1);
    root->addLayout(result);

    auto* buttons = new QHBoxLayout;
    cmdOK = named(new QPushButton(this), "cmdOK");
    cmdAnnuler = named(new QPushButton(this), "cmdAnnuler");
    cmdOK->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdAnnuler);
    root->addLayout(buttons);

    connect(PictureSet, &QToolButton::clicked, optRar0, [this] { optRar0->setChecked(true); });
    connect(PictureSetMod, &QToolButton::clicked, optRar1, [this] { optRar1->setChecked(true); });
    connect(m_tempoGroup, &QButtonGroup::idClicked, this, [this] { optTempo_Click(); });
    connect(txtMiroirN, &QLineEdit::textChanged, this, [this] { txtMiroirN_Change(); });
    connect(cmdOK, &QPushButton::clicked, this, &frmSetMode::cmdOK_Click);
    connect(cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSetMode::applyCaptions() {
    const QString t = temporisationText();
    setWindowTitle(config::pickText("Paramètres et temporisation", "Parameters and time setting"));
    lblFrom->setText(config::pickText("De", "From"));
    lblTo->setText(config::pickText("Vers", "To"));
    chkEnable->setText(
        config::pickText("Compression/décompression active", "Compress/uncompress enabled"));
    optRar0->setText(config::pickText("Compression", "Compress"));
    optRar1->setText(config::pickText("Décompression", "Uncompress"));
    optTempo0->setText(config::pickText("Défaut: une seule temporisation de %1 secondes entre "
                                        "chaque traitement",
                                        "Default: only one time interval (%1 seconds) between "
                                        "operations")
                           .arg(t));
    lblMiroirN1->setText(config::pickText("temporisations de %1 secondes entre chaque traitement",
                                          "time intervals (%1 seconds) between operations")
                             .arg(t));
    cmdOK->setText(QStringLiteral("&OK"));
    cmdAnnuler->setText(config::pickText("&Annuler", "&Cancel"));
}

void frmSetMode::load() {
    // The pair of the grid's current row.
    m_row = m_grid->currentRow();
    m_markAtOpen = m_grid->selectionMark();
    const config::FolderPair* pair = config::folderPairs().pair(m_grid->pairNumber(m_row));
    const config::FolderPair none;
    const config::FolderPair& p = pair ? *pair : none;

    // The number box: a stored interval from 2 to 64000 as it is, else 2.
    qint64 stored = 0;
    QString interval = QStringLiteral("1");
    if (readNumber(p.nbTemporisations, &stored) && stored >= kLowest && stored <= kHighest) {
        interval = p.nbTemporisations;
    }
    // Captions (the box's rendering follows from the typing check).
    applyCaptions();
    txtMiroirN->setText(interval == QLatin1String("1") ? QStringLiteral("2") : interval);
    txtMiroirN_Change();

    // Nothing can be stored while processing runs.
    cmdOK->setEnabled(engine::Scheduler::isStopped());
    // The folders as the grid shows them.
    lblSource->setText(m_grid->cellText(m_row, 0));
    lblCible->setText(m_grid->cellText(m_row, 2));
    // Mode and enabled.
    (p.rar != QLatin1String("0") && pair ? optRar1 : optRar0)->setChecked(true);
    chkEnable->setChecked(!pair || p.enable == QLatin1String("1"));
    // Interval.
    const bool everyPass = interval == QLatin1String("1");
    (everyPass ? optTempo0 : optTempo1)->setChecked(true);
    txtMiroirN->setEnabled(!everyPass);
}

void frmSetMode::optTempo_Click() {
    txtMiroirN->setEnabled(!optTempo0->isChecked());
}

void frmSetMode::txtMiroirN_Change() {
    if (m_trimming) {
        return;
    }
    const QString text = txtMiroirN->text();
    const QString trimmed = text.trimmed();
    if (trimmed != text) {
        m_trimming = true;
        txtMiroirN->setText(trimmed);
        m_trimming = false;
    }
    qint64 value = 0;
    if (!readNumber(trimmed, &value)) {
        lblErr->setText(config::pickText("Valeur incorrecte", "Invalid value"));
        lblErr->show();
        lblMiroirN2->hide();
    } else if (value < kLowest || value > kHighest) {
        lblErr->setText(config::pickText("La valeur doit être comprise entre 2 et 64000",
                                         "Value must be between 2 and 64000"));
        lblErr->show();
        lblMiroirN2->hide();
    } else {
        lblErr->hide();
        lblMiroirN2->setText(timeText(value, config::settings().temporisation));
        lblMiroirN2->show();
    }
}

void frmSetMode::cmdOK_Click() {
    const QString title = QStringLiteral("Velmorado");
    const QString text = txtMiroirN->text();
    // 1, 2. The box must hold a valid number whichever option is chosen.
    qint64 value = 0;
    if (!readNumber(text, &value)) {
        dialogs().message(this, Dialogs::Icon::Exclamation, title,
                          config::pickText("Valeur incorrecte", "Invalid value"));
        return;
    }
    if (value < kLowest || value > kHighest) {
        dialogs().message(this, Dialogs::Icon::Exclamation, title,
                          config::pickText("La valeur doit être comprise entre 2 et 64000",
                                           "Value must be set between 2 and 64000"));
        return;
    }
    // 3, 4. The record.
    const int row = m_grid->currentRow() >= 0 ? m_grid->currentRow() : m_row;
    const int number = m_grid->pairNumber(row);
    config::FolderPair* pair = config::folderPairs().pair(number);
    if (!pair) {
        reject();
        return;
    }
    pair->enable = chkEnable->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (optTempo0->isChecked()) {
        pair->nbTemporisations = QStringLiteral("1");
        pair->remaining = QStringLiteral("1");
    } else {
        pair->nbTemporisations = text;
        pair->remaining = text;
    }
    pair->rar = optRar0->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
    // The pair's section, in this order.
    const QString section = config::pairSection(number);
    config::WriteSetting(section, config::keys::kRar, pair->rar);
    config::WriteSetting(section, config::keys::kEnable, pair->enable);
    config::WriteSetting(section, config::keys::kNbTemporisations, pair->nbTemporisations);
    // Reload.
    {
        WaitCursor wait;
        if (m_reload) {
            m_reload();
        }
    }
    // The row is current again, its three cells selected, and shown
    // selected again when it was when the dialog opened (a click on the row).
    m_grid->selectBlock(row, row);
    m_grid->setSelectionMark(m_markAtOpen);
    accept();
}

} // namespace ui
