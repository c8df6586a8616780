#!/usr/bin/env bash
# Runs a Windows program under Wine's 64-bit loader, quietly, with the environment of
# wine-env.sh. CTest runs the Windows tests with it.
#   scripts/windows/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
exec "${kv_wine[@]}" "$@"
