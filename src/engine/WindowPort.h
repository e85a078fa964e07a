#pragma once

#include "engine/Controls.h"

#include <QString>

namespace engine {

// All that the engine may do to the main window. The window implements it;
// tests implement it with a recorder, so the engine runs without widgets.
// The controls it names are those of the Control list (Controls.h).
class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Text of a label (lblTempo, lblMessage), drawn at once.
    virtual void setLabelText(Control control, const QString& text) = 0;
    // Progress bars ProgressBarAttente and ProgressBarCopie.
    virtual void setBarValue(Control control, int value) = 0;
    virtual void setBarRange(Control control, int minimum, int maximum) = 0;
    virtual void setControlEnabled(Control control, bool enabled) = 0;
    // Start/stop look: the running look shows the stop image and the texts
    // for "a click stops" on cmdMiroir and mnuDemarrer.
    virtual void showRunningState(bool running) = 0;
    // The one-second timer Timer1.
    virtual void setTimerOn(bool on) = 0;
    // Tray icon tip (the state kept even where no tray exists).
    virtual void setTrayTip(const QString& tip) = 0;
    // The pair whose row is current when the grid has rows and shows its
    // selection; 0 when none.
    virtual int selectedPairNumber() const = 0;
    // Refills a file list (1 source, 2 target) from folder.
    virtual void refreshFileList(int side, const QString& folder) = 0;
    // The unknown-folder message window (frmSplash) shown without waiting.
    virtual void showMessageWindow(const QString& text) = 0;
    virtual void beep() = 0;
    // Brings a minimised window back to the front.
    virtual void restoreIfMinimised() = 0;
    // One round of pending window events.
    virtual void processEvents() = 0;
    // Removes the tray icon and ends the program at once with status 0.
    virtual void endProgram() = 0;
    // Which files wait and why ("Files waiting: Target folder read-only (2)"),
    // empty when none does: shown on the window's status line and in the tray
    // tip until the next call. Given at the end of every pass. A window that
    // cannot show it may ignore it.
    virtual void setWaitingSummary(const QString& summary) { (void)summary; }
};

} // namespace engine
