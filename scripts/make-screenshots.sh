#!/usr/bin/env bash
# Makes the README pictures: the window as designed (docs/window.png) and the
# program polling the simulator with a capture running (docs/running.png).
# Runs the real program on a virtual X display (Xvfb) and drives it with
# xdotool, as a user would. The simulator listens on loopback only.
#   scripts/make-screenshots.sh [SECONDS_OF_CAPTURE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build
capture_seconds=${1:-90}

bash "$here/build.sh" "$build"

work=$(mktemp -d)
display=:97
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1

"$build/tools/k4sim/k4sim" --host 127.0.0.1 --port 9200 --seed 11 >"$work/sim.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do grep -q listening "$work/sim.out" && break; sleep 0.1; done
grep -q listening "$work/sim.out" || { echo "k4sim could not listen on 127.0.0.1:9200" >&2; exit 1; }

(cd "$work" && exec "$build/src/app/quorvel") &
pids+=($!)
win=""
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --name '^Quorvel' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1

# No window manager here: the window has not been activated yet, so it shows
# the design state.
import -window "$win" "$root/docs/window.png"

click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.3; }
type_into() {
  click "$1" "$2"
  xdotool key --window "$win" ctrl+a BackSpace
  xdotool type --delay 30 "$3"
  sleep 0.2
}

xdotool windowfocus "$win"
sleep 1
type_into 428 140 127.0.0.1
click 53 142                      # Start Poller
type_into 718 78 2                # integration period: 2 s
type_into 925 182 demo            # file name suffix
click 556 135                     # Begin Capture
echo "capturing for $capture_seconds s"
sleep "$capture_seconds"
import -window "$win" "$root/docs/running.png"
echo "wrote docs/window.png and docs/running.png"
