#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the program need.
# Idempotent: packages already present are skipped without touching apt.
set -euo pipefail

PKGS=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  libfluidsynth-dev timgm6mb-soundfont
  clang-14 libclang-rt-14-dev
  xvfb xauth x11-utils imagemagick xdotool trayer
  weston qt6-wayland libwayland-dev
  mobile-broadband-provider-info
  ppp
  nlohmann-json3-dev
  libsystemd-dev dbus
  desktop-file-utils appstream zsh fish
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
