#include "app/Application.h"
#include "app/Status.h"
#include "config/ProgramValues.h"
#include "platform/SingleInstance.h"
#include "platform/SystemInfo.h"
#include "ui/main/frmKestrune.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: velmorado [--help | --version | --status [--json] | --debug]\n"
    "\n"
    "Keeps pairs of folders in step: each file that lands in a pair's source\n"
    "folder is packed with its name into a numbered archive moved into the\n"
    "pair's target folder, or such archives are unpacked (uncompress mode).\n"
    "Started without arguments it opens its window and sits in the tray; the\n"
    "pairs and settings are kept beside the executable (Velmorado.ini,\n"
    "Velmorado.w). Other arguments are ignored.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "  --status   ask the copy running from this program folder how it is doing\n"
    "             (processing, the last pass, the pairs, the files that wait and\n"
    "             why), in the language of Velmorado.ini; it starts no copy and\n"
    "             raises no window. Exit status: 0 nothing waits, 1 files wait,\n"
    "             2 no copy runs there (or none answers)\n"
    "  --json     with --status: the same as JSON, for monitoring\n"
    "  --debug    also show Qt's own messages (or set VELMORADO_DEBUG=1, or\n"
    "             QT_LOGGING_RULES); without it only the program's own are shown\n"
    "\n"
    "Exit status of a start: 0 after Exit, the automatic stop or the service's\n"
    "stop; 3 a file beside the program it cannot use (said on standard error).\n"
    "Without a screen (no display: the program then starts on Qt's offscreen\n"
    "platform), or as the service, nothing waits for an answer in a box that\n"
    "nobody sees: the message goes to standard error and the system log and\n"
    "the program ends with\n"
    "  4  a copy already runs from this program folder (also with a screen,\n"
    "     after it was brought to the front)\n"
    "  5  the archiver (rar beside the program) cannot be run\n"
    "  6  Velmorado Service is installed and this copy was started by hand:\n"
    "     the service is kept (start the program with a screen to remove it)\n"
    "\n"
    "Help: VelmoradoHelpEN.htm (English) and VelmoradoHelpFR.htm (French)\n"
    "beside the executable.\n";

bool debugWanted(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            return true;
        }
    }
    const QByteArray flag = qgetenv("VELMORADO_DEBUG");
    return (!flag.isEmpty() && flag != "0") || qEnvironmentVariableIsSet("QT_LOGGING_RULES");
}

// Qt's own remarks (a platform plugin that cannot do this or that, the
// runtime folder it would pick) would go to standard error, and as the
// service into the journal, at every start: only its criticals are kept.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        const QString line = qFormatLogMessage(type, context, message);
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    bool status = false;
    bool json = false;
    // These answer before anything else: no display, no lock, no window.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", qPrintable(config::productAndVersion()));
            return 0;
        }
        status = status || std::strcmp(argv[i], "--status") == 0;
        json = json || std::strcmp(argv[i], "--json") == 0;
    }
    if (!debugWanted(argc, argv)) {
        qInstallMessageHandler(quietMessages);
    }
    // The lock and the socket of the copies, and Qt's own runtime files, in
    // a folder of this user alone: a shared temporary folder could hold one
    // that another user made first.
    QString problem;
    const QString runtime = platform::privateRuntimeFolder(&problem, !status);
    if (!runtime.isEmpty()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    if (status) {
        const QCoreApplication core(argc, argv);
        return app::printStatus(platform::executableDir(), json);
    }
    // Without a display the program still runs (on a server, as a service):
    // Qt's offscreen platform stands in for the screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "velmorado: no display available, starting on Qt's offscreen "
                             "platform (the window is not shown)\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt takes the launcher's tokens out of the environment as it starts.
    const platform::RaiseRequest launch = platform::RaiseRequest::fromEnvironment();
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The parameters, the list file and the archiver stand beside the executable.
    const QString programFolder = platform::executableDir();
    ui::frmKestrune window(programFolder);
    app::Application application(window, programFolder);
    application.setLaunchTokens(launch.activationToken, launch.startupId);
    return application.run();
}
