#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: CMake's cross-compiling
# emulator, so the version generator and every ctest test run through it.
#   scripts/wine-run.sh PROGRAM.exe [arguments...]
# WINEPREFIX should name the build's private prefix (scripts/windows.sh sets
# it); WINEDEBUG defaults to silence.
# A Qt Test program's own output does not reach a pipe under Wine, so a test
# program (Test*.exe without an -o of its own) writes its log to a file, which
# is printed afterwards; the program's exit code is kept.
# Wine's own output goes to a file as well: a Wine process may start the
# prefix's long-lived helpers (wineserver, explorer, services), which inherit
# its standard output and error; if those were ctest's pipes, ctest would wait
# for them to close until the test timed out, though the test had passed.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
program=$1
shift
name=$(basename "$program")
if [[ $name == Test*.exe && " $* " != *" -o "* ]]; then
  log=$(mktemp "${TMPDIR:-/tmp}/quorvel-wine-test.XXXXXX")
  # Every Wine prefix maps drive Z: to /, so the log's Windows name follows
  # from its path. (winepath, asked while other tests start Wine, now and
  # then answers with an empty line, and Qt Test then refuses "-o ,txt".)
  wine "$program" "$@" -o "Z:${log//\//\\},txt" </dev/null >"$log.wine" 2>&1 &
  pid=$!
  # Now and then a Wine process that has finished its tests never exits.
  # Once the log is complete it gets 20 s to go, then the log's totals decide.
  finished=0
  while kill -0 "$pid" 2>/dev/null; do
    if grep -q '^\*\*\*\*\*\*\*\*\* Finished testing of' "$log" 2>/dev/null; then
      finished=$((finished + 1))
      if ((finished > 40)); then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        cat "$log" "$log.wine"
        echo "(Wine did not end the finished test program: its totals decide)"
        totals=$(grep -E '^Totals: [0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
        rm -f "$log" "$log.wine"
        [[ $totals =~ ^Totals:\ [0-9]+\ passed,\ 0\ failed ]] && exit 0
        exit 1
      fi
    fi
    sleep 0.5
  done
  wait "$pid"
  code=$?
  cat "$log" "$log.wine"
  rm -f "$log" "$log.wine"
  exit $code
fi
exec wine "$program" "$@"
