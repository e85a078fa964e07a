// Shared by the main-window tests: the window opened on a program folder
// with every box, modal dialogs included, answered by script.
#pragma once

#include "app/Application.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "ui/main/Dialogs.h"
#include "ui/main/PairGrid.h"
#include "ui/main/frmKestrune.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "FileKit.h"
#include "ProgramFolderKit.h"

#include <functional>
#include <memory>

namespace uitest {

using ui::PairGrid;

using filekit::readFile;
using filekit::writeFile;

using programkit::listLine;

// A program folder with the archiver, whose settings the tests read back.
struct ProgramFolder : programkit::ProgramFolder {
    QString setting(const char* section, const char* key) const {
        return config::ReadSettingFrom(ini(), QString::fromLatin1(section),
                                       QString::fromLatin1(key));
    }
};

template <typename T> T* child(QObject* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}
inline QLabel* label(QObject* parent, const char* name) {
    return child<QLabel>(parent, name);
}
inline QAction* entry(QObject* parent, const char* name) {
    return child<QAction>(parent, name);
}
inline QPushButton* button(QObject* parent, const char* name) {
    return child<QPushButton>(parent, name);
}

inline void click(QWidget* widget, const QPoint& pos = QPoint(2, 2),
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(widget, Qt::LeftButton, modifiers, pos);
}

// A pointer move with no button over a point of a widget.
inline void moveOver(QWidget* widget, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Runs action on every dialog of type D that shows under parent while the
// watcher lives: modal dialogs block their caller, so they are answered from
// the event loop that shows them. A dialog left open (a failed check) is
// cancelled, so that a test cannot hang.
template <typename D> struct OnShown {
    int count = 0;
    QTimer timer;
    explicit OnShown(QWidget* parent, std::function<void(D*)> action = {}) {
        QObject::connect(&timer, &QTimer::timeout, [this, parent, action] {
            for (D* d : parent->findChildren<D*>()) {
                if (d->isVisible()) {
                    ++count;
                    if (action) {
                        action(d);
                    }
                    if (d->isVisible()) {
                        d->reject();
                    }
                }
            }
        });
        timer.start(10);
    }
};

// Each test makes a fresh program folder (init), fills it, then opens the
// main window on it.
class WindowTest : public QObject {
protected:
    std::unique_ptr<ProgramFolder> pf;
    std::unique_ptr<ui::frmKestrune> window;
    std::unique_ptr<app::Application> application; // start-up and shutdown around window
    ui::frmKestrune* w = nullptr;
    ui::PairGrid* grid = nullptr;
    ui::ScriptedDialogs* d = nullptr; // the boxes shown, and the answers to give

    void fresh() {
        application.reset();
        window.reset();
        pf = std::make_unique<ProgramFolder>();
        engine::state().stopped = true;
    }
    // Opens the window on the list and parameters given (none: as they
    // are), with the boxes answered from answers.
    bool open(const QByteArray& list = {}, const QByteArray& ini = {},
              const QStringList& answers = {}) {
        if ((!list.isEmpty() && !writeFile(pf->list(), list)) ||
            (!ini.isEmpty() && !writeFile(pf->ini(), ini))) {
            return false;
        }
        auto boxes = std::make_unique<ui::ScriptedDialogs>(answers);
        d = boxes.get();
        ui::setDialogs(std::move(boxes));
        window = std::make_unique<ui::frmKestrune>(pf->path());
        w = window.get();
        grid = w->pairGrid();
        application = std::make_unique<app::Application>(*w, pf->path());
        return application->start();
    }
    // The last box shown, or an empty one when none was.
    ui::ScriptedDialogs::Shown last() const {
        return d->shown.isEmpty() ? ui::ScriptedDialogs::Shown() : d->shown.last();
    }
    void answer(const QString& a) { d->answers = QStringList{a}; }

    QPoint centre(int row, int column) const {
        return grid->visualRect(grid->model()->index(row, column)).center();
    }
    void clickCell(int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        click(grid->viewport(), centre(row, column), modifiers);
    }
};

} // namespace uitest

#define VELMORADO_UI_TEST_MAIN(TestClass)                                                          \
    int main(int argc, char* argv[]) {                                                             \
        /* VELMORADO_TEST_PLATFORM: a real X server with a tray (with_tray.sh) */                  \
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet("VELMORADO_TEST_PLATFORM")            \
                                       ? qgetenv("VELMORADO_TEST_PLATFORM")                        \
                                       : "offscreen");                                             \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        /* A point for decimals and a comma for thousands, as sizes are written here. */           \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                     \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
