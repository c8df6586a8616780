#!/usr/bin/env bash
# Cross-builds Qt's base module for 64-bit Windows from Debian's qt6-base source, with the host
# tools of Debian's qt6-base-dev, into the Windows dependency cache. Slow (some 40 minutes on two
# cores), so it runs once per Qt version; CI does not need it.
#   scripts/windows/build-qt.sh        # prints the install prefix when done
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"
install_windows_packages

version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
upstream="${version%%+*}"
prefix="$KV_WIN_CACHE/qt-$version"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work="$KV_WIN_CACHE/work/qt6-base-$version"
# An interrupted build goes on where it stopped.
if [ ! -f "$work/src/CMakeLists.txt" ]; then
    rm -rf "$work"
    mkdir -p "$work"
    fetch_source qt6-base "$version" "$work/src"
fi

# Only what KVSC uses (without OpenGL, dynamic GL must go too, or the Windows platform plugin
# does not build); Debian's repacked source lacks the tablet headers that plugin would include,
# so tablet events go as well.
cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_tabletevent=OFF \
    > "$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --parallel "$(nproc)" > "$work/build.log" 2>&1 ||
    { tail -40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" > "$work/install.log" 2>&1
echo "$upstream" > "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
