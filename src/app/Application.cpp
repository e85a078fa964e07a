#include "app/Application.h"

#include "app/MainWindowPort.h"
#include "app/ServiceMode.h"
#include "app/Startup.h"
#include "app/Status.h"
#include "config/Fatal.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/RarRunner.h"
#include "engine/Scheduler.h"
#include "platform/AtomicFile.h"
#include "platform/SingleInstance.h"
#include "platform/SystemInfo.h"
#include "service/ServiceControl.h"

#include <QCoreApplication>

#include <cstdio>

namespace app {

Application::Application(MainWindowPort& window, QString programFolder)
    : m_window(window), m_programFolder(std::move(programFolder)) {}

Application::~Application() {
    // The handler speaks to the window through this object.
    config::setFatalMessageHandler({});
}

int Application::run() {
    if (!start()) {
        return m_exitCode;
    }
    return QCoreApplication::exec();
}

bool Application::start() {
    m_window.prepare();
    config::setProgramFolder(m_programFolder);
    config::ProgramValues& program = config::program();
    // The language first, so that even a refusal speaks it.
    config::setLanguage(config::readLanguage(program.parametersPath));

    // Only one copy per program folder: the copy that runs comes to the
    // front (handed this start's activation token, so that it may take the
    // focus), this one says why it ends. Unattended it says so and ends at
    // once: a timer or cron job must not pile up waiting copies.
    m_instance = std::make_unique<platform::SingleInstance>(m_programFolder);
    if (!m_instance->acquire()) {
        const QString refusal = secondInstanceMessage(config::language());
        m_exitCode = kExitAnotherCopyRuns;
        if (unattended()) {
            tellUnattended(refusal);
            return false;
        }
        m_instance->askToRaise({m_activationToken, m_startupId});
        m_window.showMessage(MainWindowPort::Box::Exclamation, config::kProductName, refusal);
        return false;
    }
    if (!m_instance->problem().isEmpty()) {
        std::fprintf(stderr, "velmorado: cannot tell whether another copy runs: %s\n",
                     qPrintable(m_instance->problem()));
    }
    platform::SingleInstance::Answers answers;
    answers.raise = [this](const platform::RaiseRequest& request) {
        m_window.raiseOnRequest(request.activationToken, request.startupId);
    };
    answers.status = [] { return statusReport(); };
    m_instance->listen(answers);
    config::setFatalMessageHandler([this](const QString& text) {
        // Standard error and the system log have the message already. A box
        // that nobody can see (no screen, or the service) would keep this
        // copy, and its lock, alive for ever.
        if (!unattended()) {
            m_window.showMessage(MainWindowPort::Box::Critical, config::kProductName, text);
        }
        m_window.removeTrayIcon();
    });
    // The files beside the program must be files it can read: a pipe would
    // hang the start, a device would never end, and one it cannot read would
    // lose its content at the first write.
    for (const QString& file : {program.parametersPath, program.listFilePath}) {
        const QString problem = config::unreadableFileMessage(file, config::language());
        if (!problem.isEmpty()) {
            config::fatalError(problem);
        }
    }
    // What writes of those files that were killed part-way left behind.
    platform::clearStaleWriteTemporaries(program.parametersPath);
    platform::clearStaleWriteTemporaries(program.listFilePath);

    m_window.setCaption(
        buildCaption(platform::computerName(), platform::userName(), platform::osDescription()));

    // Application or service.
    const RunMode mode = decideRunMode(
        m_window.serviceControl(),
        [this](const QString& question) { return m_window.askYesNo(question); },
        [this](const QString& message) {
            m_window.showMessage(MainWindowPort::Box::Critical, config::kProductName, message);
        },
        !unattended());
    if (mode == RunMode::EndNow) {
        m_exitCode = 0;
        return false;
    }
    if (mode == RunMode::Unanswered) {
        tellUnattended(serviceKeptUnansweredMessage(config::language()));
        m_exitCode = kExitServiceInstalled;
        return false;
    }
    m_serviceMode = mode == RunMode::Service;
    m_window.showRunMode(m_serviceMode);
    if (m_serviceMode) {
        ServiceEvents::Hooks hooks;
        hooks.stopProcessing = [this] {
            engine::Scheduler& scheduler = m_window.scheduler();
            if (!scheduler.isStopped()) {
                scheduler.startStop();
            }
        };
        hooks.endProgram = [this] { m_window.leaveEventLoop(); };
        m_serviceEvents = std::make_unique<ServiceEvents>(m_window.serviceControl(), hooks);
        m_serviceEvents->start();
    }

    config::settings().load(program.parametersPath, m_programFolder);
    m_window.applySettings();
    // A new run starts stopped, whatever a window before this one left.
    engine::state().stopped = true;

    // The archiver must be there for processing to start.
    m_rarAvailable = engine::CheckRarConsole();
    if (!m_rarAvailable && unattended()) {
        // Nobody could start processing by hand: say why and end.
        m_window.removeTrayIcon();
        tellUnattended(engine::rarMissingMessage(config::language()));
        m_exitCode = kExitNoArchiver;
        return false;
    }
    if (!m_rarAvailable) {
        m_window.showMessage(MainWindowPort::Box::Critical, engine::rarMissingTitle(),
                             engine::rarMissingMessage(config::language()));
    }
    m_window.showWindow(m_rarAvailable);

    if (config::settings().automatique && m_rarAvailable) {
        startAutomatically();
    } else if (m_serviceMode) {
        // The service always processes.
        m_window.minimiseToTray();
        m_window.scheduler().startStop();
    }
    return true;
}

bool Application::unattended() {
    return m_window.serviceControl().StartedAsService() || !m_window.hasScreen();
}

void Application::startAutomatically() {
    m_window.minimiseToTray();
    if (config::settings().arretAutomatique) {
        m_window.showStartNotice();
        for (int i = 0; i < config::settings().performance; ++i) {
            QCoreApplication::processEvents();
        }
    }
    m_window.scheduler().startStop();
}

} // namespace app
