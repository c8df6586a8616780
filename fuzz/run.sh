#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60), seeded from the
# test pictures in tests/data and a few generated files. Corpora and findings stay in fuzz/corpus-*/ and
# fuzz/artifacts/, outside version control. Prints the executions of each target and fails
# when any target found a crash.
#   fuzz/run.sh [SECONDS] [TARGET...]
#   RUNS=10000000 fuzz/run.sh 0 TARGET    a number of executions instead of a time
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
testdata=tests/data

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DKV_FUZZ=ON -DKV_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(fuzz_load_bitmap fuzz_load_jpeg fuzz_read_jpeg_size fuzz_resample)
    if grep -q '^KV_GUI:BOOL=ON' "$build_dir/CMakeCache.txt"; then
        targets+=(fuzz_base_directory fuzz_settings_file)
    fi
fi
cmake --build "$build_dir" --target "${targets[@]}" kvsample >/dev/null

seed() {
    local target=$1 corpus=$2
    mkdir -p "$corpus"
    case $target in
    fuzz_load_bitmap)
        [ -d "$testdata/bmpsuite" ] && find "$testdata/bmpsuite" -name '*.bmp' -size -64k \
            -exec cp -n {} "$corpus/" \;
        "$build_dir/tools/kvsample" "$corpus/gen.bmp" 7 5 2>/dev/null || true ;;
    fuzz_load_jpeg | fuzz_read_jpeg_size)
        [ -d "$testdata/jpeg" ] && find "$testdata/jpeg" -name '*.jpg' -size -64k \
            -exec cp -n {} "$corpus/" \;
        "$build_dir/tools/kvsample" "$corpus/gen.jpg" 17 9 2>/dev/null || true ;;
    fuzz_resample)
        printf '\x08\x05\x03\x09\x05\x00\x00abcdefghijklmnopqrstuvwxyz0123456789' > "$corpus/seed" ;;
    fuzz_settings_file)
        printf '[General]\nGame=Korvane: Ravelock\nSizeNumber=" 6 on 6"\nSize=100\n' > "$corpus/seed"
        printf '[General]\nSaveFolder="a,b;\\"c\\\\"\nSaveName=@@x\nspectator=Yes\n' > "$corpus/seed2" ;;
    fuzz_base_directory)
        printf 'Log: x\nInit: Base directory: /Games/Game.app/System/\n' > "$corpus/seed" ;;
    esac
}

mkdir -p fuzz/artifacts
failed=0
for target in "${targets[@]}"; do
    corpus=fuzz/corpus-$target
    seed "$target" "$corpus"
    log=$(mktemp)
    limit=(-max_total_time="$seconds")
    [ -n "${RUNS:-}" ] && limit=(-runs="$RUNS")
    if ! "$build_dir/fuzz/$target" "$corpus" "${limit[@]}" -max_len=16384 \
        -rss_limit_mb=4096 -timeout=30 -print_final_stats=1 \
        -artifact_prefix="fuzz/artifacts/$target-" >"$log" 2>&1; then
        failed=1
        echo "$target: FOUND A PROBLEM"
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 5
    fi
    runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
    echo "$target: $runs executions"
    rm -f "$log"
done
exit $failed
