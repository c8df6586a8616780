#!/usr/bin/env bash
# Builds the Debian packages of the three programs (kvsc, kvravelock-launcher, kvrinstaller) in
# a release build and checks them with lintian, which must report no errors. Prints the paths of
# the packages. PACKAGE_BUILD_DIR chooses the build folder (default build-packages/).
set -euo pipefail
cd "$(dirname "$0")/.."
# What apt says goes to standard error too: standard output is the list of packages.
scripts/install-deps.sh dpkg-dev lintian >&2
build=${PACKAGE_BUILD_DIR:-build-packages}
# Standard output carries the package paths only; what the build says goes to standard error.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=OFF -DKV_TESTS=OFF >&2
cmake --build "$build" --parallel "$(nproc)" >&2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >&2)
# lintian warns that it runs as root; that is no finding about the packages.
lintian --fail-on error "$build"/*.deb 2> >(grep -v 'running with root privileges' >&2) >&2
realpath "$build"/*.deb
