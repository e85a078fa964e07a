#!/usr/bin/env bash
# Runs a window test program on a real X server (Xvfb, 1280 x 1024) that has a
# system tray (trayer), so that QSystemTrayIcon finds one. Exits 77, which
# CTest reads as skipped, when either is missing.
#
#   bash with_tray.sh TEST_PROGRAM [TEST FUNCTIONS...]
set -u
for tool in xvfb-run trayer; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    trayer --expand false --widthtype pixel --width 64 --heighttype pixel --height 24 &
    tray=$!
    sleep 1
    VELMORADO_TEST_PLATFORM=xcb "$@"
    rc=$?
    kill $tray 2>/dev/null
    exit $rc' with-tray "$@"
