#pragma once

#include "app/MainWindowPort.h"
#include "engine/WindowPort.h"
#include "ui/common/Captions.h"

#include "ui_frmKestrune.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QSet>

#include <array>
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

namespace service {
class ServiceControl;
}
namespace engine {
class Scheduler;
}

namespace ui {

class frmAide;
class frmSplash;
class frmVoirLogs;
class PairGrid;

// The main window: its layout, its events, its captions and the tray. Its
// controls are laid out in frmKestrune.ui and inherited from the form, each
// under its objectName. Start-up and shutdown (app::Application) reach it
// through app::MainWindowPort.
class frmKestrune : public QMainWindow,
                    public engine::WindowPort,
                    public app::MainWindowPort,
                    private Ui::frmKestrune {
    Q_OBJECT
public:
    // programFolder holds the parameters file, the list file and the
    // archiver: the executable's folder unless a test names another.
    explicit frmKestrune(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~frmKestrune() override;
    // The form names its own centralWidget; the window's is meant.
    using QMainWindow::centralWidget;

    // Puts every caption of the language on the window (1 French, else English).
    void AppliquerLangue(int language);
    // The captions that do not change with the window's state, by control name.
    static std::span<const Caption> captions();

    // The mode shown by PictureMode and lblMode: service or application.
    void showMode(bool service);
    // The service dialog, modal (mnuService).
    void mnuService_Click();

    QString trayTip() const { return m_trayTip; }
    // Files wait for a cause (a target that cannot take them, ...): one
    // desktop notification for each cause, the first time it is reported,
    // not at every pass; clearWaitNotice() when the cause clears, so that its
    // return is told again. The notice goes through the desktop's
    // notification service, or the tray's balloon where none answers.
    // waitNoticeShown() tells each notice.
    void showWaitNotice(const QString& cause, const QString& text);
    void clearWaitNotice(const QString& cause);
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
    void setLabelText(engine::Control control, const QString& text) override;
    void setBarValue(engine::Control control, int value) override;
    void setBarRange(engine::Control control, int minimum, int maximum) override;
    void setControlEnabled(engine::Control control, bool enabled) override;
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
    void setWaitingSummary(const QString& summary) override;

    // MainWindowPort
    void prepare() override;
    void setCaption(const QString& caption) override;
    void raiseOnRequest(const QString& activationToken, const QString& startupId) override;
    // Shows the window normal, in front and active (the tray's Restore entry).
    void restoreWindow();
    void showRunMode(bool service) override;
    void applySettings() override;
    void showWindow(bool canStart) override;
    void minimiseToTray() override;
    void showStartNotice() override;
    void showMessage(Box box, const QString& title, const QString& text) override;
    bool askYesNo(const QString& question) override;
    bool hasScreen() const override;
    void removeTrayIcon() override;
    // Also after installing the service, and after the Exit entry's question.
    void leaveEventLoop() override;
    service::ServiceControl& serviceControl() override { return *m_service; }
    engine::Scheduler& scheduler() override { return *m_scheduler; }

public Q_SLOTS:
    void mnuQuitter_Click();

Q_SIGNALS:
    // The program is about to end through the Exit entry, with this status.
    void programEnding(int exitCode);
    void waitNoticeShown(const QString& cause, const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the form cannot say: icons, the title's font, the grey, Timer1.
    void buildControls();
    void connectMenus();
    // Finds every control of the engine's list under its name, once; a name
    // missing, or held by a control of another kind, ends the program.
    void resolveEngineControls();
    void applySettingsToWindow();
    void toggleFlag(QAction* action, bool& flag, QLatin1StringView key);
    void setLanguage(int language);
    void toggleWindow();
    // The opening size: the whole caption, the grid's rows and both file lists.
    void resizeForOpening();
    // The window never grows beyond the screen's available area.
    void keepWithinScreen();
    // Writes a file list's count label (1 source, 2 target) in the current language.
    void writeFileCount(int side);
    void updateTrayMenuEntries();
    // Hides a minimised window in the tray once the window manager has it
    // off the screen; tries again every 20 ms up to triesLeft times.
    void withdrawIntoTray(int triesLeft);
    // The help page of the language in use: with the desktop's program for
    // it, or in the program's own help window where there is none.
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
    QString m_trayTip;
    QIcon m_iconStart, m_iconStop, m_iconApp, m_iconService, m_iconTray, m_iconCompress,
        m_iconUncompress, m_iconMac;
    QIcon m_iconTrayRunning;
    bool m_running = false;
    QElapsedTimer m_lastTrayClick;
    QSet<QString> m_waitCauses;

    service::ServiceControl* m_service = nullptr;
    std::unique_ptr<engine::Scheduler> m_scheduler;
    QSystemTrayIcon* m_tray = nullptr;
    frmSplash* m_splash = nullptr;
    QPointer<frmVoirLogs> m_logViewer;
    QPointer<frmAide> m_helpWindow;

    // The form holds every other control.
    QTimer* Timer1 = nullptr;

    // The engine's controls (engine::Control), resolved by name when built.
    struct EngineControl {
        QLabel* label = nullptr;
        QProgressBar* bar = nullptr;
        QAction* action = nullptr; // a menu entry, or the entry of a menu in its bar
        QWidget* widget = nullptr; // a button, or a menu
    };
    std::array<EngineControl, engine::kControlCount> m_engineControls;
};

} // namespace ui
