// The folder-pair grid, the file lists and the window background of the main
// window: what a click, a double-click, a key or a pointer move does there.
#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/Scheduler.h"
#include "ui/main/FileLists.h"
#include "ui/main/PairGrid.h"
#include "ui/main/UiSupport.h"
#include "ui/main/frmKestrune.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace ui {

QString durationText(qint64 seconds) {
    const qint64 s = seconds % 60;
    const qint64 minutes = seconds / 60;
    const qint64 m = minutes % 60;
    const qint64 h = minutes / 60;
    if (h != 0) {
        return QStringLiteral("%1 h %2 min %3 s").arg(h).arg(m).arg(s);
    }
    if (m != 0) {
        return QStringLiteral("%1 min %2 s").arg(m).arg(s);
    }
    return QStringLiteral("%1 s").arg(s);
}

namespace {

// The wait before a pair is processed again: its interval (0, or a value
// below 1 that would mean no wait at all, counts as 1) times the temporisation.
qint64 pairWait(const config::FolderPair& pair) {
    double n = config::leadingNumber(pair.nbTemporisations);
    if (!(n > 0)) {
        n = 1;
    }
    const double total = n * double(config::settings().temporisation);
    constexpr double kLongest = 1e15; // far beyond any interval the dialog accepts
    return std::llround(std::clamp(total, -kLongest, kLongest));
}

bool stopped() {
    return engine::Scheduler::isStopped();
}

} // namespace

void frmKestrune::connectGridEvents() {
    connect(lstDossiers, &PairGrid::gridClicked, this, &frmKestrune::onGridClicked);
    connect(lstDossiers, &PairGrid::gridDoubleClicked, this, &frmKestrune::onGridDoubleClicked);
    connect(lstDossiers, &PairGrid::pointerMoved, this, &frmKestrune::onGridPointerMoved);
    connect(lstDossiers, &PairGrid::deleteRequested, this, &frmKestrune::cmdSupprimer_Click);
    connect(lstDossiers, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (lstDossiers->rowCount() > 0 && config::settings().afficherFichiers && row >= 0) {
            AfficherFichiersCouple(row);
        }
    });
    connect(mnuAfficherFichiers, &QAction::triggered, this,
            &frmKestrune::mnuAfficherFichiers_Click);

    // Folder entry: the buttons, the menu entries that click them, and those
    // that type the folder in.
    connect(cmdAjouterDossierSource, &QPushButton::clicked, this,
            [this] { EnterFolder(Folder::Source, How::Browse, Action::Add); });
    connect(cmdModifierDossierSource, &QPushButton::clicked, this,
            [this] { EnterFolder(Folder::Source, How::Browse, Action::Change); });
    connect(cmdModifierDossierCible, &QPushButton::clicked, this,
            [this] { EnterFolder(Folder::Target, How::Browse, Action::Change); });
    connect(cmdSupprimer, &QPushButton::clicked, this, &frmKestrune::cmdSupprimer_Click);
    connect(mnuAjouterSourceParcourir, &QAction::triggered, cmdAjouterDossierSource,
            &QPushButton::click);
    connect(mnuModifierSourceParcourir, &QAction::triggered, cmdModifierDossierSource,
            &QPushButton::click);
    connect(mnuModifierCibleParcourir, &QAction::triggered, cmdModifierDossierCible,
            &QPushButton::click);
    connect(mnuSupprimerDossiers, &QAction::triggered, cmdSupprimer, &QPushButton::click);
    connect(mnuAjouterSourceSaisir, &QAction::triggered, this,
            [this] { EnterFolder(Folder::Source, How::Type, Action::Add); });
    connect(mnuModifierSourceSaisir, &QAction::triggered, this,
            [this] { EnterFolder(Folder::Source, How::Type, Action::Change); });
    connect(mnuModifierCibleSaisir, &QAction::triggered, this,
            [this] { EnterFolder(Folder::Target, How::Type, Action::Change); });

    // The window background (clicks and moves that no control takes), the
    // headings, and the two legend pictures.
    QWidget* background = centralWidget();
    background->setMouseTracking(true);
    background->installEventFilter(this);
    for (QLabel* heading : {lblDossiersSources, lblDossiersCibles, lblNbDossiers}) {
        heading->setMouseTracking(true);
        heading->installEventFilter(this);
    }
    PictureSetGris->installEventFilter(this);
    PictureSetGrisMod->installEventFilter(this);
    new FileListTips(lstFichiersSources);
    new FileListTips(lstFichiersCibles);
}

