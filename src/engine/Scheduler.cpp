#include "engine/Scheduler.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/ProcessingPass.h"
#include "engine/Texts.h"
#include "engine/WindowPort.h"

namespace engine {

namespace {

// Controls that change the folder pairs or the settings: off while processing runs.
constexpr Control kLockedWhileRunning[] = {Control::cmdAjouterDossierSource,
                                           Control::cmdSupprimer,
                                           Control::cmdModifierDossierSource,
                                           Control::cmdModifierDossierCible,
                                           Control::mnuDossiers,
                                           Control::mnuTempo,
                                           Control::mnuLangue,
                                           Control::mnuQuitter,
                                           Control::mnuDefinirLogs,
                                           Control::mnuPurgeLogs,
                                           Control::mnuService};

constexpr Control kFreedFirst[] = {Control::cmdAjouterDossierSource, Control::cmdSupprimer,
                                   Control::cmdModifierDossierSource,
                                   Control::cmdModifierDossierCible, Control::mnuDossiers};
constexpr Control kFreedLast[] = {Control::mnuTempo, Control::mnuLangue, Control::mnuDefinirLogs,
                                  Control::mnuPurgeLogs};

} // namespace

Scheduler::Scheduler(WindowPort& window) : m_window(window) {}

bool Scheduler::isStopped() {
    return state().stopped;
}

bool Scheduler::isRunningAsService() const {
    return runningAsService && runningAsService();
}

void Scheduler::runPass() {
    RunProcessingPass(m_window, ServiceHooks{runningAsService, writeEventLog});
}

void Scheduler::startStop() {
    EngineState& st = state();
    // A start pressed while a stopped pass still finishes its yields would run
    // a pass inside that pass: it is refused; the button works again once the
    // pass is over.
    if (st.stopped && st.passRunning) {
        return;
    }
    const config::Settings& s = config::settings();
    st.countdown = s.temporisation;
    m_window.setBarValue(Control::ProgressBarAttente, 0);
    m_window.setBarValue(Control::ProgressBarCopie, 0);

    if (st.stopped) {
        if (config::folderPairs().pairs.isEmpty()) {
            return;
        }
        m_window.setLabelText(Control::lblMessage, QString());
        for (const Control control : kLockedWhileRunning) {
            m_window.setControlEnabled(control, false);
        }
        m_window.showRunningState(true);
        st.stopped = false;
        st.forcedPass = true;
        runPass();
        st.forcedPass = false;
        return;
    }

    m_window.setTimerOn(false);
    m_window.setLabelText(Control::lblTempo, QString());
    for (const Control control : kFreedFirst) {
        m_window.setControlEnabled(control, true);
    }
    m_window.setControlEnabled(Control::mnuService, true);
    // A service can only be stopped from outside.
    m_window.setControlEnabled(Control::mnuQuitter, !isRunningAsService());
    for (const Control control : kFreedLast) {
        m_window.setControlEnabled(control, true);
    }
    m_window.showRunningState(false);
    st.stopped = true;
    m_window.setTrayTip(texts::trayTipStopped());
    m_window.restoreIfMinimised();
}

void Scheduler::tick() {
    EngineState& st = state();
    // The timer is off during a pass and while stopped; a tick that slips
    // through anyway must not start a pass.
    if (st.passRunning || st.stopped) {
        return;
    }
    const config::Settings& s = config::settings();
    if (st.countdown < 1) {
        runPass();
        st.countdown = s.temporisation;
        if (st.stopped) {
            return; // stopped during the pass: no countdown to show
        }
    }
    m_window.setLabelText(Control::lblTempo, QString::number(st.countdown) + QStringLiteral(" s"));
    m_window.setBarValue(Control::ProgressBarAttente, s.temporisation - st.countdown);
    --st.countdown;
}

} // namespace engine
