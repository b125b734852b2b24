#!/usr/bin/env bash
# Installs what the build needs, then configures and builds Quorvel.
#   scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
# A script that builds more than once checks the packages once at its start
# and exports QUORVEL_DEPS_CHECKED=1; this script then leaves them alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
shift || true

if [[ ${QUORVEL_DEPS_CHECKED:-} != 1 ]]; then
  bash "$here/install-deps.sh"
fi
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
