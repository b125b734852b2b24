#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz) and runs each one
# for SECONDS on a copy of its seed corpus in fuzz/corpus/. The copy lives in
# the build folder, so a run never adds files to the repository.
#   scripts/fuzz.sh            smoke run, 20 s per target
#   scripts/fuzz.sh 600        the longer run, 10 minutes per target
# A crashing input is kept as build-fuzz/artifacts/<target>/crash-*; rerun it
# with build-fuzz/fuzz/<target> <file>. Ends with "fuzz: N passed, N failed"
# and exits non-zero when a target failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-20}
build=$root/build-fuzz

if [[ ${QUORVEL_DEPS_CHECKED:-} != 1 ]]; then
  bash "$here/install-deps.sh" >/dev/null
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_telnet_parser fuzz_reply_framer fuzz_version_query

# Longest input per target: past the telnet parser's 4 KiB subnegotiation
# bound, well past the framer's 256-character reply bound, and several
# version blocks long.
declare -A max_len=([fuzz_telnet_parser]=8192 [fuzz_reply_framer]=2048 [fuzz_version_query]=4096)

passed=0
failed=0
for target in fuzz_telnet_parser fuzz_reply_framer fuzz_version_query; do
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  log=$build/$target.log
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  echo "== $target: ${seconds}s"
  status=0
  (cd "$build" && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$build/fuzz/$target" \
      -max_total_time="$seconds" -rss_limit_mb=512 -max_len="${max_len[$target]}" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus") >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if [[ $status -eq 0 ]] && ! grep -qE 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:|==ERROR' "$log"; then
    passed=$((passed + 1))
    echo "$target: ok, ${runs:-?} runs, ${rate:-?} exec/s, ${cov:-cov: ?}"
  else
    failed=$((failed + 1))
    tail -n 60 "$log"
    echo "$target: FAILED (exit $status), log $log, inputs in $artifacts"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
