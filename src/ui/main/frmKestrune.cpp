#include "ui/main/frmKestrune.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "engine/WaitCauses.h"
#include "platform/SystemInfo.h"
#include "service/ServiceControl.h"
#include "ui/common/DesktopNotice.h"
#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/ServiceBoxes.h"
#include "ui/dialogs/frmAdminService.h"
#include "ui/dialogs/frmAide.h"
#include "ui/dialogs/frmAvertirDossierErr.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPerformance.h"
#include "ui/dialogs/frmPrefixeCible.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/dialogs/frmVoirLogs.h"
#include "ui/main/Activation.h"
#include "ui/main/Dialogs.h"
#include "ui/main/FileLists.h"
#include "ui/main/PairGrid.h"
#include "ui/main/PathLabel.h"
#include "ui/main/UiSupport.h"
#include "ui/main/frmAbout.h"
#include "ui/main/frmSplash.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace ui {

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// Every caption that does not follow the window's state: menus in menu
// order (the Modify menus' entries and the File menu's log entry repeat the
// captions of their twins), then labels, frames and buttons. The title,
// lblOvelo, lblMode, the counts, the summaries and the start/stop texts are
// written where they change.
const Caption kCaptions[] = {
    {"mnuFichier", "&Fichier", "&File"},
    {"mnuDemarrer", "&Démarrer la compression/décompression", "&Start processing"},
    {"mnuFichierVoirLogs", "&Voir les journaux d'archivage des traitements effectués",
     "&Check Logs"},
    {"mnuRestaurer", "&Restaurer la fenêtre principale", "Show main &window"},
    {"mnuQuitter", "&Quitter", "&Exit"},
    {"mnuDossiers", "&Dossiers", "&Folders"},
    {"mnuAjouterSource", "Ajouter un dossier source", "Add source folder"},
    {"mnuAjouterSourceParcourir", "Parcourir", "Browse"},
    {"mnuAjouterSourceSaisir", "Saisir", "Type"},
    {"mnuModifierSource", "Modifier un dossier source", "Modify source folder"},
    {"mnuModifierSourceParcourir", "Parcourir", "Browse"},
    {"mnuModifierSourceSaisir", "Saisir", "Type"},
    {"mnuModifierCible", "Modifier un dossier cible", "Modify target folder"},
    {"mnuModifierCibleParcourir", "Parcourir", "Browse"},
    {"mnuModifierCibleSaisir", "Saisir", "Type"},
    {"mnuSupprimerDossiers", "Supprimer un couple de dossiers", "Remove a couple of folders"},
    {"mnuConfiguration", "Configuration", "Configuration"},
    {"mnuTempo", "Régler la &temporisation par défaut entre les traitements",
     "Set default &time between two compress/uncompress operations"},
    {"mnuPerformance", "Régler la &performance", "Set &performance"},
    {"mnuPrefixe", "Préfixe des fichiers compressés", "Compressed files prefix (2 chars)"},
    {"mnuVoirConsoleRAR", "Afficher la console RAR", "Display RAR console"},
    {"mnuFormatRar5", "Archives pour postes Windows (RAR 5)",
     "Archives for Windows machines (RAR 5)"},
    {"mnuDossierErr", "Avertir lorsqu'un dossier est inconnu", "Warning on unknown folder"},
    {"mnuAfficherFichiers", "&Afficher les fichiers des dossiers sélectionnés",
     "Display &files in the selected folders (toggle)"},
    {"mnuAutomatique", "Démarrer automatiquement au lancement du &programme",
     "&Automatic start up"},
    {"mnuArretAutomatique", "Arrêter le programme après le premier traitement",
     "Stop program after the first compress/uncompress operation"},
    {"mnuService", "Installer/supprimer Velmorado Service [NT]",
     "Install/remove Velmorado Service [NT]"},
    {"mnuLogs", "&Journaux", "&Logs"},
    {"mnuDefinirLogs", "&Archiver les traitements effectués",
     "&Archive compress/uncompress operations in Log files"},
    {"mnuVoirLogs", "&Voir les journaux d'archivage des traitements effectués", "&Check Logs"},
    {"mnuPurgeLogs", "&Effacer automatiquement les journaux", "&Remove Log files automatically"},
    {"mnuLangue", "&Langue", "&Language"},
    {"mnuAnglais", "&English", "&English"},
    {"mnuFrancais", "&Français", "&Français"},
    {"mnuAbout", "&?", "&?"},
    {"mnuAide", "&Aide", "&Help"},
    {"mnuAPropos", "A &propos de...", "&About..."},
    {"lblDossiersSources", "Dossiers sources", "Source folders"},
    {"lblDossiersCibles", "Dossiers cibles", "Target folders"},
    {"lblAttente", "Attente", "Wait"},
    {"lblCopie", "Rar/Unrar", "Rar/Unrar"},
    {"lblClic", "Cliquer sur l'icône centrale pour modifier",
     "Click on central icon to modify settings"},
    {"lblLegende1", "Compression", "Compress"},
    {"lblLegende2", "Décompression", "Uncompress"},
    {"lblDisable", "Compression/décompression inactive", "Compress/uncompress disable"},
    {"lblLegende3", "F1: voir les journaux d'archivage", "F1: check Logs"},
    {"lblLegende4", "F2: afficher les fichiers des dossiers sélectionnés",
     "F2: display files in the selected folders (toggle)"},
    {"lblBulle1", "1 - langue et configuration", "1 - set language and configuration"},
    {"lblBulle2", "2 - définir les dossiers", "2 - define folders"},
    {"lblBulle3", "3 - démarrer", "3 - start"},
    {"frameLegende", "Réglages", "Settings"},
    {"FrameSourcesCibles", "Sources et cibles", "Source and target"},
    {"FrameSources", "Sources", "Source"},
    {"FrameCibles", "Cibles", "Target"},
    {"cmdAjouterDossierSource", "Ajouter", "Add"},
    {"cmdSupprimer", "Supprimer", "Remove"},
    {"cmdModifierDossierSource", "Modifier", "Modify"},
    {"cmdModifierDossierCible", "Modifier", "Modify"},
};

} // namespace

