#include "ui/common/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace ui {

namespace {

// How long a service that is there (or being started by the bus) may take
// to answer before the notice goes to the fallback.
constexpr int kAnswerTimeoutMs = 5000;

} // namespace

void notifyDesktop(const QString& title, const QString& text, std::function<void()> fallback) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (fallback) {
            fallback();
        }
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints,
    // expire_timeout): a new notice, the program's icon and menu entry, normal
    // urgency, the service's own time on screen.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(1))},
                            {QStringLiteral("desktop-entry"), QStringLiteral("velmorado")}};
    call << QStringLiteral("Velmorado") << 0u << QStringLiteral("velmorado") << title << text
         << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerTimeoutMs), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fallback = std::move(fallback)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (w->isError() && fallback) {
                             fallback();
                         }
                     });
}

} // namespace ui
