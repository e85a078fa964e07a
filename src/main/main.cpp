#include "ui/main/frmKestrune.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Without a display the program still runs (on a server, as a service):
    // Qt's offscreen platform stands in for the screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "velmorado: no display available, starting on Qt's offscreen "
                             "platform (the window is not shown)\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::frmKestrune window;
    if (!window.load()) {
        return window.exitCode();
    }
    return QApplication::exec();
}
