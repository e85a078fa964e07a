#include "ui/dialogs/frmPathLogs.h"

#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "platform/FileNames.h"
#include "ui/dialogs/FolderTree.h"
#include "ui/main/Dialogs.h"

#include "ui_frmPathLogs.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include <sys/stat.h>

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

// Both paths name the same folder: the same device and inode where both
// can be examined (a trailing slash, a link on the way, "." and ".." make no
// difference), the same clean absolute path otherwise.
bool sameFolder(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    if (::stat(platform::encodePath(a).constData(), &sa) == 0 &&
        ::stat(platform::encodePath(b).constData(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return QDir::cleanPath(QDir(a).absolutePath()) == QDir::cleanPath(QDir(b).absolutePath());
}

// The number of the first pair whose source or target is folder; 0 when none.
int pairUsing(const QString& folder) {
    const QVector<config::FolderPair>& pairs = config::folderPairs().pairs;
    for (int i = 0; i < pairs.size(); ++i) {
        for (const QString& end : {pairs[i].source, pairs[i].target}) {
            if (!end.isEmpty() && sameFolder(end, folder)) {
                return i + 1;
            }
        }
    }
    return 0;
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
    // The opened folder, not one merely highlighted.
    const QString folder = m_ui->Chemins->currentFolder();
    // Logs written into a folder of a pair would travel with its files: a
    // new archive at every pass, the far copy replaced each time.
    if (const int pair = folder.isEmpty() ? 0 : pairUsing(folder); pair > 0) {
        dialogs().message(
            this, Dialogs::Icon::Exclamation, config::productAndVersion(),
            config::pickText("Ce dossier est la source ou la cible du couple %1 : les journaux "
                             "ne peuvent pas y être rangés. Choisissez-en un autre.",
                             "This folder is the source or the target of pair %1: Log files "
                             "cannot be stored there. Choose another one.")
                    .arg(pair) +
                QStringLiteral("\r\n") + folder);
        return;
    }
    config::Settings& s = config::settings();
    // The caller ticks mnuDefinirLogs from the stored flag.
    s.logs = m_ui->chkLogs->isChecked();
    config::WriteSetting(config::kSectionLogs, config::keys::kLogs, config::flagText(s.logs));
    // Stored also when its box is greyed.
    s.fichiersLogs = m_ui->chkFichiersLogs->isChecked();
    config::WriteSetting(config::kSectionLogs, config::keys::kFichiersLogs,
                         config::flagText(s.fichiersLogs));
    if (!folder.isEmpty()) {
        s.pathLogs = folder;
        config::WriteSetting(config::kSectionLogs, config::keys::kPathLogs, folder);
    }
    accept();
}

} // namespace ui
