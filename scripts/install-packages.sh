#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing
# (apt-get update first). Idempotent: when everything is present it only
# checks and returns.
#   scripts/install-packages.sh WHAT PACKAGE...
# WHAT names the set in the message, e.g. "build and test".
set -euo pipefail
what=$1
shift

missing=()
for p in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "All $what packages are installed."
fi
