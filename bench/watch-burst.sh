#!/usr/bin/env bash
# Times `kvsc watch` on a burst of screenshots copied into the watched folder as fast as the disk
# takes them, beside `kvsc convert` of the same files: screenshots per second, and the delay from
# each screenshot's completion (its modification time, which its JPEG keeps) to its JPEG (the
# JPEG's status-change time, set when it got its name).
# BUILD_DIR (default build), COUNT (default 1000), EXTRA (more options, e.g. --delete-originals).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
count=${COUNT:-1000}
kvsc="$build/converter/app/kvsc"
work="$(mktemp -d)"
watch=
cleanup() {
    [ -n "$watch" ] && kill "$watch" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/source" "$work/shots"
"$build/tools/kvsample" "$work/template.bmp" 800 600 1
for i in $(seq 1 "$count"); do
    cp "$work/template.bmp" "$work/source/Shot$((100000 + i)).bmp"
done
options=(--game ravelock --team 6 --no-spectator --scoreboard-only --size 50 --save-name Board
         --no-trash --jobs 2 ${EXTRA:-})
now() { date +%s.%N; }

# A copy of its own, since --delete-originals takes them away.
cp -r "$work/source" "$work/for-convert"
start=$(now)
"$kvsc" convert "${options[@]}" --save-folder "$work/converted" "$work"/for-convert/*.bmp \
    > /dev/null
convert_seconds=$(echo "$(now) - $start" | bc -l)

"$kvsc" watch "${options[@]}" --save-folder "$work/watched" "$work/shots" \
    > /dev/null 2> "$work/watch.err" &
watch=$!
until grep -q '^Watching ' "$work/watch.err"; do sleep 0.05; done
start=$(now)
cp "$work"/source/*.bmp "$work/shots/"
written=$(now)
until [ "$(find "$work/watched" -name '*.jpg' 2> /dev/null | wc -l)" -ge "$count" ]; do
    sleep 0.05
done
done_at=$(now)
kill -INT "$watch"
wait "$watch"
watch=

find "$work/watched" -name '*.jpg' -exec stat -c '%.9Z %.9Y' {} + |
    awk '{ print $1 - $2 }' | sort -n > "$work/delays"
median=$(awk '{ d[NR] = $1 } END { print d[int((NR + 1) / 2)] }' "$work/delays")
longest=$(tail -1 "$work/delays")
printf '%d screenshots 800x600 BMP, %s\n' "$count" "${options[*]}"
printf 'kvsc convert: %.1f s, %.0f screenshots/s\n' "$convert_seconds" \
    "$(echo "$count / $convert_seconds" | bc -l)"
printf 'kvsc watch: copied in %.1f s, all converted %.1f s after the first copy began: %.0f/s\n' \
    "$(echo "$written - $start" | bc -l)" "$(echo "$done_at - $start" | bc -l)" \
    "$(echo "$count / ($done_at - $start)" | bc -l)"
printf 'delay from a screenshot to its JPEG: median %.2f s, longest %.2f s (settle time 2 s)\n' \
    "$median" "$longest"
