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
#include "ui/dialogs/ServiceBoxes.h"
#include "ui/dialogs/frmAdminService.h"
#include "ui/dialogs/frmAvertirDossierErr.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPerformance.h"
#include "ui/dialogs/frmPrefixeCible.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/dialogs/frmVoirLogs.h"
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

static void initResources() {
    Q_INIT_RESOURCE(velmorado);
}

namespace ui {

namespace {

const QColor kDisabledGrey(128, 128, 128);

QString tr2(const char* fr, const char* en) {
    return config::program().tr(QString::fromUtf8(fr), QString::fromUtf8(en));
}

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

frmKestrune::frmKestrune(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent),
      m_programFolder(programFolder.isEmpty() ? platform::executableDir() : programFolder) {
    initResources();
    setObjectName(QStringLiteral("frmKestrune"));
    m_iconStart = QIcon(QStringLiteral(":/icons/start.svg"));
    m_iconStop = QIcon(QStringLiteral(":/icons/stop.svg"));
    m_iconApp = QIcon(QStringLiteral(":/icons/application.svg"));
    m_iconService = QIcon(QStringLiteral(":/icons/service.svg"));
    m_iconTray = QIcon(QStringLiteral(":/icons/velmorado.svg"));
    m_iconTrayRunning = QIcon(QStringLiteral(":/icons/velmorado-running.svg"));
    m_iconCompress = QIcon(QStringLiteral(":/icons/compress.svg"));
    m_iconUncompress = QIcon(QStringLiteral(":/icons/uncompress.svg"));
    m_iconMac = QIcon(QStringLiteral(":/icons/macvolume.svg"));
    setWindowIcon(m_iconTray);
    m_service = new service::ServiceControl(this);
    m_scheduler = std::make_unique<engine::Scheduler>(*this);
    m_scheduler->runningAsService = [this] {
        return m_service->Installed() && m_service->RunningAsService();
    };
    m_scheduler->writeEventLog = [](const QString& text, int type) {
        service::ServiceControl::WriteEventLog(text, type);
    };
    buildControls();
    buildMenus();
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
    auto* central = named(new QWidget(this), "centralWidget");
    setCentralWidget(central);
    auto* root = new QVBoxLayout(central);

    auto* top = new QHBoxLayout;
    lblOvelo = named(new QLabel(central), "lblOvelo");
    QFont big = lblOvelo->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    lblOvelo->setFont(big);
    PictureMode = named(new QLabel(central), "PictureMode");
    PictureMode->setPixmap(m_iconApp.pixmap(32, 32));
    lblMode = named(new QLabel(QStringLiteral("Application"), central), "lblMode");
    top->addWidget(lblOvelo);
    top->addStretch();
    top->addWidget(PictureMode);
    top->addWidget(lblMode);
    root->addLayout(top);

    // Headings shown above the grid when there are pairs.
    auto* headings = new QHBoxLayout;
    lblDossiersSources = named(new QLabel(central), "lblDossiersSources");
    picFleche1 = named(new QLabel(QStringLiteral("\u2192"), central), "picFleche1");
    lblNbDossiers = named(new QLabel(QStringLiteral("0"), central), "lblNbDossiers");
    picFleche2 = named(new QLabel(QStringLiteral("\u2192"), central), "picFleche2");
    lblDossiersCibles = named(new QLabel(central), "lblDossiersCibles");
    headings->addWidget(lblDossiersSources, 1);
    headings->addWidget(picFleche1);
    headings->addWidget(lblNbDossiers);
    headings->addWidget(picFleche2);
    headings->addWidget(lblDossiersCibles, 1, Qt::AlignRight);
    root->addLayout(headings);

    // Hints shown instead when there is no pair.
    auto* hints = new QHBoxLayout;
    lblBulle1 = named(new QLabel(central), "lblBulle1");
    lblBulle2 = named(new QLabel(central), "lblBulle2");
    lblBulle3 = named(new QLabel(central), "lblBulle3");
    hints->addWidget(lblBulle1);
    hints->addWidget(lblBulle2);
    hints->addWidget(lblBulle3);
    root->addLayout(hints);
    LineBulle = named(new QFrame(central), "LineBulle");
    LineBulle->setFrameShape(QFrame::HLine);
    root->addWidget(LineBulle);

    lstDossiers = new PairGrid(central);
    lstDossiers->setMinimumHeight(140);
    root->addWidget(lstDossiers, 1);

    auto* buttons = new QHBoxLayout;
    FrameSourcesCibles = named(new QGroupBox(central), "FrameSourcesCibles");
    auto* fsc = new QHBoxLayout(FrameSourcesCibles);
    cmdAjouterDossierSource = named(new QPushButton(FrameSourcesCibles), "cmdAjouterDossierSource");
    cmdSupprimer = named(new QPushButton(FrameSourcesCibles), "cmdSupprimer");
    fsc->addWidget(cmdAjouterDossierSource);
    fsc->addWidget(cmdSupprimer);
    FrameSources = named(new QGroupBox(central), "FrameSources");
    auto* fs = new QHBoxLayout(FrameSources);
    cmdModifierDossierSource = named(new QPushButton(FrameSources), "cmdModifierDossierSource");
    fs->addWidget(cmdModifierDossierSource);
    FrameCibles = named(new QGroupBox(central), "FrameCibles");
    auto* fc = new QHBoxLayout(FrameCibles);
    cmdModifierDossierCible = named(new QPushButton(FrameCibles), "cmdModifierDossierCible");
    fc->addWidget(cmdModifierDossierCible);
    buttons->addWidget(FrameSources);
    buttons->addWidget(FrameSourcesCibles);
    buttons->addWidget(FrameCibles);
    root->addLayout(buttons);

    // File lists (AfficherFichiers) or the legend in the same place.
    auto* lists = new QGridLayout;
    lstFichiersSources = named(new QListWidget(central), "lstFichiersSources");
    lstFichiersCibles = named(new QListWidget(central), "lstFichiersCibles");
    lstFichiersSources->setSortingEnabled(true);
    lstFichiersCibles->setSortingEnabled(true);
    // Counts name their folder: long paths are elided, never widen the window.
    lblNbFichiersSources =
        named(new PathLabel(PathLabel::Mode::ElideMiddle, central), "lblNbFichiersSources");
    lblNbFichiersCibles =
        named(new PathLabel(PathLabel::Mode::ElideMiddle, central), "lblNbFichiersCibles");
    lists->addWidget(lstFichiersSources, 0, 0);
    lists->addWidget(lstFichiersCibles, 0, 1);
    lists->addWidget(lblNbFichiersSources, 1, 0);
    lists->addWidget(lblNbFichiersCibles, 1, 1);
    root->addLayout(lists);

    frameLegende = named(new QGroupBox(central), "frameLegende");
    auto* legend = new QGridLayout(frameLegende);
    PictureSetGris = named(new QLabel(frameLegende), "PictureSetGris");
    PictureSetGris->setPixmap(m_iconCompress.pixmap(24, 24, QIcon::Disabled));
    PictureSetGrisMod = named(new QLabel(frameLegende), "PictureSetGrisMod");
    PictureSetGrisMod->setPixmap(m_iconUncompress.pixmap(24, 24, QIcon::Disabled));
    lblLegende1 = named(new QLabel(frameLegende), "lblLegende1");
    lblLegende2 = named(new QLabel(frameLegende), "lblLegende2");
    lblLegende3 = named(new QLabel(frameLegende), "lblLegende3");
    lblLegende4 = named(new QLabel(frameLegende), "lblLegende4");
    lblDisable = named(new QLabel(frameLegende), "lblDisable");
    QFont struck = lblDisable->font();
    struck.setStrikeOut(true);
    lblDisable->setFont(struck);
    QPalette grey = lblDisable->palette();
    grey.setColor(QPalette::WindowText, kDisabledGrey);
    lblDisable->setPalette(grey);
    lblClic = named(new QLabel(frameLegende), "lblClic");
    QFont underlined = lblClic->font();
    underlined.setUnderline(true);
    lblClic->setFont(underlined);
    legend->addWidget(PictureSetGris, 0, 0);
    legend->addWidget(lblLegende1, 0, 1);
    legend->addWidget(PictureSetGrisMod, 1, 0);
    legend->addWidget(lblLegende2, 1, 1);
    legend->addWidget(lblDisable, 2, 1);
    legend->addWidget(lblClic, 0, 2);
    legend->addWidget(lblLegende3, 1, 2);
    legend->addWidget(lblLegende4, 2, 2);
    root->addWidget(frameLegende);

    // Processing: start/stop, the two bars and the summary.
    auto* run = new QGridLayout;
    cmdMiroir = named(new QToolButton(central), "cmdMiroir");
    cmdMiroir->setIcon(m_iconStart);
    cmdMiroir->setIconSize(QSize(40, 40));
    lblAttente = named(new QLabel(central), "lblAttente");
    lblCopie = named(new QLabel(central), "lblCopie");
    ProgressBarAttente = named(new QProgressBar(central), "ProgressBarAttente");
    ProgressBarCopie = named(new QProgressBar(central), "ProgressBarCopie");
    ProgressBarAttente->setTextVisible(false);
    ProgressBarCopie->setTextVisible(false);
    ProgressBarCopie->setRange(0, 1);
    ProgressBarCopie->setValue(0);
    lblTempo = named(new QLabel(central), "lblTempo");
    lblTempo->setMinimumWidth(60);
    run->addWidget(cmdMiroir, 0, 0, 2, 1);
    run->addWidget(lblAttente, 0, 1);
    run->addWidget(ProgressBarAttente, 0, 2);
    run->addWidget(lblCopie, 1, 1);
    run->addWidget(ProgressBarCopie, 1, 2);
    run->addWidget(lblTempo, 0, 3, 2, 1);
    root->addLayout(run);
    // Descriptions and summaries hold whole paths: wrapped anywhere, never
    // wider than the window.
    auto* message = named(new PathLabel(PathLabel::Mode::Wrap, central), "lblMessage");
    message->setReservedLines(4);
    lblMessage = message;
    root->addWidget(lblMessage);

    lblTestLongueur = named(new QLabel(central), "lblTestLongueur");
    lblTestLongueur->hide();

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { m_scheduler->tick(); });
    connect(cmdMiroir, &QToolButton::clicked, this, [this] { m_scheduler->startStop(); });
}

QAction* frmKestrune::addEntry(QMenu* menu, const char* name, bool checkable) {
    auto* action = named(new QAction(this), name);
    action->setCheckable(checkable);
    menu->addAction(action);
    return action;
}

QAction* frmKestrune::addSeparator(QMenu* menu, const char* name) {
    QAction* sep = menu->addSeparator();
    sep->setObjectName(QString::fromLatin1(name));
    return sep;
}

void frmKestrune::buildMenus() {
    QMenuBar* bar = menuBar();
    mnuFichier = named(new QMenu(this), "mnuFichier");
    bar->addMenu(mnuFichier);
    mnuDemarrer = addEntry(mnuFichier, "mnuDemarrer");
    mnuFichierVoirLogs = addEntry(mnuFichier, "mnuFichierVoirLogs");
    mnuRestaurer = addEntry(mnuFichier, "mnuRestaurer");
    addSeparator(mnuFichier, "SepF0");
    mnuQuitter = addEntry(mnuFichier, "mnuQuitter");

    mnuDossiers = named(new QMenu(this), "mnuDossiers");
    bar->addMenu(mnuDossiers);
    mnuAjouterSource = named(new QMenu(this), "mnuAjouterSource");
    mnuDossiers->addMenu(mnuAjouterSource);
    mnuAjouterSourceParcourir = addEntry(mnuAjouterSource, "mnuAjouterSourceParcourir");
    mnuAjouterSourceSaisir = addEntry(mnuAjouterSource, "mnuAjouterSourceSaisir");
    mnuModifierSource = named(new QMenu(this), "mnuModifierSource");
    mnuDossiers->addMenu(mnuModifierSource);
    mnuModifierSourceParcourir = addEntry(mnuModifierSource, "mnuModifierSourceParcourir");
    mnuModifierSourceSaisir = addEntry(mnuModifierSource, "mnuModifierSourceSaisir");
    addSeparator(mnuDossiers, "SepD0");
    mnuModifierCible = named(new QMenu(this), "mnuModifierCible");
    mnuDossiers->addMenu(mnuModifierCible);
    mnuModifierCibleParcourir = addEntry(mnuModifierCible, "mnuModifierCibleParcourir");
    mnuModifierCibleSaisir = addEntry(mnuModifierCible, "mnuModifierCibleSaisir");
    addSeparator(mnuDossiers, "SepD1");
    mnuSupprimerDossiers = addEntry(mnuDossiers, "mnuSupprimerDossiers");

    mnuConfiguration = named(new QMenu(this), "mnuConfiguration");
    bar->addMenu(mnuConfiguration);
    mnuTempo = addEntry(mnuConfiguration, "mnuTempo");
    mnuPerformance = addEntry(mnuConfiguration, "mnuPerformance");
    addSeparator(mnuConfiguration, "SepC1");
    mnuPrefixe = addEntry(mnuConfiguration, "mnuPrefixe");
    mnuVoirConsoleRAR = addEntry(mnuConfiguration, "mnuVoirConsoleRAR", true);
    addSeparator(mnuConfiguration, "SepC2");
    mnuDossierErr = addEntry(mnuConfiguration, "mnuDossierErr", true);
    addSeparator(mnuConfiguration, "SepC3");
    mnuAfficherFichiers = addEntry(mnuConfiguration, "mnuAfficherFichiers", true);
    mnuAfficherFichiers->setShortcut(QKeySequence(Qt::Key_F2));
    addSeparator(mnuConfiguration, "SepC4");
    mnuAutomatique = addEntry(mnuConfiguration, "mnuAutomatique", true);
    mnuArretAutomatique = addEntry(mnuConfiguration, "mnuArretAutomatique", true);
    addSeparator(mnuConfiguration, "SepC5");
    mnuService = addEntry(mnuConfiguration, "mnuService");

    mnuLogs = named(new QMenu(this), "mnuLogs");
    bar->addMenu(mnuLogs);
    mnuDefinirLogs = addEntry(mnuLogs, "mnuDefinirLogs", true);
    mnuVoirLogs = addEntry(mnuLogs, "mnuVoirLogs");
    mnuVoirLogs->setShortcut(QKeySequence(Qt::Key_F1));
    mnuPurgeLogs = addEntry(mnuLogs, "mnuPurgeLogs", true);

    mnuLangue = named(new QMenu(this), "mnuLangue");
    bar->addMenu(mnuLangue);
    mnuAnglais = addEntry(mnuLangue, "mnuAnglais", true);
    mnuFrancais = addEntry(mnuLangue, "mnuFrancais", true);

    mnuAbout = named(new QMenu(this), "mnuAbout");
    bar->addMenu(mnuAbout);
    mnuAide = addEntry(mnuAbout, "mnuAide");
    mnuAPropos = addEntry(mnuAbout, "mnuAPropos");

    // The dialogs' own check marks are set by the dialogs; a click must not flip them.
    for (QAction* dialogEntry : {mnuDossierErr, mnuDefinirLogs, mnuPurgeLogs}) {
        connect(dialogEntry, &QAction::triggered, this,
                [dialogEntry](bool checked) { dialogEntry->setChecked(!checked); });
    }
    connect(mnuDemarrer, &QAction::triggered, this, [this] { m_scheduler->startStop(); });
    connect(mnuQuitter, &QAction::triggered, this, &frmKestrune::mnuQuitter_Click);
    connect(mnuRestaurer, &QAction::triggered, this, &frmKestrune::restoreWindow);
    connect(mnuVoirConsoleRAR, &QAction::triggered, this, [this] {
        toggleFlag(mnuVoirConsoleRAR, config::settings().voirConsoleRar, "VoirConsoleRar");
    });
    connect(mnuAutomatique, &QAction::triggered, this,
            [this] { toggleFlag(mnuAutomatique, config::settings().automatique, "Automatique"); });
    connect(mnuArretAutomatique, &QAction::triggered, this, [this] {
        toggleFlag(mnuArretAutomatique, config::settings().arretAutomatique, "ArretAutomatique");
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
    m_logViewer = new frmVoirLogs(this);
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
    AppliquerLangue(config::program().language);
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
    showMessageWindow(tr2("Appuyer sur la touche 'Esc' pour afficher la fenêtre principale",
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
    // Qt's stand-ins for a screen show nothing to anybody.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
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

void frmKestrune::AppliquerLangue(int language) {
    config::program().language = language;
    const bool fr = language == 1;
    const auto t = [fr](const char* f, const char* e) { return QString::fromUtf8(fr ? f : e); };
    // 1.
    const bool countsShown[] = {!lblNbFichiersSources->text().isEmpty(),
                                !lblNbFichiersCibles->text().isEmpty()};
    lblNbFichiersSources->clear();
    lblNbFichiersCibles->clear();
    lblMessage->clear();
    // 2.
    mnuFrancais->setChecked(fr);
    mnuAnglais->setChecked(!fr);
    // 3. Menus, in menu order.
    mnuFichier->setTitle(t("&Fichier", "&File"));
    mnuDemarrer->setText(t("&Démarrer la compression/décompression", "&Start processing"));
    mnuRestaurer->setText(t("&Restaurer la fenêtre principale", "Show main &window"));
    mnuQuitter->setText(t("&Quitter", "&Exit"));
    mnuDossiers->setTitle(t("&Dossiers", "&Folders"));
    mnuAjouterSource->setTitle(t("Ajouter un dossier source", "Add source folder"));
    mnuAjouterSourceParcourir->setText(t("Parcourir", "Browse"));
    mnuAjouterSourceSaisir->setText(t("Saisir", "Type"));
    mnuModifierSource->setTitle(t("Modifier un dossier source", "Modify source folder"));
    mnuModifierSourceParcourir->setText(mnuAjouterSourceParcourir->text());
    mnuModifierSourceSaisir->setText(mnuAjouterSourceSaisir->text());
    mnuModifierCible->setTitle(t("Modifier un dossier cible", "Modify target folder"));
    mnuModifierCibleParcourir->setText(mnuAjouterSourceParcourir->text());
    mnuModifierCibleSaisir->setText(mnuAjouterSourceSaisir->text());
    mnuSupprimerDossiers->setText(
        t("Supprimer un couple de dossiers", "Remove a couple of folders"));
    mnuConfiguration->setTitle(QStringLiteral("Configuration"));
    mnuTempo->setText(t("Régler la &temporisation par défaut entre les traitements",
                        "Set default &time between two compress/uncompress operations"));
    mnuPerformance->setText(t("Régler la &performance", "Set &performance"));
    mnuPrefixe->setText(t("Préfixe des fichiers compressés", "Compressed files prefix (2 chars)"));
    mnuVoirConsoleRAR->setText(t("Afficher la console RAR", "Display RAR console"));
    mnuDossierErr->setText(t("Avertir lorsqu'un dossier est inconnu", "Warning on unknown folder"));
    mnuAfficherFichiers->setText(t("&Afficher les fichiers des dossiers sélectionnés",
                                   "Display &files in the selected folders (toggle)"));
    mnuAutomatique->setText(
        t("Démarrer automatiquement au lancement du &programme", "&Automatic start up"));
    mnuArretAutomatique->setText(t("Arrêter le programme après le premier traitement",
                                   "Stop program after the first compress/uncompress operation"));
    mnuService->setText(t("Installer/supprimer ", "Install/remove ") +
                        QStringLiteral("Velmorado Service") + QStringLiteral(" [NT]"));
    mnuLogs->setTitle(t("&Journaux", "&Logs"));
    mnuDefinirLogs->setText(t("&Archiver les traitements effectués",
                              "&Archive compress/uncompress operations in Log files"));
    mnuVoirLogs->setText(
        t("&Voir les journaux d'archivage des traitements effectués", "&Check Logs"));
    mnuFichierVoirLogs->setText(mnuVoirLogs->text());
    mnuPurgeLogs->setText(
        t("&Effacer automatiquement les journaux", "&Remove Log files automatically"));
    mnuLangue->setTitle(t("&Langue", "&Language"));
    mnuAnglais->setText(QStringLiteral("&English"));
    mnuFrancais->setText(QStringLiteral("&Français"));
    mnuAbout->setTitle(QStringLiteral("&?"));
    mnuAide->setText(t("&Aide", "&Help"));
    mnuAPropos->setText(t("A &propos de...", "&About..."));
    // 4. Labels, frames and buttons.
    lblDossiersSources->setText(t("Dossiers sources", "Source folders"));
    lblDossiersCibles->setText(t("Dossiers cibles", "Target folders"));
    lblAttente->setText(t("Attente", "Wait"));
    lblCopie->setText(QStringLiteral("Rar/Unrar"));
    lblClic->setText(t("Cliquer sur l'icône centrale pour modifier",
                       "Click on central icon to modify settings"));
    lblLegende1->setText(t("Compression", "Compress"));
    lblLegende2->setText(t("Décompression", "Uncompress"));
    lblDisable->setText(t("Compression/décompression inactive", "Compress/uncompress disable"));
    lblLegende3->setText(t("F1: voir les journaux d'archivage", "F1: check Logs"));
    lblLegende4->setText(t("F2: afficher les fichiers des dossiers sélectionnés",
                           "F2: display files in the selected folders (toggle)"));
    lblBulle1->setText(t("1 - langue et configuration", "1 - set language and configuration"));
    lblBulle2->setText(t("2 - définir les dossiers", "2 - define folders"));
    lblBulle3->setText(t("3 - démarrer", "3 - start"));
    frameLegende->setTitle(t("Réglages", "Settings"));
    FrameSourcesCibles->setTitle(t("Sources et cibles", "Source and target"));
    FrameSources->setTitle(t("Sources", "Source"));
    FrameCibles->setTitle(t("Cibles", "Target"));
    cmdAjouterDossierSource->setText(t("Ajouter", "Add"));
    cmdSupprimer->setText(t("Supprimer", "Remove"));
    cmdModifierDossierSource->setText(t("Modifier", "Modify"));
    cmdModifierDossierCible->setText(t("Modifier", "Modify"));
    cmdMiroir->setToolTip(
        t("Démarre la compression/décompression", "Start compress/uncompress operations"));
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
    config::settings().language = language;
    config::WriteSetting(config::kSectionConfiguration, QStringLiteral("Langue"),
                         QString::number(language));
}

void frmKestrune::toggleFlag(QAction* action, bool& flag, const char* key) {
    // The action has already flipped its own check mark.
    flag = action->isChecked();
    config::WriteSetting(config::kSectionConfiguration, QString::fromLatin1(key),
                         config::flagText(flag));
}

// ---------------------------------------------------------------- shutdown

void frmKestrune::mnuQuitter_Click() {
    if (!dialogs().question(this, config::kProductName,
                            tr2("Quitter le programme", "Exit program"))) {
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
        // Minimising hides the window in the tray, where there is one to bring it back.
        if ((windowState() & Qt::WindowMinimized) && QSystemTrayIcon::isSystemTrayAvailable()) {
            QTimer::singleShot(0, this, [this] {
                if (windowState() & Qt::WindowMinimized) {
                    hide();
                    updateTrayMenuEntries();
                }
            });
        }
        updateTrayMenuEntries();
    }
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
    showMinimized();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
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

void frmKestrune::toggleWindow() {
    if (!isVisible() || (windowState() & Qt::WindowMinimized)) {
        restoreWindow();
    } else {
        minimiseToTray();
    }
}

void frmKestrune::openHelp() {
    const QString file =
        m_programFolder + (config::program().french() ? QStringLiteral("/VelmoradoHelpFR.htm")
                                                      : QStringLiteral("/VelmoradoHelpEN.htm"));
    if (QFileInfo::exists(file)) {
        dialogs().openDocument(file);
    } else {
        dialogs().message(this, Dialogs::Icon::Information, config::kProductName,
                          tr2("La documentation n'est pas encore disponible...",
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
        cmdMiroir->setToolTip(tr2("Arrêter le traitement", "Stop processing"));
        mnuDemarrer->setText(tr2("&Arrêter le traitement", "&Stop processing"));
        cmdMiroir->setIcon(m_iconStop);
    } else {
        cmdMiroir->setToolTip(
            tr2("Démarrer la compression/décompression", "Start compress/uncompress operations"));
        mnuDemarrer->setText(
            tr2("&Démarrer la compression/décompression", "&Start compress/uncompress operations"));
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
    const QMap<QString, QString> notices = engine::waitCauses().notices(config::program().french());
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
    if (m_tray && m_tray->isVisible()) {
        m_tray->showMessage(config::kProductName, text, QSystemTrayIcon::Warning);
    }
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
        m_splash = new frmSplash(this);
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
