#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Extra arguments go to CMake's
# configure step (CI passes -DKV_SANITIZE=ON -DKV_WERROR=ON). BUILD_DIR chooses the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
