#!/usr/bin/env bash
# Checks the desktop metadata and the Debian package built by
# scripts/package.sh, and installs it on this machine to try it:
#   1. desktop-file-validate on the desktop entry;
#   2. appstreamcli validate --no-net on the AppStream metadata;
#   3. lintian on the package: no error and no warning that
#      packaging/lintian-overrides does not accept;
#   4. apt-get install of the package, the installed quorvel started on a
#      virtual X display until its window is active, quorvel-k4sim --help,
#      man quorvel, then the package removed again.
# Needs root for step 4 (it installs and removes the package "quorvel").
# Ends with "package: N passed, N failed" and exits non-zero on a failure.
#   scripts/package-checks.sh [BUILD_DIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
version=$(sed -n 's/^FileVersion=//p' "$root/src/AppVersion/VersionInfo.txt")
deb=$build/quorvel_${version}_$(dpkg --print-architecture).deb

passed=0
failed=0
check() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: passed"
    passed=$((passed + 1))
  else
    echo "== $name: FAILED"
    failed=$((failed + 1))
  fi
}

lint() {
  # Lintian says so when run as root; that is no finding about the package.
  lintian --fail-on error,warning --info "$deb" 2>&1 | grep -v 'running with root privileges'
  return "${PIPESTATUS[0]}"
}

install_and_run() {
  local work xpid="" qpid="" ok=1 win="" title=""
  work=$(mktemp -d)
  cleanup_run() {
    [[ -n $qpid ]] && kill "$qpid" 2>/dev/null
    [[ -n $xpid ]] && kill "$xpid" 2>/dev/null
    wait 2>/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quorvel >/dev/null 2>&1
    rm -rf "$work"
  }
  # The package depends only on libraries the build already needs, so
  # nothing is downloaded (the optional Wayland plugin is left out).
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb"; then
    echo "apt-get could not install $deb"
    cleanup_run
    return 1
  fi
  for f in /usr/bin/quorvel /usr/bin/quorvel-k4sim /usr/share/applications/org.quorvel.Quorvel.desktop \
           /usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml /usr/share/icons/hicolor/48x48/apps/quorvel.png; do
    [[ -e $f ]] || { echo "missing after install: $f"; ok=0; }
  done
  man -w quorvel >/dev/null && man -w quorvel-k4sim >/dev/null || { echo "man pages not found"; ok=0; }
  /usr/bin/quorvel-k4sim --help | grep -q -- '--close-after' || { echo "quorvel-k4sim --help failed"; ok=0; }

  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$work/display")
  (cd "$work" && exec /usr/bin/quorvel) &
  qpid=$!
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name '^Quorvel' 2>/dev/null | head -1)
    [[ -n $win ]] && break
    sleep 0.1
  done
  if [[ -z $win ]]; then
    echo "the installed quorvel showed no window"
    ok=0
  else
    # No window manager here: giving the window the focus activates it, and
    # activation puts the version into the caption.
    xdotool windowfocus "$win" 2>/dev/null
    for _ in $(seq 100); do
      title=$(xdotool getwindowname "$win" 2>/dev/null)
      [[ $title == "Quorvel, version $version, by Orvane" ]] && break
      sleep 0.1
    done
    if [[ $title != "Quorvel, version $version, by Orvane" ]]; then
      echo "the window did not become active (caption: $title)"
      ok=0
    fi
  fi
  # SIGTERM ends the program cleanly, with exit status 0.
  kill -TERM "$qpid" 2>/dev/null
  wait "$qpid"
  local status=$?
  qpid=""
  [[ $status -eq 0 ]] || { echo "quorvel ended with status $status after SIGTERM"; ok=0; }
  cleanup_run
  if dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q "install ok installed"; then
    echo "the package could not be removed"
    ok=0
  fi
  [[ $ok -eq 1 ]]
}

if [[ ! -f $deb ]]; then
  echo "no package at $deb: run scripts/package.sh first"
  echo "package: 0 passed, 1 failed"
  exit 1
fi
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"
check "desktop-file-validate" desktop-file-validate "$root/src/app/org.quorvel.Quorvel.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$build/src/app/org.quorvel.Quorvel.metainfo.xml"
check "lintian" lint
check "install and start" install_and_run

echo "package: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
