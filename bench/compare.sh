#!/usr/bin/env bash
# Times kvsc against the floor and the tools a player might use instead, on generated
# screenshots, and prints the table of the README's "Speed" section: every figure is a ratio to
# the floor (or images per second) measured in this one run.
#   bench/compare.sh            uses build/ (built first when missing); BUILD_DIR overrides
#   RUNS=30 bench/compare.sh    more runs per command (default 20; batches BATCH_RUNS, 5)
# The floor of a JPEG job is libjpeg-turbo's `djpeg -dct float` of the whole screenshot plus
# `cjpeg -quality 90 -dct float` of the output; of a BMP job, the cjpeg step alone.
# Installs the peers from Debian's packages (needs root or sudo the first time).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
runs=${RUNS:-20}
py=/usr/bin/python3 # the system's Python, which has python3-pil

packages=(imagemagick graphicsmagick libvips-tools python3-pil libjpeg-turbo-progs hyperfine time)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ ! -x "$build_dir/converter/app/kvsc" ] || [ ! -x "$build_dir/bench/kv_bench" ] ||
    [ ! -x "$build_dir/bench/kv_window_bench" ]; then
    BUILD_DIR=$build_dir scripts/build.sh -DKV_BENCH=ON
fi
kvsc=$(realpath "$build_dir/converter/app/kvsc")
kvsample=$(realpath "$build_dir/tools/kvsample")
kvbench=$(realpath "$build_dir/bench/kv_bench")
windowbench=$(realpath "$build_dir/bench/kv_window_bench")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$kvsample" shot.jpg 1680 1050
"$kvsample" shot.bmp 1680 1050
mkdir batch
for i in $(seq 1 50); do
    "$kvsample" "batch/shot$i.jpg" 1600 1200 "$i"
done

# Median wall time in ms of one command (hyperfine, no shell unless the command needs one).
median()
{
    local prepare=$1
    shift
    hyperfine -N --style none --warmup "${warmup:-3}" --runs "$runs" --prepare "$prepare" \
        --export-json t.json "$@" >/dev/null 2>&1 || {
        echo nan
        return
    }
    "$py" -c 'import json,statistics; print(statistics.median(json.load(open("t.json"))["results"][0]["times"]) * 1000)'
}
clean='rm -rf out o.jpg t.v'
# Every stored setting given, so kvsc does not read its settings store (nor load Qt for it).
kv=("$kvsc" convert --game ravelock --team 10 --spectator -o out -n Screenshot)
pil()
{
    echo "$py -c \"from PIL import Image; i=Image.open('$1'); i=i.crop(($2)) if '$2' else i; i.resize(($3), Image.LANCZOS).save('o.jpg', quality=90)\""
}

# One row per job: name, input, kvsc options, crop (x y w h, or empty), output size.
row()
{
    local name=$1 input=$2 kvopts=$3 crop=$4 w=$5 h=$6
    local floor_out=floor.bmp box=""
    [ -n "$crop" ] && read -r x y cw ch <<<"$crop" && box="$x,$y,$((x + cw)),$((y + ch))"
    # The floor encodes the output's pixels.
    "$py" -c "from PIL import Image; i=Image.open('$input'); i=i.crop(($box)) if '$box' else i; i.resize(($w, $h), Image.LANCZOS).save('$floor_out')"
    local enc dec=0 floor
    enc=$(median "$clean" "cjpeg -quality 90 -dct float -outfile o.jpg $floor_out")
    if [ "${input##*.}" = jpg ]; then
        dec=$(median "$clean" "djpeg -dct float -outfile /dev/null $input")
    fi
    floor=$("$py" -c "print($dec + $enc)")
    local area="" gmcrop=""
    if [ -n "$crop" ]; then
        area="$x $y $cw $ch"
        gmcrop="-crop ${cw}x${ch}+$x+$y +repage"
    fi
    local scale source_width=1680
    [ -n "$crop" ] && source_width=$cw
    scale=$("$py" -c "print($w / $source_width)")
    local ours im gm vips pillow
    # shellcheck disable=SC2086
    ours=$(median "$clean" "${kv[*]} $kvopts $input")
    # shellcheck disable=SC2086
    im=$(median "$clean" "convert $input $gmcrop -filter Lanczos -resize ${w}x${h}! -quality 90 o.jpg")
    # shellcheck disable=SC2086
    gm=$(median "$clean" "gm convert $input $gmcrop -filter Lanczos -resize ${w}x${h}! -quality 90 o.jpg")
    if [ -n "$crop" ]; then
        vips=$(median "$clean" "sh -c 'vips extract_area $input t.v $area && vips resize t.v o.jpg[Q=90] $scale --kernel lanczos3'")
    else
        vips=$(median "$clean" "vips resize $input o.jpg[Q=90] $scale --kernel lanczos3")
    fi
    pillow=$(median "$clean" "$(pil "$input" "$box" "$w, $h")")
    floors[$name]=$floor
    ours_ms[$name]=$ours
    "$py" - "$name" "$floor" "$ours" "$gm" "$im" "$vips" "$pillow" <<'EOF'
import math, sys
name, floor, *times = sys.argv[1:]
floor = float(floor)
ours, gm, im, vips, pillow = (float(t) for t in times)
r = lambda t: "n/a" if math.isnan(t) else f"{t / floor:.1f}x"
peers = {"GraphicsMagick": gm, "ImageMagick": im, "libvips CLI": vips, "Pillow": pillow}
best = min((t, n) for n, t in peers.items() if not math.isnan(t))
print(f"| {name} | {floor:.0f} ms | **{r(ours)}** | {best[1]} {r(best[0])} | {r(im)} | {r(vips)} | {r(pillow)} |")
EOF
}

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $runs runs per command, medians"
echo
declare -A floors ours_ms
echo "| job | floor | kvsc | best peer | ImageMagick | libvips CLI | Pillow |"
echo "|---|---|---|---|---|---|---|"
row "1680x1050 JPEG, crop 1337x486, 100%" shot.jpg "--scoreboard-only --size 100" "170 105 1337 486" 1337 486
row "1680x1050 JPEG, whole, 50%" shot.jpg "--whole --size 50" "" 840 525
row "1680x1050 BMP, crop 1337x486, 75%" shot.bmp "--scoreboard-only --size 75" "170 105 1337 486" 1002 364

