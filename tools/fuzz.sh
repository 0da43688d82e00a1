#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a bounded time, starting
# from the seeds in fuzz/seeds/. A finding (crash, sanitizer report,
# violated property, leak) fails the run and leaves the input that caused
# it in the build folder's fuzz-findings/.
# FUZZ_SECONDS: time per target (default 60). BUILD_DIR: default build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=(tcp_request rtu_response)

CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON -DQV_WITH_UI=OFF
cmake --build "$build_dir" --target "${targets[@]/#/fuzz_}"

findings="$build_dir/fuzz-findings"
mkdir -p "$findings"
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  log="$findings/$target.log"
  echo "--- fuzz_$target for ${seconds}s"
  status=0
  "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" \
    "$corpus" "fuzz/seeds/$target" >"$log" 2>&1 || status=$?
  rm -rf "$corpus"
  grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec))' \
    "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz_$target found a fault (exit $status); input in $findings/"
    exit 1
  fi
done
