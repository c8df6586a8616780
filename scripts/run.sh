#!/usr/bin/env bash
# Installs what is missing, builds everything and starts KVSC: for now its command-line
# converter at work on a generated sample screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir=${BUILD_DIR:-build}
echo "Showing the command-line converter at work on a generated sample screenshot."
sample_dir=$(mktemp -d)
"$build_dir/tools/kvsample" "$sample_dir/shot.bmp" 1680 1050
"$build_dir/converter/app/kvsc" convert --game ravelock --team 6 --size 75 \
    --save-folder "$sample_dir/out" "$sample_dir/shot.bmp"
echo "Written under $sample_dir/out"
