#!/usr/bin/env bash
# Fails when a library below the windows includes a QtWidgets header or a
# header of src/ui/: the engine, the settings, the service control and the
# start-up decisions must build and run without widgets.
#   check_layering.sh SRC_DIR QTWIDGETS_INCLUDE_DIR
set -euo pipefail
src=$1
widgets=$2
[ -d "$widgets" ] || { echo "no QtWidgets include folder at '$widgets'"; exit 1; }

# Every header name that QtWidgets provides (QWidget, QMessageBox, qwidget.h, ...).
names=$(mktemp)
trap 'rm -f "$names"' EXIT
find "$widgets" -maxdepth 1 -type f -printf '%f\n' | sort -u >"$names"
[ -s "$names" ] || { echo "no headers found in $widgets"; exit 1; }

layers=()
for layer in platform config engine service app; do
    layers+=("$src/$layer")
done
# file:line:#include <X> for every include of the layers, checked in one go.
if grep -rHn -E '^[[:space:]]*#[[:space:]]*include' --include='*.cpp' --include='*.h' "${layers[@]}" |
    awk -v names="$names" '
        BEGIN { while ((getline n < names) > 0) widget[n] = 1 }
        {
            if (!match($0, /include[[:space:]]*[<"][^>"]+[>"]/)) next
            header = substr($0, RSTART, RLENGTH)
            sub(/^include[[:space:]]*[<"]/, "", header); sub(/[>"]$/, "", header)
            base = header; sub(/^QtWidgets\//, "", base)
            if (header ~ /^ui\// || header ~ /^QtWidgets\// || (base in widget)) {
                split($0, at, ":")
                print at[1] ":" at[2] ": includes " header " (a window header below src/ui)"
                bad = 1
            }
        }
        END { exit bad ? 0 : 1 }'; then
    exit 1
fi
echo "layering kept: no window header below src/ui"
