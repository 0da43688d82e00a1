#!/usr/bin/env bash
# Builds everything and runs every test. Extra arguments go to CMake,
# BUILD_DIR names the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WITH_UI=ON "$@"
cmake --build "$build_dir"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
