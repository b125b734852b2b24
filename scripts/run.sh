#!/usr/bin/env bash
# Builds Quorvel and starts it against the bundled radio simulator k4sim,
# which listens on 127.0.0.1:9200 until the program exits.
#   scripts/run.sh            demo with the simulator
#   scripts/run.sh --radio    no simulator: for a real K4 on your network
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build

# The packages once: the build and the virtual display (xvfb-run) need them.
bash "$here/install-deps.sh"
export QUORVEL_DEPS_CHECKED=1
bash "$here/build.sh" "$build"

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ "${1:-}" != "--radio" ]; then
  "$build/tools/k4sim/k4sim" --host 127.0.0.1 --port 9200 &
  sim_pid=$!
  echo "k4sim is standing in for the radio on 127.0.0.1:9200."
  echo "Type 127.0.0.1 in the Host box, then press Start Poller."
fi

run=("$build/src/app/quorvel")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Quorvel on a virtual X display (Xvfb); nothing will be visible."
  run=(xvfb-run -a -s "-screen 0 1280x800x24" "${run[@]}")
fi
# Capture files land in the working directory the program was started from.
"${run[@]}"
