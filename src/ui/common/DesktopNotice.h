#pragma once

#include <QString>

#include <functional>

namespace ui {

// Tells the user something through the desktop's notification service
// (org.freedesktop.Notifications on the session bus: dunst, GNOME, KDE, ...),
// so that the notice looks like every other program's and stays in the
// desktop's notification history. Where no service answers (no session bus,
// no such service, an error or no answer within a few seconds), fallback
// runs instead, once, from the event loop or at once: the tray's balloon.
void notifyDesktop(const QString& title, const QString& text, std::function<void()> fallback);

} // namespace ui
