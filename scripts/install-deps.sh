#!/usr/bin/env bash
# Installs everything the project needs to build and test on Debian 12, plus any further
# packages named as arguments. Runs as root, or through sudo when that is available.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libjpeg62-turbo-dev libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    desktop-file-utils appstream xvfb xauth
    # The installer asks xdg-user-dir for the Desktop; its tests become a player with setpriv.
    xdg-user-dirs util-linux
    # The installer's extraction for Windows, also built and tested natively.
    libarchive-dev
    clang libclang-rt-14-dev clang-format valgrind
    "$@"
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
    # KVRInstaller asks for the administrator's password through pkexec when not run as root.
    packages+=(pkexec)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