frmKestrune::frmKestrune(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent),
      m_programFolder(programFolder.isEmpty() ? platform::executableDir() : programFolder) {
    setObjectName(QStringLiteral("frmKestrune"));
    m_iconStart = programIcon("start");
    m_iconStop = programIcon("stop");
    m_iconApp = programIcon("application");
    m_iconService = programIcon("service");
    m_iconTray = programIcon("velmorado");
    m_iconTrayRunning = programIcon("velmorado-running");
    m_iconCompress = programIcon("compress");
    m_iconUncompress = programIcon("uncompress");
    m_iconMac = programIcon("macvolume");
    setWindowIcon(m_iconTray);
    m_service = new service::ServiceControl(this);
    m_scheduler = std::make_unique<engine::Scheduler>(*this);
    m_scheduler->runningAsService = [this] {
        return m_service->Installed() && m_service->RunningAsService();
    };
    m_scheduler->writeEventLog = [](const QString& text, int type) {
        service::ServiceControl::WriteEventLog(text, type);
    };
    setupUi(this);
    buildControls();
    connectMenus();
    resolveEngineControls();
    connectGridEvents();
}

frmKestrune::~frmKestrune() {
    delete m_logViewer;
    removeTrayIcon();
    delete m_splash;
}

// ---------------------------------------------------------------- building

void frmKestrune::buildControls() {
    QFont big = lblOvelo->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    lblOvelo->setFont(big);
    PictureMode->setPixmap(m_iconApp.pixmap(32, 32));
    PictureSetGris->setPixmap(m_iconCompress.pixmap(24, 24, QIcon::Disabled));
    PictureSetGrisMod->setPixmap(m_iconUncompress.pixmap(24, 24, QIcon::Disabled));
    QPalette grey = lblDisable->palette();
    grey.setColor(QPalette::WindowText, PairGrid::kDisabledGrey);
    lblDisable->setPalette(grey);
    cmdMiroir->setIcon(m_iconStart);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { m_scheduler->tick(); });
    connect(cmdMiroir, &QToolButton::clicked, this, [this] { m_scheduler->startStop(); });
}

