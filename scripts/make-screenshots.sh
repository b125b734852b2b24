#!/usr/bin/env bash
# Makes the README pictures by running the real program on a virtual X
# display (Xvfb) and driving it with xdotool, as a user would. The simulator
# listens on loopback only.
#   scripts/make-screenshots.sh [SECONDS_OF_CAPTURE]
#     the Linux build: the window as designed (docs/window.png) and the
#     program polling the simulator with a capture running (docs/running.png);
#   scripts/make-screenshots.sh --windows [SECONDS_OF_CAPTURE]
#     the cross build of scripts/windows.sh under Wine (build-win/), with the
#     frame Wine draws itself, so the caption read from the executable's own
#     version resource shows: Quorvel.exe polling k4sim.exe with a capture
#     running (docs/windows.png).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
windows=
if [[ ${1:-} == --windows ]]; then
  windows=yes
  shift
fi
capture_seconds=${1:-90}

work=$(mktemp -d)
display=:97
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [[ -n $windows ]] && wineserver -k 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [[ -n $windows ]]; then
  build=$root/build-win
  [[ -f $build/Quorvel.exe && -f $build/k4sim.exe ]] || { echo "no $build/Quorvel.exe: run scripts/windows.sh first" >&2; exit 1; }
  # A prefix of its own: Wine draws the frame and caption itself (there is
  # no window manager on Xvfb to do it).
  export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
  simulator=(wine "$build/k4sim.exe")
  program=(wine "$build/Quorvel.exe")
else
  build=$root/build
  bash "$here/build.sh" "$build"
  simulator=("$build/tools/k4sim/k4sim")
  program=("$build/src/app/quorvel")
fi

Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1

"${simulator[@]}" --host 127.0.0.1 --port 9200 --seed 11 >"$work/sim.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/sim.out" && break; sleep 0.1; done
grep -q listening "$work/sim.out" || { echo "k4sim could not listen on 127.0.0.1:9200" >&2; exit 1; }

(cd "$work" && exec "${program[@]}") &
pids+=($!)
win=""
for _ in $(seq 300); do
  win=$(xdotool search --onlyvisible --name '^Quorvel' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1

# The clicks below are in the window's own coordinates (1013 x 485); a frame
# drawn around it moves them by its border and caption.
eval "$(xdotool getwindowgeometry --shell "$win")"
left=$(((WIDTH - 1013) / 2))
top=$((HEIGHT - 485 - left))

if [[ -z $windows ]]; then
  # No window manager here: the window has not been activated yet, so it
  # shows the design state.
  import -window "$win" "$root/docs/window.png"
fi

click() { xdotool mousemove --window "$win" $((left + $1)) $((top + $2)) click 1; sleep 0.3; }
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
if [[ -n $windows ]]; then
  import -window "$win" "$root/docs/windows.png"
  echo "wrote docs/windows.png"
else
  import -window "$win" "$root/docs/running.png"
  echo "wrote docs/window.png and docs/running.png"
fi
