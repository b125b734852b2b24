#!/usr/bin/env bash
# Installs what is needed, builds Quorvel and runs every test, headless.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build

bash "$here/build.sh" "$build"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
