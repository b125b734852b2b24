#!/usr/bin/env bash
# The installer under Wine, as an operator meets it: a silent per-user
# install, the uninstaller listed with its version and publisher, the
# Start-menu entry, the installed program starting with the caption it reads
# from its own version resource, and a silent uninstall that leaves nothing.
#   installer-roundtrip.sh SETUP.exe VERSION
# Runs in the test run's WINEPREFIX on its DISPLAY.
set -uo pipefail
setup=$1
version=$2
export WINEDEBUG=${WINEDEBUG:--all}
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'
# Wine's own output goes to a file and is shown on failure: a pipe of ctest's
# inherited by a helper Wine leaves running would keep the test from ending.
wine_out=$(mktemp "${TMPDIR:-/tmp}/quorvel-roundtrip.XXXXXX")
trap 'rm -f "$wine_out"' EXIT
fail() {
  echo "FAIL: $*"
  cat "$wine_out"
  exit 1
}
value() {
  wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

[[ -f $setup ]] || fail "no installer at $setup (build the windows_packages target)"
wine "$setup" /S /CurrentUser </dev/null >>"$wine_out" 2>&1 || fail "the silent install returned $?"

location=$(value InstallLocation)
[[ -n $location ]] || fail "no uninstall entry $key"
# winepath now and then answers with an empty line: ask again.
dir=
for _ in 1 2 3 4 5; do
  dir=$(winepath -u "$location" 2>/dev/null)
  [[ -n $dir ]] && break
  sleep 0.5
done
[[ -f $dir/Quorvel.exe && -f $dir/Uninstall.exe && -f $dir/LICENSE.txt ]] || fail "files missing in $dir"
[[ $(value DisplayVersion) == "$version" ]] || fail "DisplayVersion is '$(value DisplayVersion)'"
[[ $(value Publisher) == Orvane ]] || fail "Publisher is '$(value Publisher)'"
[[ -n $(value UninstallString) ]] || fail "no UninstallString"
lnk=$(find "$WINEPREFIX/drive_c/users" -name Quorvel.lnk 2>/dev/null | head -1)
[[ -n $lnk ]] || fail "no Start-menu entry"
echo "installed in $location, Start-menu entry $lnk"

# The installed program starts; its caption comes from its version resource.
caption="Quorvel, version $version, by Orvane"
wine "$dir/Quorvel.exe" </dev/null >>"$wine_out" 2>&1 &
pid=$!
found=
for _ in $(seq 1 120); do
  if xdotool search --name "^${caption}\$" >/dev/null 2>&1; then
    found=yes
    break
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[[ -n $found ]] || fail "no window captioned \"$caption\""
echo "window \"$caption\" shown"

wine "$dir/Uninstall.exe" /S /CurrentUser </dev/null >>"$wine_out" 2>&1 || fail "the silent uninstall returned $?"
# The uninstaller runs from a copy of itself and returns at once.
for _ in $(seq 1 60); do
  [[ -e $dir || -n $(value DisplayName) ]] || break
  sleep 0.5
done
[[ ! -e $dir ]] || fail "$dir is still there after the uninstall"
[[ -z $(value DisplayName) ]] || fail "the uninstall entry is still there"
[[ -z $(find "$WINEPREFIX/drive_c/users" -name Quorvel.lnk 2>/dev/null) ]] || fail "the Start-menu entry is still there"
echo "uninstalled"
