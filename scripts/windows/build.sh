#!/usr/bin/env bash
# Cross-builds KVSC for 64-bit Windows from Debian's packages alone and runs its tests under
# Wine. Without a Windows Qt (scripts/windows/build-qt.sh) only the window-less parts are built:
# the imaging and converter libraries, `KVSC convert`, the tools and their tests.
#   scripts/windows/build.sh             # build and test; WINDOWS_BUILD_DIR=... (default build-windows)
#                                        # NATIVE_BUILD_DIR=... (default build) for the byte test
#   scripts/windows/build.sh --no-test   # build only
#   scripts/windows/build.sh --gui       # with the window (needs build-qt.sh's Qt first)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"

run_tests=1
gui=OFF
for arg in "$@"; do
    case "$arg" in
    --no-test) run_tests=0 ;;
    --gui) gui=ON ;;
    *) echo "usage: $0 [--no-test] [--gui]" >&2; exit 2 ;;
    esac
done

install_windows_packages
prefixes="$("$here/build-deps.sh" | paste -sd';')"
if [ "$gui" = ON ]; then
    qt_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
    qt_prefix="$KV_WIN_CACHE/qt-$qt_version"
    if [ ! -f "$qt_prefix/.complete" ]; then
        echo "no Windows Qt in $qt_prefix: run scripts/windows/build-qt.sh first" >&2
        exit 1
    fi
    prefixes="$prefixes;$qt_prefix"
    export KV_WIN_DLL_PATH="$qt_prefix/bin"
fi

build="${WINDOWS_BUILD_DIR:-$KV_ROOT/build-windows}"
# A native build beside it (NATIVE_BUILD_DIR, default build/) lets a test compare the JPEG bytes.
native="${NATIVE_BUILD_DIR:-$KV_ROOT/build}"
native_option=()
if [ -x "$native/converter/app/kvsc" ] && [ -x "$native/tools/kvsample" ]; then
    native_option=(-DKV_NATIVE_BUILD_DIR="$(cd "$native" && pwd)")
fi
cmake -G Ninja -S "$KV_ROOT" -B "$build" "${native_option[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DKV_WINDOWS_PREFIX="$prefixes" \
    -DKV_GUI="$gui" -DKV_BENCH=OFF -DKV_WERROR=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6="$([ "$gui" = ON ] && echo OFF || echo ON)"
# One Wine server for the whole run (wine-server.sh says why); the prefix is made once, before
# the build lists tests and CTest runs them side by side.
"$here/wine-server.sh" start
trap '"$here/wine-server.sh" stop' EXIT
"$here/wine-run.sh" wineboot.exe --init > /dev/null 2>&1
cmake --build "$build" --parallel "$(nproc)"

if [ "$run_tests" = 1 ]; then
    ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
fi
