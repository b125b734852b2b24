#!/usr/bin/env bash
# Builds Quorvel (reusing the build folder of scripts/build.sh) and runs every
# benchmark program in bench/, printing their tables. Benchmarks report
# whether each target is met; this script fails only when one cannot run.
#   scripts/bench.sh [--quick] [--no-build] [BUILD_DIR]
#     --quick      shorter runs: 15 s of polling, 16 MiB per telnet stream
#     --no-build   run what BUILD_DIR already holds
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

quick=0
build_first=1
while [[ ${1:-} == --* ]]; do
  case $1 in
    --quick) quick=1 ;;
    --no-build) build_first=0 ;;
    *) echo "usage: scripts/bench.sh [--quick] [--no-build] [BUILD_DIR]" >&2; exit 2 ;;
  esac
  shift
done
build=${1:-$root/build}

if ((build_first)); then
  bash "$here/build.sh" "$build"
fi

# Benchmarks talk to loopback only and show no window.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

failed=()
run() {
  local folder=$1 name=$2
  shift 2
  local exe=$build/bench/$folder/$name
  echo
  echo "=== $name $*"
  if [[ ! -x $exe ]]; then
    echo "not built: $exe"
    failed+=("$name")
    return
  fi
  if ! "$exe" "$@"; then
    failed+=("$name")
  fi
}

if ((quick)); then
  run chart_bench chart_bench --max 100000
  run telnet telnet_bench --mib 16 --runs 3
  run startup startup_bench
  run polling poll_bench --seconds 15
else
  run chart_bench chart_bench
  run telnet telnet_bench
  run startup startup_bench
  run polling poll_bench
fi

if ((${#failed[@]})); then
  echo
  echo "Could not run: ${failed[*]}"
  exit 1
fi
