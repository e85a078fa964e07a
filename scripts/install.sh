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
# It never replaces a file it did not put there: when one of the names it
# would write is taken by a file of yours (your own ~/bin/rar, say), or by
# one of its files that has been changed since, it names them, installs
# nothing and ends with status 1. What it installed is listed, with a
# checksum of each file and the folders it had to make, in DIR/.velmorado-install.
#
# Without --from it first installs the build's Debian packages and builds
# (scripts/build.sh), then installs from build/bin.
#
# --uninstall removes nothing while a copy of this DIR's velmorado runs (it
# would go on without its archiver) and asks you to quit it first. Then it
# removes exactly what that list names: a listed file that has
# been changed since it was installed is kept and named, and a folder goes
# only when the installation made it and it is empty (a folder that was there
# before stays, and so do your parameters, pairs and logs in DIR, which are
# listed). It also stops, disables and deletes the service unit that the
# program registered for this DIR's velmorado (velmorado.service in
# ~/.local/share/systemd/user), through "systemctl --user" where it answers.
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
prefix=${prefix%/}

data=${XDG_DATA_HOME:-$HOME/.local/share}
apps=$data/applications
hicolor=$data/icons/hicolor
desktop_file=$apps/velmorado.desktop
manifest=$prefix/.velmorado-install
manifest_header="# velmorado install manifest 2"
png_sizes=(16 22 24 32 48 64 128 256)
# Where the program registers its service (service/ServiceControl).
unit_name=velmorado.service
unit_file=$data/systemd/user/$unit_name
unit_links=${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user

# The list is one entry a line, fields split by tabs.
for path in "$prefix" "$data"; do
    case "$path" in
    *$'\t'* | *$'\n'*)
        echo "install.sh: '$path' holds a tab or a line break; choose another folder" >&2
        exit 2
        ;;
    esac
done

# Every file the installation owns outside the program folder.
menu_and_icons() {
    echo "$desktop_file"
    echo "$hicolor/scalable/apps/velmorado.svg"
    for s in "${png_sizes[@]}"; do
        echo "$hicolor/${s}x${s}/apps/velmorado.png"
    done
}

checksum() {
    local sum
    sum=$(sha256sum <"$1") && echo "${sum%% *}"
}

# True when path is a name this installation writes: one of the program's
# files in the program folder, a picture in its help-images folder, the menu
# entry or an icon. The list names nothing else that --uninstall may remove,
# whatever it says: it is a file in the program folder, which anyone may have
# edited (another user too, when the folder is shared).
is_install_place() {
    local path=$1 dir=${1%/*} name=${1##*/} size
    case "$name" in "" | . | ..) return 1 ;; esac
    case "$path" in
    */applications/velmorado.desktop | */icons/hicolor/scalable/apps/velmorado.svg) return 0 ;;
    */icons/hicolor/*/apps/velmorado.png)
        size=${path%/apps/velmorado.png} size=${size##*/}
        case "$size" in *[!0-9x]* | x* | *x | *x*x*) ;; *x*) return 0 ;; esac
        ;;
    esac
    case "$name" in
    velmorado | rar | net | VelmoradoHelpEN.htm | VelmoradoHelpFR.htm)
        [ "$dir" -ef "$prefix" ] && return 0
        ;;
    esac
    [ "$dir" -ef "$prefix/help-images" ]
}

