#!/usr/bin/env bash
# Builds the benchmark in Release and runs it; the whole run takes about a
# minute. Arguments go to the benchmark (gateway_bench --help lists them),
# BUILD_DIR names the build folder (default: build-bench, so that the test
# build keeps its own type).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQV_WITH_UI=OFF >/dev/null
cmake --build "$build_dir" --target gateway_bench rtu_device
"$build_dir/bench/gateway_bench" "$@"
