#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of
# it under the root's .clang-format. Prints the files that would change.
#   scripts/check-format.sh
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cd "$root"

formatter=clang-format-14
command -v "$formatter" >/dev/null || formatter=clang-format

status=0
while IFS= read -r -d '' file; do
  if ! "$formatter" --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    status=1
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')
if [[ $status -eq 0 ]]; then
  echo "format: ok"
else
  echo "format: run clang-format -i on the files above"
fi
exit $status
