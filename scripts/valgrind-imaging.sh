#!/usr/bin/env bash
# Runs the imaging tests under valgrind's memcheck in a build without sanitizers (the two do not
# mix). Fails on any memory error or definite leak. VALGRIND_BUILD_DIR chooses the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VALGRIND_BUILD_DIR:-build-valgrind}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" "${generator[@]}" -DKV_GUI=OFF -DKV_BENCH=OFF >/dev/null
fi
cmake --build "$build_dir" --target kv_imaging_tests >/dev/null
# libjpeg-turbo's hand-written SIMD upsampling looks uninitialised to memcheck; its C paths
# compute the same pixels and memcheck can follow them.
export JSIMD_FORCENONE=1
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite -q \
    "$build_dir/tests/imaging/kv_imaging_tests" --gtest_brief=1
