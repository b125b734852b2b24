#!/usr/bin/env bash
# Cross-builds Quorvel for 64-bit Windows on Debian and tests it under Wine:
#   1. installs the MinGW-w64 cross compilers, Wine and NSIS (idempotent);
#   2. takes a Qt for Windows: $QUORVEL_QT_WIN, else the prefix that
#      scripts/windows-qt.sh builds, else the ready one in
#      ../shared/third_party/ (unpacked once outside the tree);
#   3. builds Quorvel.exe, k4sim.exe and the tests into build-win/, with Wine
#      as CMake's cross-compiling emulator;
#   4. builds the installer Quorvel-<version>-setup.exe and the portable zip;
#   5. runs the ctest suite under Wine (a fresh private WINEPREFIX in
#      build-win/, a private Xvfb display for the windows platform); the
#      tests labelled posix in the Linux build are not built here; the suite
#      includes the installer's silent install, start and uninstall.
#   scripts/windows.sh [BUILD_DIR]
# Exits 77 (and says why) when no Qt for Windows is at hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build-win}
third_party=$root/../shared/third_party
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel
qt_version=6.4.2
qt_name=qt$qt_version-win64-mingw-static

# 1. Packages.
PACKAGES=(
  cmake ninja-build pkg-config libpcre2-dev qt6-base-dev-tools
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 nsis
  xvfb xauth x11-utils xdotool imagemagick
)
bash "$here/install-packages.sh" "Windows build" "${PACKAGES[@]}"

# 2. Qt for Windows.
qt=${QUORVEL_QT_WIN:-}
if [[ -z $qt && -f $cache/$qt_name/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
  qt=$cache/$qt_name
fi
if [[ -z $qt && -f $third_party/$qt_name.tar.xz ]]; then
  ready=$cache/ready
  if [[ ! -f $ready/$qt_name/.unpacked ]]; then
    echo "Unpacking the ready Qt for Windows into $ready"
    rm -rf "$ready/$qt_name"
    mkdir -p "$ready"
    tar -xJf "$third_party/$qt_name.tar.xz" -C "$ready"
    touch "$ready/$qt_name/.unpacked"
  fi
  qt=$ready/$qt_name
fi
if [[ -z $qt || ! -f $qt/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
  echo "No Qt for Windows: neither $cache/$qt_name (scripts/windows-qt.sh) nor" \
       "$third_party/$qt_name.tar.xz is present."
  exit 77
fi
echo "Qt for Windows: $qt"

# Wine: a private prefix in the build folder, silent.
mkdir -p "$build"
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono/Gecko install prompts
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi

# A private X display for Wine's windows (the tests use the windows platform).
xvfb_pid=
cleanup() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
  fi
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
display=
for n in $(seq 140 199); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    sleep 1
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      display=:$n
      break
    fi
    xvfb_pid=
  fi
done
if [[ -z $display ]]; then
  echo "No free X display for Xvfb."
  exit 1
fi
export DISPLAY=$display

# One Wine session for the whole build and test run, started here with no
# terminal or pipe of ours: the server and the prefix's services then belong
# to no test, so none of them holds a test's output open after it ends (ctest
# would wait on it), and no test pays for starting them.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine wineboot </dev/null >/dev/null 2>&1 || true

# 3. Build.
start=$(date +%s)
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh" >/dev/null
cmake --build "$build" -j2
echo "== Windows build: $(( $(date +%s) - start ))s"

# 4. Installer and zip.
start=$(date +%s)
cmake --build "$build" --target windows_packages
version=$(sed -n 's/^FileVersion=//p' "$root/src/AppVersion/VersionInfo.txt")
ls -l "$build/Quorvel-$version-setup.exe" "$build/Quorvel-$version-win64.zip"
echo "== Windows packages: $(( $(date +%s) - start ))s"

# 5. Tests under Wine.
start=$(date +%s)
status=0
(cd "$build" && ctest --output-on-failure -j2 -LE soak) || status=$?
echo "== Windows tests under Wine: $(( $(date +%s) - start ))s"
exit $status
