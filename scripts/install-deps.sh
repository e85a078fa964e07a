#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only what is missing is installed; run as root or with sudo available.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  libarchive-dev libzstd-dev libattr1-dev libacl1-dev liblz4-dev
  libarchive-tools 7zip zstd attr unar python3-rarfile zlib1g-dev
  xvfb xauth fonts-dejavu-core time
  clang-format
  librsvg2-bin desktop-file-utils trayer
  strace e2fsprogs
  haskell-gtk-sni-tray-utils haskell-status-notifier-item-utils
  libxcb1-dev openbox x11-utils xdotool dbus dbus-x11
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
