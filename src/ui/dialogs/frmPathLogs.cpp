#include "ui/dialogs/frmPathLogs.h"

#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "ui/dialogs/FolderTree.h"

#include "ui_frmPathLogs.h"

#include <QDir>
#include <QStorageInfo>

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmPathLogs", "Velmorado 1.0c", "Velmorado 1.0c"},
    {"chkLogs", "Archiver quotidiennement les traitements effectués",
     "Archive compress/uncompress operations in daily Log files"},
    {"chkFichiersLogs", "Journaliser les noms des fichiers traités",
     "Record files names in Log files"},
    {"lblTitre",
     "Les journaux sont stockés dans le dossier:", "Log files are stored in the following folder"},
    {"cmdOK", "&OK", "&OK"},
    {"cmdAnnuler", "&Annuler", "&Cancel"},
};

// A volume's entry: its mount point, then its name where it has one. The
// mount point alone is what the entry stands for (kept as the item's data).
QString driveText(const QStorageInfo& volume) {
    const QString name =
        volume.name().isEmpty() ? QString::fromLocal8Bit(volume.device()) : volume.name();
    return name.isEmpty() ? volume.rootPath()
                          : volume.rootPath() + QStringLiteral("  [") + name + QLatin1Char(']');
}

} // namespace

std::span<const Caption> frmPathLogs::captions() {
    return kCaptions;
}

frmPathLogs::frmPathLogs(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmPathLogs>()) {
    m_ui->setupUi(this);
    applyCaptions(this, kCaptions, config::language());
    const config::Settings& s = config::settings();
    m_ui->chkLogs->setChecked(s.logs);
    m_ui->chkFichiersLogs->setChecked(s.fichiersLogs);
    chkLogs_Click();
    // The volumes, then the log folder; where it cannot be shown the tree
    // stays on the process's current folder.
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) {
            m_ui->Lecteurs->addItem(driveText(volume), volume.rootPath());
        }
    }
    m_ui->Chemins->setCurrentFolder(QDir::currentPath());
    m_ui->Chemins->setCurrentFolder(s.pathLogs);
    selectDriveOf(m_ui->Chemins->currentFolder());
    // lblDossier follows the opened folder from now on.
    m_ui->lblDossier->setText(m_ui->Chemins->currentFolder());
    connect(m_ui->Chemins, &FolderTree::currentFolderChanged, m_ui->lblDossier, &QLabel::setText);

    connect(m_ui->chkLogs, &QCheckBox::clicked, this, &frmPathLogs::chkLogs_Click);
    connect(m_ui->Lecteurs, &QComboBox::activated, this, &frmPathLogs::Lecteurs_Change);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmPathLogs::cmdOK_Click);
    connect(m_ui->cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
}

frmPathLogs::~frmPathLogs() = default;

void frmPathLogs::chkLogs_Click() {
    const bool on = m_ui->chkLogs->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(m_ui->chkFichiersLogs), static_cast<QWidget*>(m_ui->lblTitre),
          static_cast<QWidget*>(m_ui->Lecteurs), static_cast<QWidget*>(m_ui->Chemins),
          static_cast<QWidget*>(m_ui->lblDossier)}) {
        control->setEnabled(on);
    }
}

void frmPathLogs::selectDriveOf(const QString& folder) {
    const QString root = QStorageInfo(folder).rootPath();
    int index = m_ui->Lecteurs->findData(root);
    if (index < 0 && !root.isEmpty()) {
        m_ui->Lecteurs->addItem(root, root);
        index = m_ui->Lecteurs->count() - 1;
    }
    m_ui->Lecteurs->setCurrentIndex(index);
}

void frmPathLogs::Lecteurs_Change() {
    // A volume has no current folder of its own: the tree goes to its top.
    // One that cannot be listed puts the list back, without a word.
    const QString root = m_ui->Lecteurs->currentData().toString();
    if (!m_ui->Chemins->setCurrentFolder(root)) {
        selectDriveOf(m_ui->Chemins->currentFolder());
    }
}

void frmPathLogs::cmdOK_Click() {
    config::Settings& s = config::settings();
    // The caller ticks mnuDefinirLogs from the stored flag.
    s.logs = m_ui->chkLogs->isChecked();
    config::WriteSetting(config::kSectionLogs, config::keys::kLogs, config::flagText(s.logs));
    // Stored also when its box is greyed.
    s.fichiersLogs = m_ui->chkFichiersLogs->isChecked();
    config::WriteSetting(config::kSectionLogs, config::keys::kFichiersLogs,
                         config::flagText(s.fichiersLogs));
    // The opened folder, not one merely highlighted.
    const QString folder = m_ui->Chemins->currentFolder();
    if (!folder.isEmpty()) {
        s.pathLogs = folder;
        config::WriteSetting(config::kSectionLogs, config::keys::kPathLogs, folder);
    }
    accept();
}

} // namespace ui
