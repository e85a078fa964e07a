#!/usr/bin/env bash
# Runs a window test program on Xvfb with a system tray (trayer) for QSystemTrayIcon;
# exits 77 (CTest: skipped) when either is missing.
#   bash with_tray.sh TEST_PROGRAM [TEST FUNCTIONS...]
for tool in xvfb-run trayer; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    trayer --expand false --widthtype pixel --width 64 --heighttype pixel --height 24 & tray=$!
    sleep 1; VELMORADO_TEST_PLATFORM=xcb "$@"; rc=$?
    kill $tray 2>/dev/null; exit $rc' with-tray "$@"