void frmKestrune::connectMenus() {
    // The dialogs' own check marks are set by the dialogs; a click must not flip them.
    for (QAction* dialogEntry : {mnuDossierErr, mnuDefinirLogs, mnuPurgeLogs}) {
        connect(dialogEntry, &QAction::triggered, this,
                [dialogEntry](bool checked) { dialogEntry->setChecked(!checked); });
    }
    connect(mnuDemarrer, &QAction::triggered, this, [this] { m_scheduler->startStop(); });
    connect(mnuQuitter, &QAction::triggered, this, &frmKestrune::mnuQuitter_Click);
    connect(mnuRestaurer, &QAction::triggered, this, &frmKestrune::restoreWindow);
    connect(mnuVoirConsoleRAR, &QAction::triggered, this, [this] {
        toggleFlag(mnuVoirConsoleRAR, config::settings().voirConsoleRar,
                   config::keys::kVoirConsoleRar);
    });
    connect(mnuFormatRar5, &QAction::triggered, this, [this] {
        toggleFlag(mnuFormatRar5, config::settings().formatRar5, config::keys::kFormatRar5);
    });
    connect(mnuAutomatique, &QAction::triggered, this, [this] {
        toggleFlag(mnuAutomatique, config::settings().automatique, config::keys::kAutomatique);
    });
    connect(mnuArretAutomatique, &QAction::triggered, this, [this] {
        toggleFlag(mnuArretAutomatique, config::settings().arretAutomatique,
                   config::keys::kArretAutomatique);
    });
    connect(mnuFrancais, &QAction::triggered, this, [this] { setLanguage(1); });
    connect(mnuAnglais, &QAction::triggered, this, [this] { setLanguage(0); });
    connect(mnuAide, &QAction::triggered, this, &frmKestrune::openHelp);
    connect(mnuAPropos, &QAction::triggered, this, &frmKestrune::showAbout);
    connect(mnuService, &QAction::triggered, this, &frmKestrune::mnuService_Click);
    connectSettingsDialogs();
}

void frmKestrune::connectSettingsDialogs() {
    const auto modal = [this]<typename D>(D*) {
        D dialog(this);
        return dialog.exec() == QDialog::Accepted;
    };
    connect(mnuTempo, &QAction::triggered, this, &frmKestrune::mnuTempo_Click);
    connect(mnuPerformance, &QAction::triggered, this,
            [modal] { modal(static_cast<frmPerformance*>(nullptr)); });
    connect(mnuPrefixe, &QAction::triggered, this,
            [modal] { modal(static_cast<frmPrefixeCible*>(nullptr)); });
    // The check marks follow what OK stored (a click has already put them back).
    connect(mnuDossierErr, &QAction::triggered, this, [this, modal] {
        if (modal(static_cast<frmAvertirDossierErr*>(nullptr))) {
            const config::Settings& s = config::settings();
            mnuDossierErr->setChecked(s.erreurDossier || s.erreurDossierSon ||
                                      s.erreurDossierNetSend);
        }
    });
    connect(mnuDefinirLogs, &QAction::triggered, this, [this, modal] {
        if (modal(static_cast<frmPathLogs*>(nullptr))) {
            mnuDefinirLogs->setChecked(config::settings().logs);
        }
    });
    connect(mnuPurgeLogs, &QAction::triggered, this, [this, modal] {
        if (modal(static_cast<frmPurgeLogs*>(nullptr))) {
            mnuPurgeLogs->setChecked(config::settings().purgeLogs);
        }
    });
    connect(mnuVoirLogs, &QAction::triggered, this, &frmKestrune::mnuVoirLogs_Click);
    connect(mnuFichierVoirLogs, &QAction::triggered, this, &frmKestrune::mnuVoirLogs_Click);
}

