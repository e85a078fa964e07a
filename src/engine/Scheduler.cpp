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
const char* const kLockedWhileRunning[] = {"cmdAjouterDossierSource",
                                           "cmdSupprimer",
                                           "cmdModifierDossierSource",
                                           "cmdModifierDossierCible",
                                           "mnuDossiers",
                                           "mnuTempo",
                                           "mnuLangue",
                                           "mnuQuitter",
                                           "mnuDefinirLogs",
                                           "mnuPurgeLogs",
                                           "mnuService"};

const char* const kFreedFirst[] = {"cmdAjouterDossierSource", "cmdSupprimer",
                                   "cmdModifierDossierSource", "cmdModifierDossierCible",
                                   "mnuDossiers"};
const char* const kFreedLast[] = {"mnuTempo", "mnuLangue", "mnuDefinirLogs", "mnuPurgeLogs"};

} // namespace

Scheduler::Scheduler(WindowPort& window) : m_window(window) {}

bool Scheduler::isStopped() const {
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
    m_window.setBarValue(QStringLiteral("ProgressBarAttente"), 0);
    m_window.setBarValue(QStringLiteral("ProgressBarCopie"), 0);

    if (st.stopped) {
        if (config::folderPairs().pairs.isEmpty()) {
            return;
        }
        m_window.setLabelText(QStringLiteral("lblMessage"), QString());
        for (const char* control : kLockedWhileRunning) {
            m_window.setControlEnabled(QString::fromLatin1(control), false);
        }
        m_window.showRunningState(true);
        st.stopped = false;
        st.forcedPass = true;
        runPass();
        st.forcedPass = false;
        return;
    }

    m_window.setTimerOn(false);
    m_window.setLabelText(QStringLiteral("lblTempo"), QString());
    for (const char* control : kFreedFirst) {
        m_window.setControlEnabled(QString::fromLatin1(control), true);
    }
    if (config::program().ntFlag) {
        m_window.setControlEnabled(QStringLiteral("mnuService"), true);
        // A service can only be stopped from outside.
        m_window.setControlEnabled(QStringLiteral("mnuQuitter"), !isRunningAsService());
    } else {
        m_window.setControlEnabled(QStringLiteral("mnuService"), false);
        m_window.setControlEnabled(QStringLiteral("mnuQuitter"), true);
    }
    for (const char* control : kFreedLast) {
        m_window.setControlEnabled(QString::fromLatin1(control), true);
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
    m_window.setLabelText(QStringLiteral("lblTempo"),
                          QString::number(st.countdown) + QStringLiteral(" s"));
    m_window.setBarValue(QStringLiteral("ProgressBarAttente"), s.temporisation - st.countdown);
    --st.countdown;
}

} // namespace engine
