#!/usr/bin/env bash
# Installs what is missing, builds everything and starts KVSC. Without a display it shows the
# command-line converter at work on a generated sample screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir=${BUILD_DIR:-build}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build_dir/converter/app/kvsc"
fi
echo "No display is available, so the KVSC window cannot open. The command-line converter"
echo "at work on a generated sample screenshot instead:"
sample_dir=$(mktemp -d)
"$build_dir/tools/kvsample" "$sample_dir/shot.bmp" 1680 1050
"$build_dir/converter/app/kvsc" convert --game ravelock --team 6 --size 75 \
    --save-folder "$sample_dir/out" "$sample_dir/shot.bmp"
echo "Written under $sample_dir/out"
