#!/usr/bin/env bash
# Builds the Debian package quorvel_<version>_amd64.deb from the normal build:
#   scripts/package.sh [BUILD_DIR]
# Prints the package's path on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}

# The packages once, unless the calling script (scripts/test.sh) checked them.
if [[ ${QUORVEL_DEPS_CHECKED:-} != 1 ]]; then
  bash "$here/install-deps.sh"
  export QUORVEL_DEPS_CHECKED=1
fi
bash "$here/build.sh" "$build"
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^FileVersion=//p' "$root/src/AppVersion/VersionInfo.txt")
deb=$build/quorvel_${version}_$(dpkg --print-architecture).deb
if [[ ! -f $deb ]]; then
  echo "cpack did not produce $deb" >&2
  exit 1
fi
echo "$deb"
