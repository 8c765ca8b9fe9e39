#!/usr/bin/env bash
# The fuzzers' smoke run, for CI: builds every target listed in
# fuzz/CMakeLists.txt with clang in build-fuzz/, runs each over its committed
# seeds (fuzz/seeds/NAME/) and then fuzzes it for SMOKE_SECONDS (20) more.
# Fails when any target crashes, trips a sanitizer, leaks, takes over
# SMOKE_TIMEOUT seconds on one input or passes 2 GB; the input that did it is
# kept in build-fuzz/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build-fuzz}
seconds=${SMOKE_SECONDS:-20}
timeout=${SMOKE_TIMEOUT:-5}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DGLIMPSES_FUZZ=ON -DGLIMPSES_BUILD_APP=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target glimpses_fuzzers

findings=$build/fuzz/findings
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$findings"

failed=()
while read -r name; do
  [ -n "$name" ] || continue
  seeds=fuzz/seeds/$name
  if [ ! -d "$seeds" ] || [ -z "$(ls -A "$seeds")" ]; then
    echo "fuzz smoke: $name has no seeds in $seeds" >&2
    failed+=("$name")
    continue
  fi
  args=(-max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$findings/$name-")
  [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
  # New inputs go to a throwaway folder; the committed seeds stay as they are.
  mkdir -p "$corpus/$name"
  log=$corpus/$name.log
  if "$build/fuzz/fuzz_$name" "${args[@]}" "$corpus/$name" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "fuzz smoke: $name ok, ${runs:-?} runs, ${cov:-cov: ?}"
  else
    tail -n 60 "$log" >&2
    echo "fuzz smoke: $name FAILED; the input is in $findings/" >&2
    failed+=("$name")
  fi
done <"$build/fuzz/targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz smoke: failed: ${failed[*]}" >&2
  exit 1
fi
