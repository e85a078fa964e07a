#include "ui/main/Activation.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef VELMORADO_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace ui {

#ifdef VELMORADO_HAVE_XCB
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// The X server's time now: a property changed on a window of a connection of
// our own (Qt's reads its own events) comes back with the time.
xcb_timestamp_t serverTimeNow() {
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) == 0) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        xcb_change_property(c, XCB_PROP_MODE_APPEND, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(c);
        while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
            const bool notice = (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
            if (notice) {
                time = reinterpret_cast<xcb_property_notify_event_t*>(e)->time;
            }
            std::free(e);
            if (notice) {
                break;
            }
        }
        xcb_destroy_window(c, w);
    }
    xcb_disconnect(c);
    return time;
}

// The launch time a startup id carries ("..._TIME<server time>"), 0 without one.
xcb_timestamp_t timeOfStartupId(const QString& id) {
    const int at = id.lastIndexOf(QLatin1String("_TIME"));
    bool ok = false;
    const uint time = at < 0 ? 0 : id.mid(at + 5).toUInt(&ok);
    return ok ? time : 0;
}

// Ends the launcher's feedback for the start of that id: the "remove"
// message of startup notification, 20 bytes per client message to the root.
void sendStartupRemove(xcb_connection_t* c, xcb_window_t root, xcb_window_t from,
                       const QString& id) {
    QByteArray quoted = id.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    const QByteArray message = "remove: ID=\"" + quoted + "\"" + QByteArray(1, '\0');
    const xcb_atom_t begin = atom(c, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(c, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < message.size(); at += 20) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 8;
        ev.window = from;
        ev.type = at == 0 ? begin : more;
        std::memcpy(ev.data.data8, message.constData() + at,
                    size_t(qMin<qsizetype>(20, message.size() - at)));
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&ev));
    }
}

// The window whose _NET_WM_USER_TIME counts: the one named by
// _NET_WM_USER_TIME_WINDOW (Qt keeps the time on such a window), else itself.
xcb_window_t userTimeWindow(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, atom(c, "_NET_WM_USER_TIME_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    xcb_window_t found = w;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4) {
        found = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return found;
}

void takeX11Activation(QWidget* window, const QString& startupId) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (c == nullptr) {
        return;
    }
    const xcb_window_t w = xcb_window_t(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (!startupId.isEmpty()) {
        const QByteArray id = startupId.toUtf8();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_STARTUP_ID"),
                            atom(c, "UTF8_STRING"), 8, uint32_t(id.size()), id.constData());
        sendStartupRemove(c, root, w, startupId);
    }
    xcb_timestamp_t time = timeOfStartupId(startupId);
    if (time == 0) {
        time = serverTimeNow();
    }
    if (time != XCB_CURRENT_TIME) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, userTimeWindow(c, w),
                            atom(c, "_NET_WM_USER_TIME"), XCB_ATOM_CARDINAL, 32, 1, &time);
    }
    // The request to activate, as an application makes it, with that time.
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = w;
    ev.type = atom(c, "_NET_ACTIVE_WINDOW");
    ev.data.data32[0] = 1; // from an application
    ev.data.data32[1] = time;
    ev.data.data32[2] = XCB_NONE;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(c);
}

} // namespace
#endif

void raiseWithActivation(QWidget* window, const QString& activationToken, const QString& startupId,
                         const std::function<void()>& raise) {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")) && !activationToken.isEmpty()) {
        // Qt's next activation of a window uses it, and clears it.
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    }
    raise();
#ifdef VELMORADO_HAVE_XCB
    if (platform == QLatin1String("xcb")) {
        takeX11Activation(window, startupId);
    }
#else
    Q_UNUSED(window);
    Q_UNUSED(startupId);
#endif
}

} // namespace ui