# The list of an earlier installation: owned[path] holds the checksums the
# file may have (blank-separated; "-" for any content), made_dirs the folders
# it made, refused the entries that name no place of an installation. A list
# without the header is the older one: names relative to the program folder,
# no checksums, and the menu entry and icons were installed with it.
declare -A owned=()
made_dirs=()
refused=()
load_manifest() {
    [ -f "$manifest" ] || return 0
    local first kind a b dir f
    local -a dirs=()
    IFS= read -r first <"$manifest" || true
    if [ "$first" != "$manifest_header" ]; then
        while IFS= read -r a; do
            case "$a" in
            "") ;;
            velmorado | rar | net | VelmoradoHelpEN.htm | VelmoradoHelpFR.htm | help-images/*)
                if is_install_place "$prefix/$a"; then
                    owned[$prefix/$a]="-"
                else
                    refused+=("$prefix/$a")
                fi
                ;;
            *) refused+=("$prefix/$a") ;;
            esac
        done <"$manifest"
        while IFS= read -r a; do
            owned[$a]="-"
        done < <(menu_and_icons)
        made_dirs+=("$prefix/help-images")
        return 0
    fi
    while IFS=$'\t' read -r kind a b; do
        case "$kind" in
        file)
            # A checksum, not "any content": only the older list had none.
            if [[ $a =~ ^[0-9a-f]{64}$ ]] && is_install_place "$b"; then
                owned[$b]="${owned[$b]:+${owned[$b]} }$a"
            else
                refused+=("$b")
            fi
            ;;
        dir) dirs+=("$a") ;;
        esac
    done < <(tail -n +2 "$manifest")
    # A folder it made holds one of its files, or is the program folder or
    # its help-images folder.
    for dir in "${dirs[@]}"; do
        if [ "$dir" = "$prefix" ] || [ "$dir" = "$prefix/help-images" ]; then
            made_dirs+=("$dir")
            continue
        fi
        for f in "${!owned[@]}"; do
            if [[ $f == "$dir"/* ]]; then
                made_dirs+=("$dir")
                continue 2
            fi
        done
        refused+=("$dir")
    done
}

# True when path is a file of an earlier installation, unchanged since.
is_ours() {
    local path=$1 sum s
    [ -n "${owned[$path]+x}" ] && [ -f "$path" ] && [ ! -L "$path" ] || return 1
    for s in ${owned[$path]}; do
        [ "$s" = "-" ] && return 0
    done
    sum=$(checksum "$path") || return 1
    for s in ${owned[$path]}; do
        [ "$s" = "$sum" ] && return 0
    done
    return 1
}

# Writes the list (entries on standard input) in place of the old one,
# whole or not at all.
write_manifest() {
    local tmp
    tmp=$(mktemp "$prefix/.velmorado-install.XXXXXX")
    { echo "$manifest_header"; cat; } >"$tmp"
    chmod 644 "$tmp"
    mv -fT -- "$tmp" "$manifest"
}

refresh_icon_cache() {
    # Only a cache that is already there must be brought up to date; none
    # is made (the desktops read the folders without one).
    if [ -f "$hicolor/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null; then
        gtk-update-icon-cache -q -t -f "$hicolor" || true
    fi
}

# The unit's ExecStart line for a program path, written as the program
# writes it: backslash and double quote escaped, % and $ doubled.
exec_start_line() {
    printf 'ExecStart="%s"\n' "$(printf '%s' "$1" |
        sed -e 's/\\/\\\\/g' -e 's/"/\\"/g' -e 's/%/%%/g' -e 's/\$/$$/g')"
}

# The service unit, when it starts this program folder's velmorado: stopped,
# disabled, unmasked, deleted. systemctl may be missing or have no user
# service manager to talk to; the links it would have removed are then
# removed here, and only those that are the unit's.
remove_service_unit() {
    [ -f "$unit_file" ] || return 0
    local real
    real=$(realpath -m -- "$prefix")
    if ! grep -qFx -e "$(exec_start_line "$prefix/velmorado")" \
        -e "$(exec_start_line "$real/velmorado")" -- "$unit_file"; then
        echo "Kept the service unit $unit_file: it starts another program than $prefix/velmorado"
        return 0
    fi
    local managed=0
    if command -v systemctl >/dev/null; then
        managed=1
        for verb in stop disable unmask; do
            if ! systemctl --user "$verb" "$unit_name" >/dev/null 2>&1; then
                managed=0
            fi
        done
    fi
    if [ "$managed" -eq 0 ]; then
        echo "No user service manager answered: the service's links are removed by hand."
    fi
    local wants=$unit_links/default.target.wants/$unit_name mask=$unit_links/$unit_name
    if [ -L "$wants" ] && [ "$(readlink -- "$wants")" = "$unit_file" ]; then
        rm -f -- "$wants"
    fi
    if [ -L "$mask" ] && [ "$(readlink -- "$mask")" = /dev/null ]; then
        rm -f -- "$mask"
    fi
    rm -f -- "$unit_file"
    if command -v systemctl >/dev/null; then
        systemctl --user daemon-reload >/dev/null 2>&1 || true
    fi
    echo "Removed the service unit $unit_file"
}

if [ "$uninstall" -eq 1 ]; then
    if [ ! -f "$manifest" ]; then
        echo "install.sh: no installation in $prefix (no $manifest): nothing removed" >&2
        exit 1
    fi
    load_manifest
    # A copy that runs from this folder would go on without its archiver:
    # each pass would take a user's file in hand and find nothing to pack
    # it with. The program's own --status tells whether one answers there
    # (asked only of a velmorado that knows it: an older one would start).
    if [ -x "$prefix/velmorado" ] && is_ours "$prefix/velmorado" &&
        grep -qaF -- "--status [--json]" "$prefix/velmorado"; then
        answer=0
        timeout 60 "$prefix/velmorado" --status >/dev/null 2>&1 </dev/null || answer=$?
        case "$answer" in
        0 | 1)
            echo "install.sh: Velmorado runs from $prefix: quit it first (the service:" \
                "systemctl --user stop $unit_name). Nothing was removed." >&2
            exit 1
            ;;
        esac
    fi
    kept=()
    for path in "${!owned[@]}"; do
        if is_ours "$path"; then
            rm -f -- "$path"
        elif [ -e "$path" ] || [ -L "$path" ]; then
            kept+=("$path")
        fi
    done
    remove_service_unit
    rm -f -- "$manifest"
    # Deepest first, so that a folder made inside another made one goes first.
    while IFS= read -r dir; do
        [ -n "$dir" ] && rmdir -- "$dir" 2>/dev/null || true
    done < <(printf '%s\n' "${made_dirs[@]}" | awk '{ print length($0) "\t" $0 }' |
        sort -rn | cut -f2-)
    refresh_icon_cache
    if [ "${#kept[@]}" -gt 0 ]; then
        echo "Kept, changed since they were installed:"
        printf '  %s\n' "${kept[@]}" | sort
    fi
    if [ "${#refused[@]}" -gt 0 ]; then
        echo "Left alone, named by $manifest but no place of an installation:"
        printf '  %s\n' "${refused[@]}" | sort -u
    fi
    if [ -d "$prefix" ] && printf '%s\n' "${made_dirs[@]}" | grep -qFx -- "$prefix"; then
        echo "Kept in $prefix (your parameters, folder pairs and logs):"
        ls -A "$prefix" | sed 's/^/  /'
    fi
    echo "Velmorado removed."
    exit 0
fi

for tool in rsvg-convert desktop-file-validate sha256sum; do
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

# Everything is made in a scratch folder first: the menu entry, so that an
# entry that does not validate stops the installation before anything is
# written, and the icons. The program's path is quoted as the desktop entry
# format asks ("\", """, "`" and "$" escaped inside the quotes, "%" doubled).
work=$(mktemp -d)
placing=""
trap 'rm -rf "$work"; [ -z "$placing" ] || rm -f -- "$placing"' EXIT
exec_path=$(printf '%s' "$prefix/velmorado" | sed -e 's/[\\"`$]/\\\\&/g' -e 's/%/%%/g')
sed -e "s|@EXEC@|\"$(printf '%s' "$exec_path" | sed -e 's/[|&\\]/\\&/g')\"|" \
    "$here/packaging/velmorado.desktop.in" >"$work/velmorado.desktop"
if ! desktop-file-validate "$work/velmorado.desktop"; then
    echo "install.sh: the menu entry does not validate; nothing installed" >&2
    exit 1
fi
svg=$here/src/ui/resources/velmorado.svg
for s in "${png_sizes[@]}"; do
    rsvg-convert -w "$s" -h "$s" -f png -o "$work/velmorado-$s.png" "$svg"
done

# What goes where: sources[i] is installed as targets[i] with modes[i].
sources=() targets=() modes=()
add() { sources+=("$1"); targets+=("$2"); modes+=("$3"); }
for name in velmorado rar net VelmoradoHelpEN.htm VelmoradoHelpFR.htm; do
    mode=644
    case "$name" in velmorado | rar | net) mode=755 ;; esac
    if [ -f "$from/$name" ]; then
        add "$from/$name" "$prefix/$name" "$mode"
    fi
done
if [ -d "$from/help-images" ]; then
    while IFS= read -r image; do
        add "$from/help-images/$image" "$prefix/help-images/$image" 644
    done < <(cd "$from/help-images" && ls -A)
fi
add "$work/velmorado.desktop" "$desktop_file" 644
add "$svg" "$hicolor/scalable/apps/velmorado.svg" 644
for s in "${png_sizes[@]}"; do
    add "$work/velmorado-$s.png" "$hicolor/${s}x${s}/apps/velmorado.png" 644
done

# Nothing is written while a name is taken by something that is not an
# unchanged file of an earlier installation.
load_manifest
taken=()
for target in "${targets[@]}" "$manifest"; do
    if [ "$target" = "$manifest" ]; then
        if [ -L "$target" ] || { [ -e "$target" ] && [ ! -f "$target" ]; }; then
            taken+=("$target")
        fi
    elif { [ -e "$target" ] || [ -L "$target" ]; } && ! is_ours "$target"; then
        taken+=("$target")
    fi
    dir=$(dirname -- "$target")
    while [ "$dir" != / ] && [ ! -d "$dir" ]; do
        if [ -e "$dir" ] || [ -L "$dir" ]; then
            taken+=("$dir")
        fi
        dir=$(dirname -- "$dir")
    done
done
if [ "${#taken[@]}" -gt 0 ]; then
    {
        echo "install.sh: these names are taken by files that this installation did not put"
        echo "there (yours, another installation's, or changed since it put them there):"
        printf '  %s\n' "${taken[@]}" | sort -u
        echo "Move them away or choose another --prefix. Nothing was installed."
    } >&2
    exit 1
fi

# The folders that are not there yet: made here, removed again by --uninstall.
new_dirs=()
for target in "${targets[@]}"; do
    dir=$(dirname -- "$target")
    while [ "$dir" != / ] && [ ! -d "$dir" ]; do
        new_dirs+=("$dir")
        dir=$(dirname -- "$dir")
    done
done

declare -A is_target=()
for target in "${targets[@]}"; do
    is_target[$target]=1
done
# The list's entries: the files this installation writes, with their new
# checksums; the files of the earlier list with the checksums it gave them
# (for the older list, which gave none, the checksum of what is there now);
# every folder made so far.
new_entries() {
    local i
    for i in "${!sources[@]}"; do
        printf 'file\t%s\t%s\n' "$(checksum "${sources[$i]}")" "${targets[$i]}"
    done
}
owned_entries() { # only those that are not written again, with "not-written"
    local path s
    for path in "${!owned[@]}"; do
        [ "${1:-}" = not-written ] && [ -n "${is_target[$path]+x}" ] && continue
        for s in ${owned[$path]}; do
            if [ "$s" = "-" ]; then
                [ -f "$path" ] || continue
                s=$(checksum "$path")
            fi
            printf 'file\t%s\t%s\n' "$s" "$path"
        done
    done
}
dir_entries() {
    local dir
    for dir in "${made_dirs[@]}" "${new_dirs[@]}"; do
        printf 'dir\t%s\n' "$dir"
    done
}

# The list names each new file before it is put in place, beside its old
# checksums: wherever this stops, every file it may have written is listed
# with the content it may have. Once all are in place, the old checksums of
# the files written again go.
mkdir -p -- "$prefix"
{ new_entries; owned_entries; dir_entries; } | sort -u | write_manifest

# Each file is copied beside its final name and renamed over it, so that a
# copy of the program that is running keeps its own.
for i in "${!sources[@]}"; do
    dir=$(dirname -- "${targets[$i]}")
    mkdir -p -- "$dir"
    placing=$(mktemp "$dir/.velmorado-install.XXXXXX")
    cp -- "${sources[$i]}" "$placing"
    chmod "${modes[$i]}" "$placing"
    mv -fT -- "$placing" "${targets[$i]}"
    placing=""
done
{ new_entries; owned_entries not-written; dir_entries; } | sort -u | write_manifest
refresh_icon_cache

echo "Velmorado installed in $prefix"
echo "Menu entry: $desktop_file"
