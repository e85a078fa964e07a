#!/usr/bin/env bash
# Takes the README's screenshots into docs/screenshots/: the main window in
# English and in French with the file lists shown, the pair parameters
# dialog, the log settings and the log viewer over a week of logs, drawn by
# the real widgets on a prepared program folder under Xvfb by
# velmorado_screenshots (tools/screenshots/take_screenshots.cpp).
#
#   bash scripts/screenshots.sh            (builds into build/ first)
#   BUILD_DIR=/path/to/build bash scripts/screenshots.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=${OUT_DIR:-$here/docs/screenshots}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target velmorado rar net velmorado_screenshots

work=$(mktemp -d /tmp/velmorado-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
program="$work/program"
data="$work/data"
mkdir -p "$program"
cp "$build/bin/velmorado" "$build/bin/rar" "$build/bin/net" "$program/"

# The folders of the pairs, with a few files of different sizes.
mkdir -p "$data/Incoming/Drafts" "$data/Archive" "$data/Outgoing" "$data/Reports"
head -c 1536 /dev/zero >"$data/Incoming/budget 2026.ods"
head -c 48213 /dev/zero >"$data/Incoming/Cover letter.odt"
head -c 812 /dev/zero >"$data/Incoming/notes.txt"
head -c 2400000 /dev/zero >"$data/Incoming/site plan.pdf"
head -c 35120 /dev/zero >"$data/Archive/RA000124.rar"
head -c 7340 /dev/zero >"$data/Archive/RA000125.rar"
head -c 1048576 /dev/zero >"$data/Archive/RA000126.rar"
head -c 96000 /dev/zero >"$data/Outgoing/Minutes.docx"
head -c 512 /dev/zero >"$data/Reports/week 49.csv"

# Hexadecimal text of a path: two digits per byte of its UTF-16LE form.
hex() {
    printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n' | tr 'a-f' 'A-F'
}
line() {
    printf '"%s","%s"\r\n' "$(hex "$1")" "$(hex "$2")"
}
{
    line "$data/Incoming" "$data/Archive"
    line "$data/Archive" "$data/Outgoing"
    line "$data/Reports" "$data/Backup"
    line "$data/Scans" ""
} >"$program/Velmorado.w"

# A week of daily logs, one of them from last month.
mkdir -p "$data/Logs"
for day in 2026-11-30 2026-12-01 2026-12-02 2026-12-03 2026-12-04 2026-12-05 2026-12-07; do
    printf '<html><body>%s</body></html>\n' "$day" >"$data/Logs/Log Velmorado $day.htm"
done

# Pair 2 uncompresses every 6th pass, pair 3 is switched off; pair 3's target
# and pair 4's source do not exist, and pair 4 has no target yet.
printf '%s\r\n' \
    '[Configuration]' 'Langue=0' 'Temporisation=10' 'AfficherFichiers=1' \
    '[Logs]' 'Logs=1' 'FichiersLogs=1' "PathLogs=$data/Logs" 'PurgeLogs=1' 'DelaiLogs=30' \
    '[Rar_1]' 'NbTemporisations=1' 'Rar=0' 'Enable=1' \
    '[Rar_2]' 'NbTemporisations=6' 'Rar=1' 'Enable=1' \
    '[Rar_3]' 'NbTemporisations=1' 'Rar=0' 'Enable=0' \
    '[Rar_4]' 'NbTemporisations=1' 'Rar=0' 'Enable=1' >"$program/Velmorado.ini"

mkdir -p "$out"
# The main window is captured from the screen under a window manager, so that
# its title bar shows (openbox and ImageMagick's import); without them, what
# the widgets draw.
if command -v openbox >/dev/null && command -v import >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        openbox & wm=$!
        sleep 1
        VELMORADO_FRAMED_CAPTURE=1 "$@"; rc=$?
        kill $wm
        exit $rc' framed "$build/bin/velmorado_screenshots" "$program" "$out"
else
    echo "screenshots.sh: openbox or imagemagick missing: the main window is taken without its" \
        "title bar (apt-get install openbox imagemagick)" >&2
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/bin/velmorado_screenshots" "$program" "$out"
fi
