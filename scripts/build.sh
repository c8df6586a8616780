#!/usr/bin/env bash
# Configures and builds the project. Extra arguments go to CMake's configure step.
# BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    # The benchmarks are part of this repository's own builds (bench/compare.sh uses them).
    cmake -S . -B "$build_dir" "${generator[@]}" -DKV_BENCH=ON "$@"
else
    cmake -S . -B "$build_dir" "$@" >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)"
