#!/usr/bin/env bash
# Configures and builds the project. Extra arguments go to CMake's configure step.
# BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" "${generator[@]}" "$@"
else
    cmake -S . -B "$build_dir" "$@" >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)"
