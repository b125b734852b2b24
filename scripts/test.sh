#!/usr/bin/env bash
# Installs what is needed, builds Quorvel and runs every test, headless:
#   1. the normal build (build/) and its ctest suite;
#   2. the same suite built with AddressSanitizer and UBSan (build-asan/),
#      where any sanitizer report, also from a child process such as the
#      simulator, fails the run;
#   3. a short libFuzzer smoke run of each fuzz target (scripts/fuzz.sh);
#   4. the Debian package of the normal build and its checks
#      (scripts/package-checks.sh: desktop entry, AppStream metadata, lintian,
#      install, start and removal), each check counted on its own;
#   5. the formatting check: every C++ file as .clang-format lays it out;
#   6. the Windows cross build (scripts/windows.sh: build-win/, its ctest
#      suite under Wine, the installer and zip) whenever a Qt for Windows is
#      at hand; otherwise it says once why the Windows part was skipped.
# Ends with one line "N passed, N failed" over all six and exits non-zero
# on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
fuzz_seconds=${QUORVEL_FUZZ_SECONDS:-20}

passed=0
failed=0
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Adds the counts of ctest's summary line in file $1; a suite that printed
# none (it crashed or never ran) counts as one failure.
count_ctest() {
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
  if [[ -z $line ]]; then
    failed=$((failed + 1))
    return
  fi
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
}

finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]] && exit 0
  exit 1
}

elapsed() { echo "$(( $(date +%s) - $1 ))s"; }

# The packages, once for every build and step below.
if ! bash "$here/install-deps.sh"; then
  echo "Installing the packages failed."
  failed=$((failed + 1))
  finish
fi
export QUORVEL_DEPS_CHECKED=1

# 1. Normal build and tests.
start=$(date +%s)
if ! bash "$here/build.sh" "$root/build"; then
  echo "Build failed."
  failed=$((failed + 1))
  finish
fi
(cd "$root/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2) 2>&1 | tee "$logs/ctest.txt"
count_ctest "$logs/ctest.txt"
echo "== normal build and tests: $(elapsed "$start")"

# 2. Sanitizer build and tests. Every sanitized process writes its report to
# a file in sanitizer-reports/ (see QUORVEL_SANITIZER_LOG_DIR), so a fault in
# the simulator, whose stderr the tests do not show, fails the run too. Built
# with clang: GCC's UBSan runtime ignores log_path and would print a child's
# report where nobody reads it.
start=$(date +%s)
asan=$root/build-asan
reports=$asan/sanitizer-reports
if bash "$here/build.sh" "$asan" -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_SANITIZE=ON \
     -DQUORVEL_SANITIZER_LOG_DIR="$reports"; then
  rm -rf "$reports"
  mkdir -p "$reports"
  (cd "$asan" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2) 2>&1 | tee "$logs/ctest-asan.txt"
  count_ctest "$logs/ctest-asan.txt"
  if compgen -G "$reports/report*" >/dev/null; then
    for f in "$reports"/report*; do
      echo "== sanitizer report $f"
      cat "$f"
    done
    echo "Sanitizer reports were written (above): failing the sanitizer suite."
    failed=$((failed + 1))
  fi
else
  echo "Sanitizer build failed."
  failed=$((failed + 1))
fi
echo "== sanitizer build and tests: $(elapsed "$start")"

# 3. Fuzz smoke run.
start=$(date +%s)
bash "$here/fuzz.sh" "$fuzz_seconds" 2>&1 | tee "$logs/fuzz.txt"
line=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed$' "$logs/fuzz.txt" | tail -1)
if [[ -n $line ]]; then
  read -r p f < <(sed -E 's/^fuzz: ([0-9]+) passed, ([0-9]+) failed$/\1 \2/' <<<"$line")
  passed=$((passed + p))
  failed=$((failed + f))
else
  echo "Fuzz build failed."
  failed=$((failed + 1))
fi
echo "== fuzz smoke run: $(elapsed "$start")"

# 4. Package and its checks.
start=$(date +%s)
if bash "$here/package.sh" "$root/build" >"$logs/package.txt" 2>&1; then
  bash "$here/package-checks.sh" "$root/build" 2>&1 | tee "$logs/package-checks.txt"
  line=$(grep -E '^package: [0-9]+ passed, [0-9]+ failed$' "$logs/package-checks.txt" | tail -1)
  if [[ -n $line ]]; then
    read -r p f < <(sed -E 's/^package: ([0-9]+) passed, ([0-9]+) failed$/\1 \2/' <<<"$line")
    passed=$((passed + p))
    failed=$((failed + f))
  else
    echo "The package checks did not finish."
    failed=$((failed + 1))
  fi
else
  cat "$logs/package.txt"
  echo "Building the package failed."
  failed=$((failed + 1))
fi
echo "== package checks: $(elapsed "$start")"

# 5. Formatting.
if bash "$here/check-format.sh"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# 6. Windows cross build and its suite under Wine. Exit code 77: no Qt for
# Windows here, which is no failure of Quorvel.
start=$(date +%s)
bash "$here/windows.sh" "$root/build-win" >"$logs/windows.txt" 2>&1
status=$?
if [[ $status -eq 77 ]]; then
  echo "Windows part skipped: $(tail -1 "$logs/windows.txt")"
else
  cat "$logs/windows.txt"
  if grep -qE '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/windows.txt"; then
    count_ctest "$logs/windows.txt"
  else
    echo "The Windows build failed before its tests ran."
    failed=$((failed + 1))
  fi
fi
echo "== Windows build and tests under Wine: $(elapsed "$start")"

finish
