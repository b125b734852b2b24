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
# its standard error; were that ctest's pipe, ctest would wait for it to close
# until the test timed out, though the test had passed.
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
  wine "$program" "$@" -o "Z:${log//\//\\},txt" </dev/null >"$log.wine" 2>&1
  code=$?
  cat "$log" "$log.wine"
  rm -f "$log" "$log.wine"
  exit $code
fi
exec wine "$program" "$@"