void frmKestrune::mnuTempo_Click() {
    frmTempo dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // The wait bar and the countdown start again from the new wait.
    const qint32 tempo = config::settings().temporisation;
    ProgressBarAttente->setMaximum(tempo < 2 ? 1 : tempo - 1);
    engine::state().countdown = tempo;
}

void frmKestrune::mnuVoirLogs_Click() {
    if (m_logViewer && m_logViewer->isVisible()) {
        minimiseToTray();
        m_logViewer->showNormal();
        return;
    }
    delete m_logViewer;
    m_logViewer = new frmVoirLogs(this, [this] { restoreWindow(); });
    m_logViewer->setAttribute(Qt::WA_DeleteOnClose);
    m_logViewer->show();
}

// ---------------------------------------------------------------- start-up

void frmKestrune::prepare() {
    setWindowTitle(config::productAndVersion());
    lblOvelo->setText(config::productAndVersion());
    lstDossiers->setDescribedRow(-1);
    // The title bar's close button and Alt+F4 put the window away
    // (closeEvent); only the Exit entry ends the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
}

void frmKestrune::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void frmKestrune::showRunMode(bool service) {
    showMode(service);
    if (service && ServiceBoxes::unseen()) {
        setDialogs(std::make_unique<ServiceBoxes>());
    }
    mnuQuitter->setEnabled(!service);
}

void frmKestrune::applySettings() {
    applySettingsToWindow();
    // The tray icon and its tip.
    m_trayTip = config::productAndVersion();
    m_tray = new QSystemTrayIcon(m_iconTray, this);
    m_tray->setObjectName(QStringLiteral("PictureVelmorado"));
    m_tray->setToolTip(m_trayTip);
    m_tray->setContextMenu(nullptr);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A single click toggles the window, as Linux desktops expect.
                // A double click begins with a click that already did: it
                // toggles only when no click came just before it.
                if (reason == QSystemTrayIcon::Trigger) {
                    m_lastTrayClick.start();
                    toggleWindow();
                } else if (reason == QSystemTrayIcon::DoubleClick) {
                    if (!m_lastTrayClick.isValid() ||
                        m_lastTrayClick.elapsed() > QApplication::doubleClickInterval()) {
                        toggleWindow();
                    }
                } else if (reason == QSystemTrayIcon::Context) {
                    updateTrayMenuEntries();
                    mnuFichier->popup(QCursor::pos());
                }
            });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray->show();
    }
    // The wait bar follows the temporisation.
    const int tempo = config::settings().temporisation;
    ProgressBarAttente->setRange(0, tempo < 2 ? 1 : tempo - 1);
    ProgressBarAttente->setValue(0);
    AppliquerLangue(config::language());
    cmdMiroir->setIcon(m_iconStart);
}

