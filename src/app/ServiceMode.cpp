#include "app/ServiceMode.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "service/ServiceControl.h"

#include <QThread>
#include <QTimer>

namespace app {

namespace {

struct EntryTexts {
    ServiceEvents::Event event;
    int type;
    const char* french;
    const char* english;
};

// Each entry is "Velmorado Service" followed directly by its suffix.
const EntryTexts kEntries[] = {
    {ServiceEvents::Event::Started, 4, ": démarré", ": started"},
    {ServiceEvents::Event::Stopped, 4, ": arrêté", ": stopped"},
    {ServiceEvents::Event::Paused, 4, ": suspendu", ": paused"},
    {ServiceEvents::Event::Continued, 4, ": reprise", ": continued"},
    {ServiceEvents::Event::UserLoggedOff, 2, ": utilisateur déconnecté", ": logoff user"},
};

const EntryTexts& entryOf(ServiceEvents::Event event) {
    for (const EntryTexts& e : kEntries) {
        if (e.event == event) {
            return e;
        }
    }
    return kEntries[0];
}

// How often the end of a stopped pass is looked for.
constexpr int kEndPollMs = 20;

} // namespace

QString removeServiceQuestion(int language) {
    return config::pickText(language,
                            "Velmorado Service installé\n"
                            "voir 'Panneau de configuration/Services'\n\n"
                            "Supprimer Velmorado Service ?",
                            "Velmorado Service installed\n"
                            "see 'Control panel/Services'\n\n"
                            "Remove it ?");
}

QString serviceRemovedEntry(int language) {
    return config::pickText(language, "Velmorado Service supprimé", "Velmorado Service removed");
}

QString serviceNotRemovedMessage(int language) {
    return config::pickText(language, "Velmorado Service: impossible de supprimer ",
                            "Velmorado Service: cannot remove ") +
           service::ServiceControl::unitFilePath();
}

QString serviceKeptUnansweredMessage(int language) {
    return config::pickText(language,
                            "Velmorado Service installé (voir 'systemctl --user status "
                            "velmorado') : sans écran, impossible de demander s'il faut le "
                            "supprimer ; le service est gardé et ce lancement s'arrête",
                            "Velmorado Service installed (see 'systemctl --user status "
                            "velmorado'): without a screen nobody can be asked whether to remove "
                            "it; the service is kept and this start ends");
}

RunMode decideRunMode(service::ServiceControl& control,
                      const std::function<bool(const QString&)>& askYesNo,
                      const std::function<void(const QString&)>& tell, bool canAsk) {
    if (!control.Installed()) {
        return RunMode::Application;
    }
    if (control.StartedAsService()) {
        return RunMode::Service;
    }
    if (!canAsk) {
        return RunMode::Unanswered;
    }
    const int language = config::language();
    if (!askYesNo(removeServiceQuestion(language))) {
        return RunMode::EndNow;
    }
    if (control.UninstallService()) {
        service::ServiceControl::WriteEventLog(serviceRemovedEntry(language), 4);
    } else {
        const QString message = serviceNotRemovedMessage(language);
        service::ServiceControl::WriteEventLog(message, 2);
        tell(message);
    }
    config::WriteSetting(config::kSectionConfiguration, config::keys::kAutomatique,
                         config::flagText(false));
    return RunMode::Application;
}

ServiceEvents::ServiceEvents(service::ServiceControl& control, Hooks hooks, QObject* parent)
    : QObject(parent), m_control(control), m_hooks(std::move(hooks)) {
    connect(&m_control, &service::ServiceControl::ServiceStarted, this,
            [this] { write(Event::Started); });
    connect(&m_control, &service::ServiceControl::ServiceStopped, this, &ServiceEvents::onStopped);
    connect(&m_control, &service::ServiceControl::ServicePaused, this,
            [this] { write(Event::Paused); });
    connect(&m_control, &service::ServiceControl::ServiceContinued, this,
            [this] { write(Event::Continued); });
    connect(&m_control, &service::ServiceControl::UserLoggedOff, this,
            [this] { write(Event::UserLoggedOff); });
}

void ServiceEvents::start() {
    m_control.watchServiceSignals();
    m_control.announceStart();
}

QString ServiceEvents::entryText(Event event, int language) {
    const EntryTexts& e = entryOf(event);
    return service::ServiceControl::kDisplayName + config::pickText(language, e.french, e.english);
}

int ServiceEvents::entryType(Event event) {
    return entryOf(event).type;
}

void ServiceEvents::write(Event event) {
    service::ServiceControl::WriteEventLog(entryText(event, config::language()), entryType(event));
}

void ServiceEvents::onStopped() {
    if (m_ending) {
        return; // a second stop while the first is being carried out
    }
    m_ending = true;
    write(Event::Stopped);
    if (!engine::Scheduler::isStopped() && m_hooks.stopProcessing) {
        m_hooks.stopProcessing();
    }
    m_endTimer = new QTimer(this);
    m_endTimer->setInterval(kEndPollMs);
    connect(m_endTimer, &QTimer::timeout, this, &ServiceEvents::endWhenPassIsOver);
    m_endTimer->start();
    endWhenPassIsOver();
}

void ServiceEvents::endWhenPassIsOver() {
    // The stop may come in through a yield of the pass: the pass must first
    // finish its entry and return. And leaving the event loop only works from
    // inside it, not from the yields of the first pass that start-up runs
    // before the loop begins.
    // The timer goes on until the program is gone: leaving a box's own loop
    // during start-up is not leaving the program's loop, which starts after it.
    if (engine::state().passRunning || QThread::currentThread()->loopLevel() == 0) {
        return;
    }
    if (m_hooks.endProgram) {
        m_hooks.endProgram();
    }
}

} // namespace app