# The batch: 50 JPEGs 1600x1200, crop 1275x500 at (160, 120), 50%.
cat >vipsbatch.py <<'EOF'
# libvips in one process through its C interface (no pyvips in Debian 12): every file in turn,
# libvips's own threads working on each.
import ctypes, glob, sys
vips = ctypes.CDLL("libvips.so.42")
vips.vips_init(b"bench")
vips.vips_concurrency_set(2)
vips.vips_image_new_from_file.restype = ctypes.c_void_p
for i, path in enumerate(sorted(glob.glob("batch/*.jpg"))):
    image = ctypes.c_void_p(vips.vips_image_new_from_file(path.encode(), None))
    crop, small = ctypes.c_void_p(), ctypes.c_void_p()
    vips.vips_crop(image, ctypes.byref(crop), 160, 120, 1275, 500, None)
    vips.vips_resize(crop, ctypes.byref(small), ctypes.c_double(0.5), b"kernel", 5, None)
    vips.vips_image_write_to_file(small, f"out/v{i}.jpg[Q=90]".encode(), None)
    for o in (small, crop, image):
        vips.g_object_unref(o)
EOF
cat >pilbatch.py <<'EOF'
import glob
from PIL import Image
for i, path in enumerate(sorted(glob.glob("batch/*.jpg"))):
    Image.open(path).crop((160, 120, 1435, 620)).resize((637, 250), Image.LANCZOS).save(f"out/p{i}.jpg", quality=90)
EOF
batch_prepare="sh -c 'rm -rf out && mkdir out'"
# A batch takes seconds: fewer runs.
runs=${BATCH_RUNS:-5} warmup=1
kvb=$(median "$batch_prepare" "${kv[*]} --scoreboard-only --size 50 --jobs 2 $(echo batch/*.jpg)")
vipsb=$(median "$batch_prepare" "$py vipsbatch.py")
mog=$(median "$batch_prepare" "mogrify -path out -crop 1275x500+160+120 +repage -filter Lanczos -resize 637x250! -quality 90 $(echo batch/*.jpg)")
pilb=$(median "$batch_prepare" "$py pilbatch.py")
"$py" - "$kvb" "$vipsb" "$mog" "$pilb" <<'EOF'
import sys
kv, vips, mog, pil = (50000 / float(t) for t in sys.argv[1:])
print(f"| batch: 50 JPEGs 1600x1200, crop 1275x500, 50% | | **{kv:.0f} images/s** (--jobs 2, {kv / vips:.1f}x libvips) | libvips in one process, 2 threads: {vips:.0f} images/s | mogrify {mog:.0f}/s | | {pil:.0f}/s |")
EOF

# Where players wait, each beside its goal.
crop_job="1680x1050 JPEG, crop 1337x486, 100%"
whole_job="1680x1050 JPEG, whole, 50%"
bmp_job="1680x1050 BMP, crop 1337x486, 75%"
mkdir -p config/KVSC
printf '[General]\nGame=Korvane: Ravelock\nSizeNumber=10 on 10\nScoreBoardOnly=Yes\nSize=100\nSavename=Screenshot\n' >config/KVSC/KVSC.conf
runs=${RUNS:-20} warmup=3
stored=$(XDG_CONFIG_HOME=$PWD/config median "$clean" \
    "$kvsc convert --game ravelock --team 10 --spectator --size 100 -o out -n S shot.jpg")
mkdir bmps
for i in $(seq 1 30); do
    "$kvsample" "bmps/shot$i.bmp" 1680 1050 "$i"