bool frmKestrune::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == PictureSetGris || watched == PictureSetGrisMod) {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) {
            QLabel* legend = watched == PictureSetGris ? lblLegende1 : lblLegende2;
            QFont f = legend->font();
            f.setBold(type == QEvent::MouseButtonPress);
            legend->setFont(f);
            return true;
        }
        return false;
    }
    if (type == QEvent::MouseMove && (watched == centralWidget() || watched == lblDossiersSources ||
                                      watched == lblDossiersCibles || watched == lblNbDossiers)) {
        clearDescription();
        return false;
    }
    if (type == QEvent::MouseButtonRelease && watched == centralWidget() &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        backgroundClick();
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmKestrune::afterGridFill() {
    const int rows = lstDossiers->rowCount();
    const bool any = rows > 0;
    lblNbDossiers->setText(QString::number(rows));
    for (QWidget* hint :
         std::initializer_list<QWidget*>{LineBulle, lblBulle1, lblBulle2, lblBulle3}) {
        hint->setVisible(!any);
    }
    for (QWidget* heading : std::initializer_list<QWidget*>{
             lblDossiersSources, lblDossiersCibles, lblNbDossiers, picFleche1, picFleche2}) {
        heading->setVisible(any);
    }
    if (any) {
        if (!config::settings().afficherFichiers) {
            frameLegende->setVisible(true);
        }
    } else {
        frameLegende->setVisible(false);
        lblMessage->clear();
    }
    lstDossiers->setSelectionMark(false);
    // The rows changed under the pointer: the pair described may be gone or
    // renumbered, so the line is emptied and the next move describes afresh.
    if (stopped()) {
        lblMessage->clear();
    }
    lstDossiers->setDescribedRow(-1);
    if (config::settings().afficherFichiers) {
        if (any) {
            AfficherFichiersCouple(lstDossiers->currentRow());
        } else {
            for (QListWidget* list : {lstFichiersSources, lstFichiersCibles}) {
                list->clear();
            }
            lblNbFichiersSources->clear();
            lblNbFichiersCibles->clear();
        }
    }
}

void frmKestrune::onGridClicked(int column, bool onRow) {
    const int row = lstDossiers->currentRow();
    if (config::settings().afficherFichiers && row >= 0) {
        AfficherFichiersCouple(row);
    }
    if (column == 1 && onRow && row >= 0 && stopped()) {
        openSetMode();
    }
}

void frmKestrune::onGridDoubleClicked(int column) {
    if (!stopped()) {
        return;
    }
    if (column == 0) {
        EnterFolder(Folder::Source, How::Browse, Action::Change);
    } else if (column == 2) {
        EnterFolder(Folder::Target, How::Browse, Action::Change);
    }
}

void frmKestrune::onGridPointerMoved(const QPoint& pos) {
    if (lstDossiers->rowCount() == 0 || !stopped()) {
        return;
    }
    const int row = lstDossiers->rowUnder(pos);
    if (row < 0) {
        lblMessage->clear();
        lstDossiers->setDescribedRow(-1);
    } else if (row != lstDossiers->describedRow()) {
        if (const config::FolderPair* pair =
                config::folderPairs().pair(lstDossiers->pairNumber(row))) {
            const bool off = pair->enable == QLatin1String("0");
            QString text = lstDossiers->cellText(row, 0).trimmed() + QStringLiteral(" -> ") +
                           lstDossiers->cellText(row, 2).trimmed();
            if (off) {
                text += config::pickText(" [Compression/décompression inactive]",
                                         " [Compress/uncompress disabled]");
            }
            text += QStringLiteral("\r\nT = ") + durationText(pairWait(*pair));
            text += pair->rar == QLatin1String("1")
                        ? config::pickText("; décompresser les fichiers", "; uncompress files")
                        : config::pickText("; compresser les fichiers", "; compress files");
            QPalette palette = lblMessage->palette();
            palette.setColor(QPalette::WindowText,
                             off ? PairGrid::kDisabledGrey
                                 : QApplication::palette().color(QPalette::ButtonText));
            lblMessage->setPalette(palette);
            lblMessage->setText(text);
        }
        lstDossiers->setDescribedRow(row);
    }
    // A cell whose text does not fit shows it whole as the tooltip.
    const QModelIndex cell = lstDossiers->indexAt(pos);
    const QString cellText = cell.isValid() ? cell.data(Qt::DisplayRole).toString() : QString();
    lblTestLongueur->setText(cellText);
    const int width = lblTestLongueur->fontMetrics().horizontalAdvance(cellText);
    // A text elided in its cell always gets it (the cell's margins are a few pixels).
    const int fits = cell.isValid() ? lstDossiers->columnWidth(cell.column()) - 8 : 0;
    lstDossiers->setToolTip(width > std::min(lstDossiers->width() / 2 - 15, fits) ? cellText
                                                                                  : QString());
}

void frmKestrune::clearDescription() {
    if (!stopped()) {
        return; // the label belongs to the processing pass
    }
    lblMessage->clear();
    lstDossiers->setDescribedRow(-1);
}

void frmKestrune::backgroundClick() {
    if (!config::settings().afficherFichiers) {
        if (lstDossiers->rowCount() > 0) {
            lstDossiers->selectBlock(0, 0);
        }
        lstDossiers->setSelectionMark(false);
        lstFichiersSources->clear();
        lstFichiersCibles->clear();
        lblNbFichiersSources->clear();
        lblNbFichiersCibles->clear();
    }
    cmdMiroir->setFocus(Qt::OtherFocusReason);
}

void frmKestrune::mnuAfficherFichiers_Click() {
    const bool on = mnuAfficherFichiers->isChecked();
    config::settings().afficherFichiers = on;
    config::WriteSetting(config::kSectionConfiguration, config::keys::kAfficherFichiers,
                         config::flagText(on));
    if (on) {
        frameLegende->hide();
        for (QWidget* w :
             std::initializer_list<QWidget*>{lstFichiersSources, lstFichiersCibles,
                                             lblNbFichiersSources, lblNbFichiersCibles}) {
            w->show();
        }
        if (lstDossiers->rowCount() > 0) {
            AfficherFichiersCouple(lstDossiers->currentRow());
        }
    } else {
        lstFichiersSources->clear();
        lstFichiersCibles->clear();
        lblNbFichiersSources->clear();
        lblNbFichiersCibles->clear();
        frameLegende->show();
        for (QWidget* w :
             std::initializer_list<QWidget*>{lstFichiersSources, lstFichiersCibles,
                                             lblNbFichiersSources, lblNbFichiersCibles}) {
            w->hide();
        }
    }
}

void frmKestrune::AfficherFichiersCouple(int row) {
    lstFichiersSources->clear();
    lblNbFichiersSources->clear();
    lstFichiersCibles->clear();
    lblNbFichiersCibles->clear();
    const config::FolderPair* pair = config::folderPairs().pair(lstDossiers->pairNumber(row));
    if (!pair) {
        return;
    }
    const QString source = pair->source;
    const QString target = pair->target;
    RemplirListeFichiers(1, source);
    RemplirListeFichiers(2, target);
}

void frmKestrune::RemplirListeFichiers(int side, const QString& folder) {
    WaitCursor wait;
    fillFileList(side == 1 ? lstFichiersSources : lstFichiersCibles, folder);
    writeFileCount(side);
}

void frmKestrune::writeFileCount(int side) {
    QListWidget* list = side == 1 ? lstFichiersSources : lstFichiersCibles;
    QLabel* count = side == 1 ? lblNbFichiersSources : lblNbFichiersCibles;
    const QString cell = lstDossiers->cellText(lstDossiers->currentRow(), side == 1 ? 0 : 2);
    count->setText(QString::number(list->count()) +
                   config::pickText(" fichiers/dossiers dans ", " files/folders in ") +
                   cell.trimmed());
}

void frmKestrune::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    updateTrayMenuEntries();
}

void frmKestrune::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    updateTrayMenuEntries();
}

} // namespace ui
