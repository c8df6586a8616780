#!/usr/bin/env bash
# Runs a Windows program under Wine's 64-bit loader, quietly, with the MinGW runtime DLLs (and
# KV_WIN_DLL_PATH, where Qt's are) found through WINEPATH. CTest runs the Windows tests with it.
#   scripts/windows/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
cache="${KV_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kv-windows}"
export WINEPREFIX="${WINEPREFIX:-$cache/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No prompts to install Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

dll_path="/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib"
if [ -n "${KV_WIN_DLL_PATH:-}" ]; then
    dll_path="$KV_WIN_DLL_PATH;$dll_path"
fi
# Wine maps / to Z:.
export WINEPATH="Z:${dll_path//;/;Z:}"
export WINEPATH="${WINEPATH//\//\\}"
exec /usr/lib/wine/wine64 "$@"
