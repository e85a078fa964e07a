#pragma once

#include "ui/common/Captions.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <span>

class QLabel;

namespace Ui {
class frmVoirLogs;
}

namespace ui {

// The log viewer: a small window at the right edge of the screen, on top of
// the others without taking the focus, with one underlined date per daily
// log of the log folder (engine::dailyLogNames: no other file) in a grid of
// four columns, oldest first. It opens the newest log at once; a left click
// opens a log (and minimises the main window), a right click offers to
// delete it. It is built afresh at each opening and reads no log itself:
// opening goes through OuvrirDocument.
//
// The date labels all carry the objectName "Label", their number as the
// property "index" and the name of their file as "file": what a label opens
// and removes is that file, never one rebuilt from the date shown. Element 0
// is the one laid out in the form.
class frmVoirLogs : public QMainWindow {
    Q_OBJECT
public:
    // mainWindow is minimised when a log is opened by a click (where there
    // is a tray, that hides it there); when the viewer closes, bringBackMain
    // (showNormal when empty) brings it back if a click of this viewer put
    // it away, and leaves it where the user had put it otherwise.
    explicit frmVoirLogs(QWidget* mainWindow, std::function<void()> bringBackMain = {});
    ~frmVoirLogs() override;

    static std::span<const Caption> captions();

    // The path of the log a label stands for.
    static QString logPath(const QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load();
    void Label_Click(int index);
    void Label_RightClick(int index, const QPoint& globalPos);
    void mnuSupprimerLog_Click();
    void VScroll1_Change(int value);
    void markOpened(QLabel* label);

    std::unique_ptr<Ui::frmVoirLogs> m_ui;
    QPointer<QWidget> m_main;
    std::function<void()> m_bringBackMain;
    bool m_putMainAway = false; // a click of this viewer minimised the main window
    QList<QLabel*> m_labels;
    QList<bool> m_removed;
    int m_rightClicked = -1;
    int m_previousScroll = 0;
};

} // namespace ui
