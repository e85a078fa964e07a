// Takes the README's pictures of the main window, the pair parameters
// dialog, the log settings and the log viewer: builds the window on a
// prepared program folder and saves what the widgets draw, in English and in
// French.
//
//   velmorado_screenshots PROGRAM_FOLDER OUTPUT_FOLDER
#include "app/Application.h"
#include "config/ProgramValues.h"
#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmSetMode.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/main/Dialogs.h"
#include "ui/main/PairGrid.h"
#include "ui/main/UiSupport.h"
#include "ui/main/frmKestrune.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

bool save(QWidget* widget, const QString& path) {
    settle();
    const QPixmap picture = widget->grab();
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The main window as the screen shows it, with the window manager's title bar
// and frame: a capture of that part of the screen. Only when
// VELMORADO_FRAMED_CAPTURE is set (scripts/screenshots.sh runs a window
// manager then); otherwise what the widgets draw.
bool saveFramed(QWidget* window, const QString& path) {
    if (!qEnvironmentVariableIsSet("VELMORADO_FRAMED_CAPTURE")) {
        return save(window, path);
    }
    window->raise();
    window->activateWindow();
    for (int i = 0; i < 20; ++i) {
        settle();
        QThread::msleep(25);
    }
    const QRect frame = window->frameGeometry();
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(frame.width())
                             .arg(frame.height())
                             .arg(frame.x())
                             .arg(frame.y());
    if (QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"),
                           QStringLiteral("-crop"), crop, QStringLiteral("+repage"), path}) != 0) {
        std::fprintf(stderr, "cannot capture the screen into %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Selects a row as a click would, then rests the pointer on another row so
// that its description shows.
void selectAndDescribe(ui::frmKestrune& w, int selected, int described) {
    ui::PairGrid* grid = w.pairGrid();
    grid->selectBlock(selected, selected);
    grid->setSelectionMark(true);
    w.AfficherFichiersCouple(selected);
    grid->setDescribedRow(-1);
    const QPoint at = grid->visualRect(grid->model()->index(described, 0)).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(grid->viewport()->mapToGlobal(at)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
}

// Every program picture at 16 and 32 pixels, to check them by eye.
bool saveIconSheet(const QString& path) {
    const char* names[] = {"compress", "uncompress",  "macvolume", "start",
                           "stop",     "application", "service",   "velmorado"};
    QImage sheet(8 * 56 + 8, 2 * 48 + 8, QImage::Format_ARGB32);
    sheet.fill(QColor(240, 240, 240));
    QPainter p(&sheet);
    int x = 8;
    for (const char* name : names) {
        const QIcon icon = ui::programIcon(name);
        p.drawPixmap(x + 8, 12, icon.pixmap(16, 16));
        p.drawPixmap(x, 52, icon.pixmap(32, 32));
        p.drawPixmap(x + 36, 52, icon.pixmap(16, 16, QIcon::Disabled));
        x += 56;
    }
    p.end();
    return sheet.save(path, "PNG");
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmorado_screenshots PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    // No box may wait for an answer here.
    ui::setDialogs(std::make_unique<ui::ScriptedDialogs>());
    ui::setDocumentOpener(std::make_unique<ui::RecordingOpener>());

    ui::frmKestrune w(folder);
    app::Application application(w, folder);
    if (!application.start()) {
        return 1;
    }
    w.show();
    settle();
    bool ok = true;

    selectAndDescribe(w, 0, 1);
    ok &= saveFramed(&w, out + QStringLiteral("/main-window-en.png"));
    {
        ui::PairGrid* grid = w.pairGrid();
        grid->selectBlock(1, 1);
        ui::frmSetMode dialog(grid, {}, &w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/pair-parameters-en.png"));
    }

    {
        ui::frmPathLogs dialog(&w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/log-settings-en.png"));
    }
    {
        ui::frmPurgeLogs dialog(&w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/log-purge-en.png"));
    }
    {
        // The viewer as F1 opens it; the newest log would open in the browser.
        w.findChild<QAction*>(QStringLiteral("mnuVoirLogs"))->trigger();
        QWidget* viewer = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("frmVoirLogs") && top->isVisible()) {
                viewer = top;
            }
        }
        ok &= viewer && save(viewer, out + QStringLiteral("/log-viewer-en.png"));
        if (viewer) {
            viewer->close();
        }
        w.showNormal();
    }

    w.findChild<QAction*>(QStringLiteral("mnuFrancais"))->trigger();
    selectAndDescribe(w, 0, 2);
    ok &= saveFramed(&w, out + QStringLiteral("/main-window-fr.png"));
    {
        ui::PairGrid* grid = w.pairGrid();
        grid->selectBlock(1, 1);
        ui::frmSetMode dialog(grid, {}, &w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/pair-parameters-fr.png"));
    }
    {
        ui::frmPathLogs dialog(&w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/log-settings-fr.png"));
    }
    {
        ui::frmTempo dialog(&w);
        dialog.show();
        ok &= save(&dialog, out + QStringLiteral("/temporisation-fr.png"));
    }
    // Put the language back as it was written in the prepared folder.
    w.findChild<QAction*>(QStringLiteral("mnuAnglais"))->trigger();

    if (qEnvironmentVariableIsSet("VELMORADO_ICON_SHEET")) {
        ok &= saveIconSheet(qEnvironmentVariable("VELMORADO_ICON_SHEET"));
    }
    return ok ? 0 : 1;
}
