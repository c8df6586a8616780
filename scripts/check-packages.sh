#!/usr/bin/env bash
# Installs the Debian packages on this (throw-away) machine the way a user would, uses the
# installed programs, removes the packages again and checks that nothing of them is left.
# Needs root. CI runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PACKAGE_BUILD_DIR:-build-packages}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
scripts/make-packages.sh > "$work/packages"
mapfile -t packages < "$work/packages"
names=()
for deb in "${packages[@]}"; do
    names+=("$(dpkg-deb -f "$deb" Package)")
done
export DEBIAN_FRONTEND=noninteractive
dpkg -i "${packages[@]}" || true
apt-get -f install -y -q --no-install-recommends > /dev/null
for name in "${names[@]}"; do
    dpkg-query -W -f='${Package} ${Version} ${Status}\n' "$name" | grep -q 'install ok installed' ||
        { echo "$name did not install" >&2; exit 1; }
done

export XDG_CONFIG_HOME="$work/config"
echo "== /usr/bin/kvsc --version: $(/usr/bin/kvsc --version)"
"$build/tools/kvsample" "$work/shot.jpg" 1680 1050
/usr/bin/kvsc convert --game ravelock --team 6 --no-spectator --scoreboard-only --size 75 \
    -o "$work/out/" -n Board "$work/shot.jpg"
test -s "$work/out/Board1.jpg"
# The window, from the installed module: still open after three seconds means it came up.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/kvsc || status=$?
if [ "$status" -ne 124 ]; then
    echo "the installed window did not stay open (exit status $status)" >&2
    exit 1
fi
echo "== the installed window opened (offscreen) and stayed open"
man -w kvsc > /dev/null

files=()
for deb in "${packages[@]}"; do
    while read -r path; do
        files+=("/${path#./}")
    done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$')
done
dpkg -r "${names[@]}" > /dev/null
left=0
for path in "${files[@]}"; do
    if [ -e "$path" ]; then
        echo "left after removal: $path" >&2
        left=1
    fi
done
for name in "${names[@]}"; do
    if dpkg-query -W -f='${Status}\n' "$name" 2> /dev/null | grep -q 'installed'; then
        echo "$name is still installed" >&2
        left=1
    fi
done
[ "$left" -eq 0 ]
echo "== ${names[*]}: installed, used and removed; nothing of them is left (${#files[@]} files)"
