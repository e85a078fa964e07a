#!/usr/bin/env bash
# Runs a window test program on Xvfb with a window manager (openbox) and a
# StatusNotifierItem tray on a private session bus: status-notifier-watcher is
# the org.kde.StatusNotifierWatcher and gtk-sni-tray-standalone the host, so Qt
# registers its tray icon over D-Bus, and the host calls Activate on it when the icon in its
# bar is clicked. The tests find the icon in the bar named by VELMORADO_SNI_HOST
# and click it with xdotool. Exits 77 (CTest: skipped) when a tool is missing.
#   bash with_sni_tray.sh TEST_PROGRAM [TEST FUNCTIONS...]
for tool in xvfb-run dbus-run-session dbus-send openbox status-notifier-watcher \
    gtk-sni-tray-standalone xdotool xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash -c '
    export NO_AT_BRIDGE=1 # no accessibility bus for the host
    # Waits, ten seconds at most, for a D-Bus call to answer true.
    untilTrue() {
        for _ in $(seq 50); do
            dbus-send --session --print-reply "$@" 2>/dev/null | grep -q "boolean true" && return
            sleep 0.2
        done
    }
    openbox >/dev/null 2>&1 & wm=$!
    # The watcher first and on its own: a host that starts one itself (its
    # --watcher) races with registering on it and sometimes ends at once.
    status-notifier-watcher >/dev/null 2>&1 & watcher=$!
    untilTrue --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.kde.StatusNotifierWatcher
    gtk-sni-tray-standalone --bottom --size 32 --color "#204060" >/dev/null 2>&1 & host=$!
    # Qt takes the D-Bus tray only once a host is registered with the watcher.
    untilTrue --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:IsStatusNotifierHostRegistered
    VELMORADO_TEST_PLATFORM=xcb VELMORADO_SNI_HOST=gtk-sni-tray-standalone "$@"; rc=$?
    kill $host $watcher $wm 2>/dev/null; exit $rc' with-sni-tray "$@"
