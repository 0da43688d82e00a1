#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; the whole run takes about
# two minutes. Arguments go to the gateway's benchmark (gateway_bench
# --help lists them); then the window program's size is measured while
# clients drive its log. BUILD_DIR names the build folder (default:
# build-bench, so that the test build keeps its own type).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQV_WITH_UI=ON >/dev/null
cmake --build "$build_dir" --target gateway_bench rtu_device \
  program_size_bench
"$build_dir/bench/gateway_bench" "$@"
echo
"$build_dir/bench/program_size_bench"
