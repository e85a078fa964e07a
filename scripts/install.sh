#!/usr/bin/env bash
# Installs Velmorado for the current user, or removes it again.
#
#   bash scripts/install.sh [--prefix DIR] [--from BIN_DIR]
#   bash scripts/install.sh --uninstall [--prefix DIR]
#
# What it installs:
# - the program folder DIR (default ~/.local/opt/velmorado): velmorado, the
#   bundled archiver rar, net when it was built, the help documents and their
#   pictures. The program keeps its parameters, its folder pairs and (unless
#   told otherwise) its daily logs in this same folder, which is the user's
#   own; installing again replaces the program files and keeps those.
# - the menu entry velmorado.desktop in ~/.local/share/applications, checked
#   with desktop-file-validate;
# - the icon, as SVG and as PNG of the usual sizes (drawn with rsvg-convert),
#   in ~/.local/share/icons/hicolor.
# ($XDG_DATA_HOME replaces ~/.local/share where it is set.)
#
# Without --from it first installs the build's Debian packages and builds
# (scripts/build.sh), then installs from build/bin. --uninstall removes
# exactly what was installed; the program folder goes too unless it still
# holds files of the user's (parameters, pairs, logs), which are kept and
# listed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

prefix=${VELMORADO_PREFIX:-$HOME/.local/opt/velmorado}
from=""
uninstall=0
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix=${2:?--prefix needs a folder}; shift 2 ;;
    --prefix=*) prefix=${1#--prefix=}; shift ;;
    --from) from=${2:?--from needs a folder}; shift 2 ;;
    --from=*) from=${1#--from=}; shift ;;
    --uninstall) uninstall=1; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "install.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
done
case "$prefix" in
/*) ;;
*) prefix=$PWD/$prefix ;;
esac

data=${XDG_DATA_HOME:-$HOME/.local/share}
apps=$data/applications
hicolor=$data/icons/hicolor
desktop_file=$apps/velmorado.desktop
manifest=$prefix/.velmorado-install
png_sizes=(16 22 24 32 48 64 128 256)

# Every file the installation owns outside the program folder.
menu_and_icons() {
    echo "$desktop_file"
    echo "$hicolor/scalable/apps/velmorado.svg"
    for s in "${png_sizes[@]}"; do
        echo "$hicolor/${s}x${s}/apps/velmorado.png"
    done
}

refresh_icon_cache() {
    # Only a cache that is already there must be brought up to date; none
    # is made (the desktops read the folders without one).
    if [ -f "$hicolor/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null; then
        gtk-update-icon-cache -q -t -f "$hicolor" || true
    fi
}

# Removes a folder and its parents up to (not including) stop, while empty.
prune() {
    local dir=$1 stop=$2
    while [ "$dir" != "$stop" ] && [ "$dir" != "/" ] && rmdir "$dir" 2>/dev/null; do
        dir=$(dirname "$dir")
    done
}

if [ "$uninstall" -eq 1 ]; then
    if [ -f "$manifest" ]; then
        while IFS= read -r name; do
            [ -n "$name" ] && rm -f -- "$prefix/$name"
        done <"$manifest"
        rm -f -- "$manifest"
        rmdir "$prefix/help-images" 2>/dev/null || true
    else
        echo "install.sh: no installation found in $prefix; removing the menu entry and icons only"
    fi
    while IFS= read -r file; do
        rm -f -- "$file"
        prune "$(dirname "$file")" "$HOME"
    done < <(menu_and_icons)
    refresh_icon_cache
    if [ -d "$prefix" ]; then
        if rmdir "$prefix" 2>/dev/null; then
            prune "$(dirname "$prefix")" "$HOME"
        else
            echo "Kept in $prefix (your parameters, folder pairs and logs):"
            ls -A "$prefix" | sed 's/^/  /'
        fi
    fi
    echo "Velmorado removed."
    exit 0
fi

for tool in rsvg-convert desktop-file-validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "install.sh: $tool is missing (run bash scripts/install-deps.sh)" >&2
        exit 1
    fi
done

if [ -z "$from" ]; then
    bash "$here/scripts/build.sh"
    from=$here/build/bin
fi
from=$(cd "$from" && pwd)
for needed in velmorado rar VelmoradoHelpEN.htm VelmoradoHelpFR.htm; do
    if [ ! -f "$from/$needed" ]; then
        echo "install.sh: $from/$needed is missing: build first (bash scripts/build.sh)" >&2
        exit 1
    fi
done

# The menu entry first, so that an entry that does not validate stops the
# installation before anything is written. The program's path is quoted as
# the desktop entry format asks ("\", """, "`" and "$" escaped inside the
# quotes, "%" doubled).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec_path=$(printf '%s' "$prefix/velmorado" | sed -e 's/[\\"`$]/\\\\&/g' -e 's/%/%%/g')
sed -e "s|@EXEC@|\"$(printf '%s' "$exec_path" | sed -e 's/[|&\\]/\\&/g')\"|" \
    "$here/packaging/velmorado.desktop.in" >"$work/velmorado.desktop"
if ! desktop-file-validate "$work/velmorado.desktop"; then
    echo "install.sh: the menu entry does not validate; nothing installed" >&2
    exit 1
fi

# The program folder. Each file is copied beside its final name and renamed
# over it, so that a copy of the program that is running keeps its own.
files=(velmorado rar VelmoradoHelpEN.htm VelmoradoHelpFR.htm)
[ -f "$from/net" ] && files+=(net)
if [ -d "$from/help-images" ]; then
    while IFS= read -r image; do
        files+=("help-images/$image")
    done < <(cd "$from/help-images" && ls -A)
fi
mkdir -p "$prefix/help-images"
for name in "${files[@]}"; do
    mode=644
    case "$name" in velmorado | rar | net) mode=755 ;; esac
    tmp="$prefix/$(dirname "$name")/.$(basename "$name").new"
    install -m "$mode" "$from/$name" "$tmp"
    mv -f "$tmp" "$prefix/$name"
done
# What an earlier installation put there stays listed until an uninstall.
{
    [ -f "$manifest" ] && cat "$manifest"
    printf '%s\n' "${files[@]}"
} | sort -u >"$work/manifest"
install -m 644 "$work/manifest" "$manifest"

# The icon.
svg=$here/src/ui/resources/velmorado.svg
mkdir -p "$hicolor/scalable/apps"
install -m 644 "$svg" "$hicolor/scalable/apps/velmorado.svg"
for s in "${png_sizes[@]}"; do
    mkdir -p "$hicolor/${s}x${s}/apps"
    rsvg-convert -w "$s" -h "$s" -f png -o "$hicolor/${s}x${s}/apps/velmorado.png" "$svg"
done
refresh_icon_cache

mkdir -p "$apps"
install -m 644 "$work/velmorado.desktop" "$desktop_file"

echo "Velmorado installed in $prefix"
echo "Menu entry: $desktop_file"