void frmKestrune::showWindow(bool canStart) {
    if (!canStart) {
        cmdMiroir->setEnabled(false);
        mnuDemarrer->setEnabled(false);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    reloadFolderPairs();
    QApplication::restoreOverrideCursor();
    resizeForOpening();
    show();
    keepWithinScreen();
    if (QWindow* handle = windowHandle()) {
        connect(handle, &QWindow::screenChanged, this, &frmKestrune::keepWithinScreen);
    }
    // The window manager's frame is known only once it has framed the window.
    QTimer::singleShot(500, this, &frmKestrune::keepWithinScreen);
}

void frmKestrune::showStartNotice() {
    showMessageWindow(
        config::pickText("Appuyer sur la touche 'Esc' pour afficher la fenêtre principale",
                         "Type key 'Esc' to display the main window"));
}

void frmKestrune::showMessage(Box box, const QString& title, const QString& text) {
    dialogs().message(this,
                      box == Box::Critical ? Dialogs::Icon::Critical : Dialogs::Icon::Exclamation,
                      title, text);
}

bool frmKestrune::askYesNo(const QString& question) {
    return dialogs().question(this, config::kProductName, question);
}

bool frmKestrune::hasScreen() const {
    return dialogs().answerable();
}

void frmKestrune::showMode(bool service) {
    PictureMode->setPixmap((service ? m_iconService : m_iconApp).pixmap(32, 32));
    lblMode->setText(service ? QStringLiteral("Service") : QStringLiteral("Application"));
    PictureMode->setToolTip(service ? QStringLiteral("Velmorado Service")
                                    : QStringLiteral("Velmorado Application"));
}

void frmKestrune::mnuService_Click() {
    frmAdminService::Hooks hooks;
    hooks.showMode = [this](bool service) { showMode(service); };
    hooks.beep = [this] { beep(); };
    hooks.endProgram = [this] { leaveEventLoop(); };
    frmAdminService dialog(*m_service, std::move(hooks), this);
    dialog.exec();
}

void frmKestrune::leaveEventLoop() {
    removeTrayIcon();
    Q_EMIT programEnding(0);
    QCoreApplication::exit(0);
}

void frmKestrune::applySettingsToWindow() {
    const config::Settings& s = config::settings();
    mnuVoirConsoleRAR->setChecked(s.voirConsoleRar);
    mnuFormatRar5->setChecked(s.formatRar5);
    mnuAfficherFichiers->setChecked(s.afficherFichiers);
    lstFichiersSources->setVisible(s.afficherFichiers);
    lstFichiersCibles->setVisible(s.afficherFichiers);
    lblNbFichiersSources->setVisible(s.afficherFichiers);
    lblNbFichiersCibles->setVisible(s.afficherFichiers);
    frameLegende->setVisible(!s.afficherFichiers);
    mnuAutomatique->setChecked(s.automatique);
    mnuArretAutomatique->setChecked(s.arretAutomatique);
    mnuDossierErr->setChecked(s.erreurDossier || s.erreurDossierSon || s.erreurDossierNetSend);
    mnuDefinirLogs->setChecked(s.logs);
    mnuPurgeLogs->setChecked(s.purgeLogs);
}

void frmKestrune::reloadFolderPairs() {
    lstDossiers->fill(config::LoadFolderPairs());
    afterGridFill();
}

// ---------------------------------------------------------------- language

std::span<const Caption> frmKestrune::captions() {
    return kCaptions;
}

void frmKestrune::AppliquerLangue(int language) {
    config::setLanguage(language);
    const bool fr = config::isFrench(language);
    // The counts and the summary go; shown counts come back below in this language.
    const bool countsShown[] = {!lblNbFichiersSources->text().isEmpty(),
                                !lblNbFichiersCibles->text().isEmpty()};
    lblNbFichiersSources->clear();
    lblNbFichiersCibles->clear();
    lblMessage->clear();
    mnuFrancais->setChecked(fr);
    mnuAnglais->setChecked(!fr);
    // Menus, labels, frames and buttons.
    applyCaptions(this, kCaptions, language);
    cmdMiroir->setToolTip(config::pickText("Démarre la compression/décompression",
                                           "Start compress/uncompress operations"));
    // The file lists kept their entries: their counts are written again in
    // this language, and the next pointer move describes its pair afresh.
    for (int side : {1, 2}) {
        if (countsShown[side - 1]) {
            writeFileCount(side);
        }
    }
    lstDossiers->setDescribedRow(-1);
}

void frmKestrune::setLanguage(int language) {
    AppliquerLangue(language);
    config::WriteSetting(config::kSectionConfiguration, config::keys::kLangue,
                         QString::number(language));
}

void frmKestrune::toggleFlag(QAction* action, bool& flag, QLatin1StringView key) {
    // The action has already flipped its own check mark.
    flag = action->isChecked();
    config::WriteSetting(config::kSectionConfiguration, key, config::flagText(flag));
}

// ---------------------------------------------------------------- shutdown

void frmKestrune::mnuQuitter_Click() {
    if (!dialogs().question(this, config::kProductName,
                            config::pickText("Quitter le programme", "Exit program"))) {
        return;
    }
    leaveEventLoop();
}

void frmKestrune::closeEvent(QCloseEvent* event) {
    // The close button and Alt+F4 put the window away: into the tray where
    // there is one (as minimising does), else minimised. The only ways out
    // are the Exit entry, with its question, and the automatic stop.
    event->ignore();
    minimiseToTray();
}

void frmKestrune::removeTrayIcon() {
    if (m_tray) {
        m_tray->hide();
        delete m_tray;
        m_tray = nullptr;
    }
}

// ---------------------------------------------------------------- window and tray

void frmKestrune::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        // Minimising hides the window in the tray, where there is one to bring
        // it back. It goes there withdrawn, not minimised: a minimise the
        // program asked for leaves the window marked iconic for the window
        // manager, which would map it iconic again when the tray shows it
        // (and it would come straight back here).
        if ((windowState() & Qt::WindowMinimized) && QSystemTrayIcon::isSystemTrayAvailable()) {
            QTimer::singleShot(0, this, [this] { withdrawIntoTray(50); });
        }
        updateTrayMenuEntries();
    }
}