done
runs=${BATCH_RUNS:-5} warmup=1
bmp_batch="${kv[*]} --scoreboard-only --size 75 $(echo bmps/*.bmp)"
jobs1=$(median "$batch_prepare" "$bmp_batch --jobs 1")
jobs2=$(median "$batch_prepare" "$bmp_batch --jobs 2")
window=none
if [ -x "$windowbench" ]; then
    QT_QPA_PLATFORM=offscreen "$windowbench" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_format=json >window.json 2>/dev/null
    window=window.json
fi
"$py" - "${floors[$crop_job]}" "$stored" "${floors[$whole_job]}" "${ours_ms[$whole_job]}" \
    "${floors[$bmp_job]}" "${ours_ms[$bmp_job]}" "$jobs1" "$jobs2" "$window" <<'EOF2'
import json, sys
crop_floor, stored, whole_floor, whole, bmp_floor, bmp, jobs1, jobs2 = (float(v) for v in sys.argv[1:9])
print()
print("| where players wait | measured | goal | |")
print("|---|---|---|---|")
def line(what, value, goal, met):
    print(f"| {what} | {value} | {goal} | {'met' if met else 'not met'} |")
r = stored / crop_floor
line("command line that reads the stored settings, JPEG crop 100%", f"**{r:.2f}x** the floor ({stored:.0f} ms)", "<= 1.0x", r <= 1.0)
r = whole / whole_floor
line("JPEG whole at 50%", f"**{r:.2f}x** the floor ({whole:.0f} ms)", "<= 1.0x", r <= 1.0)
r = bmp / bmp_floor
line("BMP crop 75%", f"**{r:.2f}x** the floor ({bmp:.0f} ms)", "<= 1.3x", r <= 1.3)
r = jobs1 / jobs2
line("30 BMPs 1680x1050 at 75%, --jobs 2 against --jobs 1", f"**{r:.2f}x** faster ({jobs2:.0f} vs {jobs1:.0f} ms)", ">= 1.7x", r >= 1.7)
if sys.argv[9] != "none":
    runs = {b["run_name"].split("/")[0]: b for b in json.load(open(sys.argv[9]))["benchmarks"]
            if b.get("aggregate_name") == "median"}
    w, c = runs["BM_WindowConvert"], runs["BM_CoreConvert"]
    r = w["real_time"] / c["real_time"]
    gap = w["longest_unpainted_ms"]
    line("window converting 30 BMPs against the core with the command line's --jobs", f"**{r:.2f}x** ({w['real_time']:.0f} vs {c['real_time']:.0f} ms), longest unpainted {gap:.0f} ms", "<= 1.15x, <= 100 ms", r <= 1.15 and gap <= 100)
    o, m = runs["BM_WindowOpen"], runs["BM_CoreMeasure"]
    r = o["real_time"] / m["real_time"]
    gap = o["longest_unpainted_ms"]
    line("window opening 100 BMPs against measuring them", f"**{r:.1f}x** ({o['real_time']:.1f} vs {m['real_time']:.2f} ms), longest unpainted {gap:.0f} ms", "<= 1.2x", r <= 1.2)
EOF2

echo
echo "Resample alone (in process, median of 10) against Pillow's Lanczos on the same image and size:"
"$kvbench" --benchmark_filter='BM_Resample' --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >resample.json 2>/dev/null
"$py" - <<'EOF'
import json, os, statistics, time
from PIL import Image
ours = {b["run_name"]: b["real_time"] for b in json.load(open("resample.json"))["benchmarks"]
        if b.get("aggregate_name") == "median"}
print("| resize | Resample | ResampleReference | Pillow | Pillow / Resample |")
print("|---|---|---|---|---|")
for w, h, p in [(1600, 1200, 50), (1337, 486, 75)]:
    image = Image.frombytes("RGB", (w, h), os.urandom(w * h * 3))
    times = []
    for _ in range(30):
        start = time.perf_counter()
        image.resize((w * p // 100, h * p // 100), Image.LANCZOS)
        times.append((time.perf_counter() - start) * 1000)
    pil = statistics.median(times)
    fast = ours[f"BM_Resample/{w}/{h}/{p}"]
    ref = ours[f"BM_ResampleReference/{w}/{h}/{p}"]
    print(f"| {w}x{h} to {p}% | {fast:.2f} ms | {ref:.1f} ms | {pil:.1f} ms | {pil / fast:.1f}x |")
EOF

echo
rm -rf out
peak=$(/usr/bin/time -f %M "${kv[@]}" --whole --size 50 shot.jpg 2>&1 >/dev/null | tail -1)
"$py" -c "d = 1680 * 1050 * 3; p = $peak * 1024; print(f'Peak memory of one conversion (JPEG, whole, 50%): {p / 2**20:.1f} MiB resident = {p / d:.1f}x the decoded screenshot ({d / 2**20:.1f} MiB; goal <= 3.0x)')"
