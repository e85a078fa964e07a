// Shared by the window tests: the main window opened on a program folder with
// every box, modal dialogs included, answered by script.
#pragma once

#include "app/Application.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "ui/main/Dialogs.h"
#include "ui/main/frmKestrune.h"

#include <QtTest>
#include <QtWidgets>

#include "FileKit.h"
#include "ProgramFolderKit.h"

namespace uitest {

// Before the application starts: offscreen unless with_tray.sh names its X
// server; sizes written with a point for decimals and a comma for thousands.
inline const bool applicationSetUp = [] {
    qputenv("QT_QPA_PLATFORM",
            qEnvironmentVariable("VELMORADO_TEST_PLATFORM", "offscreen").toUtf8());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    return true;
}();

using filekit::readFile, filekit::writeFile, programkit::listLine;

template <typename T> T* child(QObject* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}
inline constexpr auto label = &child<QLabel>;
inline constexpr auto entry = &child<QAction>;
inline constexpr auto button = &child<QPushButton>;

// A pointer move with no button over a point of a widget.
inline void moveOver(QWidget* widget, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Runs action on every dialog D that shows under parent while it lives, from
// the dialog's own event loop; one left open (a failed check) is cancelled.
template <typename D> struct OnShown {
    int count = 0;
    QTimer timer;
    explicit OnShown(QWidget* parent, std::function<void(D*)> action = {}) {
        QObject::connect(&timer, &QTimer::timeout, [this, parent, action] {
            for (D* d : parent->findChildren<D*>()) {
                if (d->isVisible() && ++count && action) {
                    action(d);
                }
                if (d->isVisible()) {
                    d->reject();
                }
            }
        });
        timer.start(10);
    }
};

// Each test makes a fresh program folder (init), then opens the window on it.
class WindowTest : public QObject {
protected:
    std::unique_ptr<programkit::ProgramFolder> pf;
    std::unique_ptr<ui::frmKestrune> window;
    std::unique_ptr<app::Application> application; // start-up and shutdown around window
    ui::frmKestrune* w = nullptr;
    ui::PairGrid* grid = nullptr;
    ui::ScriptedDialogs* d = nullptr; // the boxes shown, and the answers to give
    void fresh() {
        application.reset();
        window.reset();
        pf = std::make_unique<programkit::ProgramFolder>();
        engine::state().stopped = true;
    }
    // Opens the window on the list and parameters given (none: as they are),
    // with the boxes of the start-up answered from answers.
    bool open(const QByteArray& list = {}, const QByteArray& ini = {},
              const QStringList& answers = {}) {
        const bool written = (list.isEmpty() || writeFile(pf->list(), list)) &&
                             (ini.isEmpty() || writeFile(pf->ini(), ini));
        ui::setDialogs(std::unique_ptr<ui::Dialogs>(d = new ui::ScriptedDialogs(answers)));
        window = std::make_unique<ui::frmKestrune>(pf->path());
        w = window.get();
        grid = w->pairGrid();
        application = std::make_unique<app::Application>(*w, pf->path());
        return written && application->start();
    }
    // The last box shown, or an empty one when none was.
    ui::ScriptedDialogs::Shown last() const {
        return d->shown.isEmpty() ? ui::ScriptedDialogs::Shown() : d->shown.last();
    }
    void answer(const QString& a) { d->answers = QStringList{a}; }
    QString setting(const QString& section, const QString& key) const {
        return config::ReadSettingFrom(pf->ini(), section, key);
    }
    void clickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QPoint at = grid->visualRect(grid->model()->index(row, column)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, at);
    }
};

} // namespace uitest
