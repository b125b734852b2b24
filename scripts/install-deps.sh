#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quorvel need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev qt6-tools-dev qt6-tools-dev-tools
  qt6-l10n-tools libgl-dev libqt6opengl6-dev libvulkan-dev
  libpcre2-dev
  qt6-qpa-plugins
  xvfb xauth x11-apps imagemagick
  fonts-dejavu-core fonts-wine xdotool
  clang libclang-rt-14-dev llvm clang-format-14
  libtelnet-dev
  python3
  dbus dbus-daemon
  desktop-file-utils appstream lintian dpkg-dev gzip
)

bash "$(dirname "$0")/install-packages.sh" "build and test" "${PACKAGES[@]}"
