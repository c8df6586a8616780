#!/usr/bin/env bash
# Loads every file of the test pictures (BMP suite b/, q/, x/, g/ and the odd JPEGs) with
# `kvimage info` under a 256 MiB address-space limit and checks that each one gives a picture or
# a clear error (never a crash, never silence) within 1 s and 256 MiB. Prints the slowest and
# the largest file. Needs a build without sanitizers (their shadow memory exceeds the limit):
# BUILD_DIR chooses it (default build/), TESTDATA_DIR the data (default tests/data).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
data=${TESTDATA_DIR:-tests/data}
tool=$build_dir/tools/kvimage
limit_kib=262144
limit_ms=1000

[ -x "$tool" ] || { echo "no $tool: build the target kvimage first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
[ -d "$data" ] || { echo "no test data in $data" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

files=0 pictures=0 errors=0 failures=0
max_ms=0 max_ms_file='' max_kib=0 max_kib_file=''
for file in "$data"/bmpsuite/{b,q,x,g}/*.bmp "$data"/jpeg/*.jpg; do
    [ -f "$file" ] || continue
    files=$((files + 1))
    status=0
    # shellcheck disable=SC2016 # the inner shell expands its own arguments
    /usr/bin/time -f '%e %M' -o "$scratch/time" \
        bash -c 'ulimit -v "$1"; exec "$2" info "$3"' _ "$limit_kib" "$tool" "$file" \
        >"$scratch/out" 2>"$scratch/err" || status=$?
    read -r seconds kib <"$scratch/time" || true
    # /usr/bin/time notes a killed command on a line of its own before the figures.
    if ! [[ $seconds =~ ^[0-9.]+$ ]]; then
        read -r seconds kib < <(tail -n 1 "$scratch/time")
    fi
    ms=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000 }')
    if ((ms > max_ms)); then max_ms=$ms max_ms_file=$file; fi
    if ((kib > max_kib)); then max_kib=$kib max_kib_file=$file; fi

    problem=''
    if ((status == 0)) && [ -s "$scratch/out" ]; then
        pictures=$((pictures + 1))
    elif ((status == 1)) && [ -s "$scratch/err" ]; then
        errors=$((errors + 1))
    else
        problem="exit status $status: $(head -c 300 "$scratch/err")"
    fi
    ((ms <= limit_ms)) || problem+=" took ${ms} ms"
    ((kib <= limit_kib)) || problem+=" used ${kib} KiB"
    if [ -n "$problem" ]; then
        failures=$((failures + 1))
        echo "FAIL $file:$problem"
    fi
done

echo "$files files: $pictures pictures, $errors errors, $failures failures"
echo "slowest: ${max_ms} ms ($max_ms_file)"
echo "largest: ${max_kib} KiB resident ($max_kib_file)"
((files > 0 && failures == 0))
