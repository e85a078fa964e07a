#pragma once

#include "engine/WindowPort.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTableWidget;
class QTimer;
class QToolButton;
class QPushButton;
class QFrame;

namespace platform {
class SingleInstance;
}
namespace service {
class ServiceControl;
}
namespace engine {
class Scheduler;
}

namespace ui {

class frmSplash;
class frmVoirLogs;
class PairGrid;

// The main window. Everything the program does at launch happens in load().
class frmKestrune : public QMainWindow, public engine::WindowPort {
    Q_OBJECT
public:
    // programFolder holds the parameters file, the list file and the
    // archiver: the executable's folder unless a test names another.
    explicit frmKestrune(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~frmKestrune() override;

    // The start-up sequence. False when the program must end at once
    // (another copy runs); exitCode() then tells with what status.
    bool load();
    int exitCode() const { return m_exitCode; }

    // Puts every caption of the language on the window (1 French, else English).
    void AppliquerLangue(int language);

    QString trayTip() const { return m_trayTip; }
    bool rarAvailable() const { return m_rarAvailable; }
    engine::Scheduler& scheduler() { return *m_scheduler; }
    service::ServiceControl& serviceControl() { return *m_service; }
    frmSplash* splash() const { return m_splash; }

    // Refills the grid from the list file and the pair sections, then puts
    // the headings, hints and legend that go with it.
    void reloadFolderPairs();

    // Fills both file lists for the pair of a grid row.
    void AfficherFichiersCouple(int row);
    // Fills one file list (1 source, 2 target) from a folder and its count label.
    void RemplirListeFichiers(int side, const QString& folder);

    // Folder entry: which folder, how it is given, what it does.
    enum class Folder { Source, Target };
    enum class How { Browse, Type };
    enum class Action { Add, Change };
    void EnterFolder(Folder folder, How how, Action action);
    // Removes the selected block of pairs, after a confirmation.
    void cmdSupprimer_Click();
    // The pair parameters dialog on the grid's current row, modal.
    void openSetMode();

    PairGrid* pairGrid() const { return lstDossiers; }

    // WindowPort
    void setLabelText(const QString& control, const QString& text) override;
    void setBarValue(const QString& control, int value) override;
    void setBarRange(const QString& control, int minimum, int maximum) override;
    void setControlEnabled(const QString& control, bool enabled) override;
    void showRunningState(bool running) override;
    void setTimerOn(bool on) override;
    void setTrayTip(const QString& tip) override;
    int selectedPairNumber() const override;
    void refreshFileList(int side, const QString& folder) override;
    void showMessageWindow(const QString& text) override;
    void beep() override;
    void restoreIfMinimised() override;
    void processEvents() override;
    void endProgram() override;

public Q_SLOTS:
    void mnuQuitter_Click();

Q_SIGNALS:
    // The program is about to end through the Exit entry, with this status.
    void programEnding(int exitCode);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    QAction* addEntry(QMenu* menu, const char* name, bool checkable = false);
    QAction* addSeparator(QMenu* menu, const char* name);
    void applySettingsToWindow();
    void toggleFlag(QAction* action, bool& flag, const char* key);
    void setLanguage(int language);
    void toggleWindow();
    void minimiseToTray();
    void restoreWindow();
    void updateTrayMenuEntries();
    void removeTrayIcon();
    void startAutomatically();
    // The service is installed but did not start this copy: false when the
    // program must end at once.
    bool askAboutInstalledService();
    void openHelp();
    void showAbout();
    // The grid, the file lists and the window background (GridEvents.cpp).
    void connectGridEvents();
    void afterGridFill();
    void onGridClicked(int column, bool onRow);
    void onGridDoubleClicked(int column);
    void onGridPointerMoved(const QPoint& viewportPos);
    void clearDescription();
    void backgroundClick();
    void mnuAfficherFichiers_Click();
    // Folder entry helpers (FolderEntry.cpp).
    void saveAndReload();
    // The settings dialogs of the Configuration and Logs menus, and the log
    // viewer (mnuVoirLogs, F1, and its File-menu twin).
    void connectSettingsDialogs();
    void mnuTempo_Click();
    void mnuVoirLogs_Click();

    QString m_programFolder;
    int m_exitCode = 0;
    bool m_rarAvailable = false;
    bool m_serviceMode = false;
    QString m_trayTip;
    QIcon m_iconStart, m_iconStop, m_iconApp, m_iconService, m_iconTray, m_iconCompress,
        m_iconUncompress, m_iconMac;

    std::unique_ptr<platform::SingleInstance> m_instance;
    service::ServiceControl* m_service = nullptr;
    std::unique_ptr<engine::Scheduler> m_scheduler;
    QSystemTrayIcon* m_tray = nullptr;
    frmSplash* m_splash = nullptr;
    QPointer<frmVoirLogs> m_logViewer;

    // Controls, named as their objectName.
    QLabel* lblOvelo = nullptr;
    QLabel* lblMode = nullptr;
    QLabel* PictureMode = nullptr;
    PairGrid* lstDossiers = nullptr;
    QLabel* lblDossiersSources = nullptr;
    QLabel* lblDossiersCibles = nullptr;
    QLabel* lblNbDossiers = nullptr;
    QLabel* picFleche1 = nullptr;
    QLabel* picFleche2 = nullptr;
    QFrame* LineBulle = nullptr;
    QLabel* lblBulle1 = nullptr;
    QLabel* lblBulle2 = nullptr;
    QLabel* lblBulle3 = nullptr;
    QGroupBox* FrameSourcesCibles = nullptr;
    QGroupBox* FrameSources = nullptr;
    QGroupBox* FrameCibles = nullptr;
    QPushButton* cmdAjouterDossierSource = nullptr;
    QPushButton* cmdSupprimer = nullptr;
    QPushButton* cmdModifierDossierSource = nullptr;
    QPushButton* cmdModifierDossierCible = nullptr;
    QListWidget* lstFichiersSources = nullptr;
    QListWidget* lstFichiersCibles = nullptr;
    QLabel* lblNbFichiersSources = nullptr;
    QLabel* lblNbFichiersCibles = nullptr;
    QGroupBox* frameLegende = nullptr;
    QLabel* PictureSetGris = nullptr;
    QLabel* PictureSetGrisMod = nullptr;
    QLabel* lblLegende1 = nullptr;
    QLabel* lblLegende2 = nullptr;
    QLabel* lblLegende3 = nullptr;
    QLabel* lblLegende4 = nullptr;
    QLabel* lblDisable = nullptr;
    QLabel* lblClic = nullptr;
    QToolButton* cmdMiroir = nullptr;
    QLabel* lblTempo = nullptr;
    QLabel* lblAttente = nullptr;
    QLabel* lblCopie = nullptr;
    QProgressBar* ProgressBarAttente = nullptr;
    QProgressBar* ProgressBarCopie = nullptr;
    QLabel* lblMessage = nullptr;
    QLabel* lblTestLongueur = nullptr;
    QTimer* Timer1 = nullptr;

    // Menus and entries.
    QMenu* mnuFichier = nullptr;
    QMenu* mnuDossiers = nullptr;
    QMenu* mnuAjouterSource = nullptr;
    QMenu* mnuModifierSource = nullptr;
    QMenu* mnuModifierCible = nullptr;
    QMenu* mnuConfiguration = nullptr;
    QMenu* mnuLogs = nullptr;
    QMenu* mnuLangue = nullptr;
    QMenu* mnuAbout = nullptr;
    QAction *mnuDemarrer = nullptr, *mnuFichierVoirLogs = nullptr, *mnuRestaurer = nullptr,
            *mnuQuitter = nullptr;
    QAction *mnuAjouterSourceParcourir = nullptr, *mnuAjouterSourceSaisir = nullptr,
            *mnuModifierSourceParcourir = nullptr, *mnuModifierSourceSaisir = nullptr,
            *mnuModifierCibleParcourir = nullptr, *mnuModifierCibleSaisir = nullptr,
            *mnuSupprimerDossiers = nullptr;
    QAction *mnuTempo = nullptr, *mnuPerformance = nullptr, *mnuPrefixe = nullptr,
            *mnuVoirConsoleRAR = nullptr, *mnuDossierErr = nullptr, *mnuAfficherFichiers = nullptr,
            *mnuAutomatique = nullptr, *mnuArretAutomatique = nullptr, *mnuService = nullptr;
    QAction *mnuDefinirLogs = nullptr, *mnuVoirLogs = nullptr, *mnuPurgeLogs = nullptr;
    QAction *mnuAnglais = nullptr, *mnuFrancais = nullptr;
    QAction *mnuAide = nullptr, *mnuAPropos = nullptr;
};

} // namespace ui
