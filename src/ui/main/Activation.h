#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace ui {

// Raises window (raise shows it, in front and active) with the focus that
// the launcher of another start of the program meant for that start (the
// second copy hands its tokens on and ends). On Wayland the activation token
// goes to Qt's next activation (XDG_ACTIVATION_TOKEN, which Qt reads and
// clears). On X11, once raised, the window gets the start's startup id
// (_NET_STARTUP_ID), the launcher's feedback for that start is ended (the
// startup-notification "remove" message), the window's user time becomes the
// time of that start (from the id's "_TIME"), or the X server's time now for
// a start without an id, and the window manager is asked to activate it at
// that time: its focus-stealing prevention compares those times, and Qt's
// own request carries the time of the last event this copy saw, which for a
// copy left alone in the tray is long past.
void raiseWithActivation(QWidget* window, const QString& activationToken, const QString& startupId,
                         const std::function<void()>& raise);

} // namespace ui
