#!/usr/bin/env bash
# Runs a window test program on Xvfb with a window manager (openbox) and a
# system tray (trayer, XEmbed) for QSystemTrayIcon; the tests drive the real
# pointer with xdotool and read the X server with xwininfo and xprop. Exits 77
# (CTest: skipped) when any of them is missing.
#   bash with_tray.sh TEST_PROGRAM [TEST FUNCTIONS...]
for tool in xvfb-run openbox trayer xdotool xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    openbox >/dev/null 2>&1 & wm=$!
    sleep 1
    trayer --expand false --widthtype pixel --width 64 --heighttype pixel --height 24 & tray=$!
    sleep 1; VELMORADO_TEST_PLATFORM=xcb "$@"; rc=$?
    kill $tray $wm 2>/dev/null; exit $rc' with-tray "$@"