void frmKestrune::withdrawIntoTray(int triesLeft) {
    if (!(windowState() & Qt::WindowMinimized)) {
        return;
    }
    // Undoing the minimise maps the window for a moment before the withdraw.
    // Done while the window manager is still carrying out a minimise the
    // program asked for (showMinimized), it sometimes left the window on the
    // screen, managed and shown, while the program held it hidden in the tray
    // (about one such minimise in sixty under openbox). So the window first
    // waits, a second at most, until the manager has taken it off the screen,
    // as it already has when the user minimised it.
    const QWindow* handle = windowHandle();
    if (handle && handle->isExposed() && triesLeft > 0) {
        QTimer::singleShot(20, this, [this, triesLeft] { withdrawIntoTray(triesLeft - 1); });
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
    updateTrayMenuEntries();
}

void frmKestrune::updateTrayMenuEntries() {
    const bool hidden = !isVisible();
    mnuFichierVoirLogs->setVisible(hidden);
    mnuRestaurer->setVisible(hidden);
}

void frmKestrune::resizeForOpening() {
    // The caption whole in the title bar (with room for the window
    // manager's buttons), the grid's rows, and both file lists even when
    // they are off for now and the smaller legend stands in their place.
    ensurePolished();
    // Measured with the lists in the legend's place (the window is not
    // shown yet, so nothing flickers), then put back as the setting says.
    const bool listsOn = lstFichiersSources->isVisibleTo(this);
    const bool legendOn = frameLegende->isVisibleTo(this);
    const QList<QWidget*> lists{lstFichiersSources, lstFichiersCibles, lblNbFichiersSources,
                                lblNbFichiersCibles};
    for (QWidget* w : lists) {
        w->setVisible(true);
    }
    frameLegende->setVisible(false);
    if (QLayout* l = layout()) {
        l->activate();
    }
    QSize size = sizeHint();
    for (QWidget* w : lists) {
        w->setVisible(listsOn);
    }
    frameLegende->setVisible(legendOn);
    QFont captionFont = font();
    captionFont.setBold(true);
    const int caption = QFontMetrics(captionFont).horizontalAdvance(windowTitle()) + 160;
    size.setWidth(std::max(size.width(), caption));
    if (const QScreen* s = screen()) {
        size = size.boundedTo(s->availableGeometry().size());
    }
    resize(size);
}

void frmKestrune::keepWithinScreen() {
    const QScreen* s = screen();
    if (!s) {
        return;
    }
    // What the window manager adds around the window, known once it is shown.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize room = s->availableGeometry().size() - frame;
    setMaximumSize(std::max(room.width(), minimumSizeHint().width()),
                   std::max(room.height(), minimumSizeHint().height()));
}

void frmKestrune::minimiseToTray() {
    // Into the tray the window is only withdrawn, never iconified first:
    // asking the window manager to iconify it and withdrawing it at once
    // races the manager, which may still hold the window iconic when the tray
    // maps it again; Qt then reports it minimised and changeEvent hides it,
    // so that the click on the icon shows nothing. Without a tray the window
    // manager's iconify is the only way to put it away.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
    } else {
        showMinimized();
    }
    updateTrayMenuEntries();
}

