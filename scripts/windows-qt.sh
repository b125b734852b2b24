#!/usr/bin/env bash
# Builds the Qt for Windows that scripts/windows.sh cross-builds against:
# Qt 6.4.2 qtbase and qtcharts for x86_64-w64-mingw32, static, release,
# against the host's Qt 6.4.2 tools (QT_HOST_PATH=/usr), leaving out what the
# program and its tests do not use (SQL, D-Bus, OpenGL, Vulkan, Direct2D,
# examples, Qt's own tests). About 40 minutes on 2 cores.
#   scripts/windows-qt.sh [PREFIX]
# PREFIX defaults to ~/.cache/quorvel/qt6.4.2-win64-mingw-static, where
# scripts/windows.sh looks for it; the work folder is
# ~/.cache/quorvel/qt-build (QUORVEL_QT_WORK), both outside the tree.
# Sources: Debian's source packages qt6-base and qt6-charts (the orig
# tarballs, which are the upstream trees; Debian's patches are not applied),
# fetched with apt-get source after adding a deb-src entry. A mirror that
# does not serve qt6-charts is covered by the upstream tarball at
# QUORVEL_QTCHARTS_TARBALL, by default ../shared/third_party/ beside the repo.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
third_party=$root/../shared/third_party
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel
version=6.4.2
prefix=${1:-$cache/qt$version-win64-mingw-static}
work=${QUORVEL_QT_WORK:-$cache/qt-build}
charts_tarball=${QUORVEL_QTCHARTS_TARBALL:-$third_party/qtcharts-everywhere-src-$version.tar.xz}
recipe=$root/packaging/windows/qt
toolchain=$recipe/mingw-w64-posix.toolchain.cmake

PACKAGES=(
  cmake ninja-build perl python3 dpkg-dev xz-utils patch
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  qt6-base-dev qt6-base-dev-tools
)
bash "$here/install-packages.sh" "Qt for Windows build" "${PACKAGES[@]}"
export DEBIAN_FRONTEND=noninteractive

# A deb-src entry for the suites the binary entries name, once.
add_deb_src() {
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 1
  fi
  local list=/etc/apt/sources.list.d/quorvel-deb-src.sources
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$list"
  elif [[ -f /etc/apt/sources.list ]]; then
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list >"${list%.sources}.list"
  else
    echo "No apt sources to derive a deb-src entry from." >&2
    exit 1
  fi
  echo "Added a deb-src entry ($list)."
}
if add_deb_src; then
  apt-get update -q
fi

mkdir -p "$work/src"
cd "$work/src"

# qtbase: the orig tarball of Debian's qt6-base.
base_orig=$(ls qt6-base_$version*.orig.tar.xz 2>/dev/null | head -1 || true)
if [[ -z $base_orig ]]; then
  apt-get source --download-only qt6-base
  base_orig=$(ls qt6-base_$version*.orig.tar.xz 2>/dev/null | head -1 || true)
  if [[ -z $base_orig ]]; then
    echo "The mirror's qt6-base is not Qt $version." >&2
    exit 1
  fi
fi
# qtcharts: Debian's qt6-charts where the mirror serves it, else upstream's.
charts_orig=$(ls qt6-charts_$version*.orig.tar.xz 2>/dev/null | head -1 || true)
if [[ -z $charts_orig ]]; then
  if apt-get source --download-only qt6-charts 2>/dev/null &&
     ls qt6-charts_$version*.orig.tar.xz >/dev/null 2>&1; then
    charts_orig=$(ls qt6-charts_$version*.orig.tar.xz | head -1)
  elif [[ -f $charts_tarball ]]; then
    echo "The mirror does not serve qt6-charts: using $charts_tarball"
    charts_orig=$charts_tarball
  else
    echo "No qtcharts source: the mirror does not serve qt6-charts and $charts_tarball is missing." >&2
    exit 1
  fi
fi

rm -rf qtbase qtcharts
mkdir qtbase qtcharts
tar -xJf "$base_orig" -C qtbase --strip-components=1
tar -xJf "$charts_orig" -C qtcharts --strip-components=1
# Without OpenGL the Windows platform plugin of 6.4.2 does not compile, and
# without Direct2D it links a DirectWrite font database Qt Gui leaves out;
# the print engine refers to the DirectWrite font engine Qt Gui leaves out
# too (a Qt without this second patch needs the stand-in the program's build
# adds, src/chart/PrintEngineLinkWin.cpp).
patch -d qtbase -p1 <"$recipe/qtbase-$version-windows-no-opengl.patch"
patch -d qtbase -p1 <"$recipe/qtbase-$version-printsupport-no-direct2d.patch"

# qtbase.
rm -rf "$work/build-qtbase" "$work/build-qtcharts"
mkdir -p "$work/build-qtbase"
cd "$work/build-qtbase"
cmake "$work/src/qtbase" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_direct2d=OFF \
  -DFEATURE_tabletevent=OFF -DQT_FEATURE_system_zlib=OFF -DINPUT_openssl=no
# tabletevent is off because Debian's dfsg tarball drops the wintab.h header.
ninja -j"$(nproc)"
ninja install

# qtcharts, configured by the qtbase just installed.
mkdir -p "$work/build-qtcharts"
cd "$work/build-qtcharts"
"$prefix/bin/qt-configure-module" "$work/src/qtcharts" -- -G Ninja -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
ninja -j"$(nproc)"
ninja install

# Relocatable: the toolchain file beside qt.toolchain.cmake, which loads it
# relative to its own folder.
cp "$toolchain" "$prefix/lib/cmake/Qt6/mingw-w64-posix.toolchain.cmake"
sed -i -E 's#^set\(__qt_initially_configured_toolchain_file ".*"\)#set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.toolchain.cmake")#' \
  "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
echo "Qt $version for Windows installed in $prefix"
