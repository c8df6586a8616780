#!/usr/bin/env bash
# Makes KVSC-<version>-win64.zip, what a player unzips and runs: KVSC.exe, its console twin
# KVSC.com, the window module, and exactly the DLLs these load (Qt's, its Windows platform
# plugin and style, the MinGW runtime), found by following their imports.
#   scripts/windows/package.sh    # after scripts/windows/build.sh --gui; WINDOWS_BUILD_DIR=... OUT=...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"

build="${WINDOWS_BUILD_DIR:-$KV_ROOT/build-windows}"
version="$(sed -n 's/^project(KVTools VERSION \([0-9.]*\).*/\1/p' "$KV_ROOT/CMakeLists.txt")"
qt_prefix="$KV_WIN_CACHE/qt-$(dpkg-query -W -f='${Version}' qt6-base-dev)"
app="$build/converter/app"
for file in KVSC.exe KVSC.com kvsc-window.dll; do
    if [ ! -f "$app/$file" ]; then
        echo "no $app/$file: run scripts/windows/build.sh --gui first" >&2
        exit 1
    fi
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
name="KVSC-$version-win64"
mkdir -p "$stage/$name/platforms" "$stage/$name/styles"
cp "$app/KVSC.exe" "$app/KVSC.com" "$app/kvsc-window.dll" "$stage/$name/"
cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/$name/platforms/"
if [ -f "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" ]; then
    cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/$name/styles/"
fi

# Every DLL imported by what is staged, found among Qt's and the runtime's; the system's own
# DLLs (kernel32.dll and the like) are in none of these folders and stay out.
search=("$qt_prefix/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
changed=1
while [ "$changed" = 1 ]; do
    changed=0
    while read -r dll; do
        [ -e "$stage/$name/$dll" ] && continue
        for folder in "${search[@]}"; do
            if [ -f "$folder/$dll" ]; then
                cp "$folder/$dll" "$stage/$name/"
                changed=1
                break
            fi
        done
    done < <(find "$stage/$name" -name '*.dll' -o -name '*.exe' -o -name '*.com' |
             xargs -d '\n' x86_64-w64-mingw32-objdump -p | sed -n 's/^\s*DLL Name: //p' | sort -u)
done

# Strip debugging symbols: the player needs none of them.
find "$stage/$name" -name '*.dll' -o -name '*.exe' -o -name '*.com' |
    xargs -d '\n' x86_64-w64-mingw32-strip --strip-unneeded
out="$(realpath -m "${OUT:-$KV_ROOT/$name.zip}")"
rm -f "$out"
(cd "$stage" && cmake -E tar cf "$out" --format=zip "$name")
echo "$out"
(cd "$stage" && find "$name" -type f -printf '%P %s\n' | sort)
