// Helpers shared by the main-window tests: a program folder with the
// archiver, a parameters file and a folder-pair list, the scripted boxes, and
// the modal dialogs answered from a timer while they run.
#pragma once

#include "config/HexText.h"
#include "config/Settings.h"
#include "ui/main/Dialogs.h"
#include "ui/main/PairGrid.h"
#include "ui/main/frmKestrune.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace uitest {

inline const QString kBin = QStringLiteral(VELMORADO_BIN_DIR);

inline bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return f.write(data) == data.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One line of the folder-pair list file.
inline QByteArray listLine(const QString& source, const QString& target) {
    return '"' + config::EncodeHexText(source).toLatin1() + "\",\"" +
           config::EncodeHexText(target).toLatin1() + "\"\r\n";
}

// A program folder in a temporary directory, with folders of its own to pair.
struct ProgramFolder {
    QTemporaryDir dir;

    ProgramFolder() { QFile::copy(kBin + QStringLiteral("/rar"), path() + QStringLiteral("/rar")); }
    QString path() const { return dir.path(); }
    QString ini() const { return path() + QStringLiteral("/Velmorado.ini"); }
    QString list() const { return path() + QStringLiteral("/Velmorado.w"); }
    // A folder (made) inside the temporary directory.
    QString folder(const QString& name) const {
        const QString p = path() + QLatin1Char('/') + name;
        QDir().mkpath(p);
        return p;
    }
    QString setting(const QString& section, const QString& key) const {
        return config::ReadSettingFrom(ini(), section, key);
    }
};

inline ui::ScriptedDialogs* scripted(QStringList answers = {}) {
    auto d = std::make_unique<ui::ScriptedDialogs>(std::move(answers));
    ui::ScriptedDialogs* raw = d.get();
    ui::setDialogs(std::move(d));
    return raw;
}

template <typename T> T* child(QObject* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// Runs action on the first visible dialog of type D under parent, from the
// event loop that shows it (modal dialogs block their caller). The returned
// watcher can be deleted when the dialog is expected not to come.
template <typename D> QTimer* whenShown(QWidget* parent, std::function<void(D*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QPointer<QWidget> guard(parent);
    QObject::connect(timer, &QTimer::timeout, [timer, guard, action] {
        if (!guard) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        const auto found = guard->findChildren<D*>();
        for (D* d : found) {
            if (d->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(d);
                return;
            }
        }
    });
    timer->start();
    return timer;
}

// A pointer move with no button over a point of a widget.
inline void moveOver(QWidget* widget, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// The centre of a grid cell, in the grid's viewport.
inline QPoint cellCentre(ui::PairGrid* grid, int row, int column) {
    return grid->visualRect(grid->model()->index(row, column)).center();
}

inline ui::PairGrid* gridOf(ui::frmKestrune& w) {
    return w.pairGrid();
}

} // namespace uitest
