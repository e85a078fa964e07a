#include "app/Application.h"
#include "config/ProgramValues.h"
#include "platform/SystemInfo.h"
#include "ui/main/frmKestrune.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: velmorado [--help | --version]\n"
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
                      "\n"
                      "Help: VelmoradoHelpEN.htm (English) and VelmoradoHelpFR.htm (French)\n"
                      "beside the executable.\n";

} // namespace

int main(int argc, char* argv[]) {
    // These two answer before anything else: no display, no lock, no window.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", qPrintable(config::productAndVersion()));
            return 0;
        }
    }
    // Without a display the program still runs (on a server, as a service):
    // Qt's offscreen platform stands in for the screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "velmorado: no display available, starting on Qt's offscreen "
                             "platform (the window is not shown)\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The parameters, the list file and the archiver stand beside the executable.
    const QString programFolder = platform::executableDir();
    ui::frmKestrune window(programFolder);
    app::Application application(window, programFolder);
    return application.run();
}