void frmKestrune::restoreWindow() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
    updateTrayMenuEntries();
}

void frmKestrune::raiseOnRequest(const QString& activationToken, const QString& startupId) {
    raiseWithActivation(this, activationToken, startupId, [this] { restoreWindow(); });
}

void frmKestrune::toggleWindow() {
    if (!isVisible() || (windowState() & Qt::WindowMinimized)) {
        restoreWindow();
    } else {
        minimiseToTray();
    }
}

void frmKestrune::openHelp() {
    const QString file = m_programFolder + (config::isFrench(config::language())
                                                ? QStringLiteral("/VelmoradoHelpFR.htm")
                                                : QStringLiteral("/VelmoradoHelpEN.htm"));
    if (QFileInfo::exists(file)) {
        // No program for it (or none that could open it): the page in our own window.
        OuvrirDocument(file, [self = QPointer<frmKestrune>(this), file] {
            if (!self) {
                return;
            }
            if (!self->m_helpWindow) {
                self->m_helpWindow = new frmAide(self);
            }
            self->m_helpWindow->showPage(file);
        });
    } else {
        dialogs().message(this, Dialogs::Icon::Information, config::kProductName,
                          config::pickText("La documentation n'est pas encore disponible...",
                                           "Documentation not yet available..."));
    }
}

void frmKestrune::showAbout() {
    frmAbout about(this);
    about.exec();
}

// ---------------------------------------------------------------- engine side

void frmKestrune::resolveEngineControls() {
    for (const engine::ControlEntry& entry : engine::controlTable()) {
        const QString name = QString::fromLatin1(entry.name);
        EngineControl& c = m_engineControls[std::size_t(entry.control)];
        switch (entry.kind) {
        case engine::ControlKind::Label:
            c.label = findChild<QLabel*>(name);
            break;
        case engine::ControlKind::Bar:
            c.bar = findChild<QProgressBar*>(name);
            break;
        case engine::ControlKind::Switch:
            // A menu is switched with its entry in the bar.
            c.action = findChild<QAction*>(name);
            if (c.action) {
                break;
            }
            if (auto* menu = findChild<QMenu*>(name)) {
                c.widget = menu;
                c.action = menu->menuAction();
            } else {
                c.widget = findChild<QWidget*>(name);
            }
            break;
        }
        if (!c.label && !c.bar && !c.action && !c.widget) {
            qFatal("frmKestrune: no control of the right kind is named %s", entry.name);
        }
    }
}

void frmKestrune::setLabelText(engine::Control control, const QString& text) {
    QLabel* label = m_engineControls[std::size_t(control)].label;
    Q_ASSERT(label);
    label->setText(text);
    label->repaint();
}

void frmKestrune::setBarValue(engine::Control control, int value) {
    QProgressBar* bar = m_engineControls[std::size_t(control)].bar;
    Q_ASSERT(bar);
    bar->setValue(qBound(bar->minimum(), value, bar->maximum()));
}

void frmKestrune::setBarRange(engine::Control control, int minimum, int maximum) {
    QProgressBar* bar = m_engineControls[std::size_t(control)].bar;
    Q_ASSERT(bar);
    bar->setRange(minimum, qMax(minimum, maximum));
}

void frmKestrune::setControlEnabled(engine::Control control, bool enabled) {
    const EngineControl& c = m_engineControls[std::size_t(control)];
    if (c.action) {
        c.action->setEnabled(enabled);
    }
    if (c.widget) {
        c.widget->setEnabled(enabled);
    }
}

void frmKestrune::showRunningState(bool running) {
    if (running) {
        // The pass's summary takes the label in its ordinary colour, whatever
        // pair description was drawn there last.
        lblMessage->setPalette(QPalette());
        cmdMiroir->setToolTip(config::pickText("Arrêter le traitement", "Stop processing"));
        mnuDemarrer->setText(config::pickText("&Arrêter le traitement", "&Stop processing"));
        cmdMiroir->setIcon(m_iconStop);
    } else {
        cmdMiroir->setToolTip(config::pickText("Démarrer la compression/décompression",
                                               "Start compress/uncompress operations"));
        mnuDemarrer->setText(config::pickText("&Démarrer la compression/décompression",
                                              "&Start compress/uncompress operations"));
        cmdMiroir->setIcon(m_iconStart);
    }
    m_running = running;
    if (m_tray) {
        m_tray->setIcon(running ? m_iconTrayRunning : m_iconTray);
    }
}

void frmKestrune::setTimerOn(bool on) {
    if (on) {
        Timer1->start();
    } else {
        Timer1->stop();
    }
}

void frmKestrune::setTrayTip(const QString& tip) {
    m_trayTip = tip;
    if (m_tray) {
        m_tray->setIcon(m_running ? m_iconTrayRunning : m_iconTray);
        m_tray->setToolTip(tip);
    }
    // Files that wait stay in the tip, whatever the state.
    if (auto* waiting = findChild<QLabel*>(QStringLiteral("lblEnAttente"))) {
        setWaitingSummary(waiting->text());
    }
}

// Files that wait, and why: a line at the foot of the window (shown only
// while something waits) and a second line in the tray tip.
void frmKestrune::setWaitingSummary(const QString& summary) {
    auto* line = findChild<QLabel*>(QStringLiteral("lblEnAttente"));
    if (line == nullptr && !summary.isEmpty()) {
        line = named(new QLabel(this), "lblEnAttente");
        line->setWordWrap(true);
        statusBar()->addWidget(line, 1);
    }
    if (line != nullptr) {
        line->setText(summary);
        statusBar()->setVisible(!summary.isEmpty());
    }
    if (m_tray) {
        m_tray->setToolTip(summary.isEmpty() ? m_trayTip : m_trayTip + QLatin1Char('\n') + summary);
    }
    // One tray notification for each cause as it starts; a cause that cleared
    // may be told again when it comes back.
    const QMap<QString, QString> notices = engine::waitCauses().notices(config::language());
    const QSet<QString> told = m_waitCauses;
    for (const QString& cause : told) {
        if (!notices.contains(cause)) {
            clearWaitNotice(cause);
        }
    }
    for (auto it = notices.cbegin(); it != notices.cend(); ++it) {
        showWaitNotice(it.key(), it.value());
    }
}

void frmKestrune::showWaitNotice(const QString& cause, const QString& text) {
    if (m_waitCauses.contains(cause)) {
        return; // already told while this cause lasts
    }
    m_waitCauses.insert(cause);
    // Through the desktop's notification service; the tray's balloon only
    // where none answers.
    notifyDesktop(config::kProductName, text, [tray = QPointer<QSystemTrayIcon>(m_tray), text] {
        if (tray && tray->isVisible()) {
            tray->showMessage(config::kProductName, text, QSystemTrayIcon::Warning);
        }
    });
    Q_EMIT waitNoticeShown(cause, text);
}

void frmKestrune::clearWaitNotice(const QString& cause) {
    m_waitCauses.remove(cause);
}

int frmKestrune::selectedPairNumber() const {
    if (lstDossiers->rowCount() == 0 || !lstDossiers->selectionMark()) {
        return 0;
    }
    return lstDossiers->pairNumber(lstDossiers->currentRow());
}

void frmKestrune::refreshFileList(int side, const QString& folder) {
    RemplirListeFichiers(side, folder);
}

void frmKestrune::showMessageWindow(const QString& text) {
    if (!m_splash) {
        m_splash = new frmSplash();
        connect(m_splash, &frmSplash::restoreMainWindowRequested, this,
                &frmKestrune::restoreWindow);
    }
    m_splash->setMessage(text);
    m_splash->present();
}

void frmKestrune::beep() {
    QApplication::beep();
}

void frmKestrune::restoreIfMinimised() {
    if (!isVisible() || (windowState() & Qt::WindowMinimized)) {
        restoreWindow();
    }
}

void frmKestrune::processEvents() {
    QCoreApplication::processEvents();
}

void frmKestrune::endProgram() {
    removeTrayIcon();
    QCoreApplication::processEvents();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace ui
