#!/usr/bin/env bash
# Makes what a Windows player downloads, in one go, into OUT_DIR (default WINDOWS_BUILD_DIR's
# release/):
#  - KVSC-<version>-win64.zip, the portable KVSC: the programs, exactly the DLLs they load (found
#    by following their imports) and an empty KVSC.ini, which keeps the settings beside them;
#  - KVSC-<version>-win64-setup.exe, the per-user installer of the same files (no KVSC.ini), made
#    with makensis from KVSC.nsi;
#  - SHA256SUMS for these and for the Debian packages of scripts/make-packages.sh, when there
#    (DEB_DIR, default build-packages/), which are copied beside them.
# After scripts/windows/build.sh (--gui for KVSC's window, the launcher and the installer; without
# it, KVSC's command line alone).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"
"$KV_ROOT/scripts/install-deps.sh" nsis

build="$(realpath "${WINDOWS_BUILD_DIR:-$KV_ROOT/build-windows}")"
out="$(realpath -m "${OUT_DIR:-$build/release}")"
debs="$(realpath -m "${DEB_DIR:-$KV_ROOT/build-packages}")"
version="$(sed -n 's/^project(KVTools VERSION \([0-9.]*\).*/\1/p' "$KV_ROOT/CMakeLists.txt")"
qt_prefix="$KV_WIN_CACHE/qt-$(dpkg-query -W -f='${Version}' qt6-base-dev)"

# The programs a player gets, one a line: the built file, the name of its Start-menu shortcut (""
# for none), and "window" for those built only with the window (build.sh --gui).
programs=(
    "converter/app/KVSC.exe|KV Screenshot Converter|"
    "converter/app/KVSC.com||"
    "launcher/app/KVRavelockLauncher.exe|KVRavelock Launcher|window"
    "installer/app/KVRInstaller.exe|KVRInstaller|window"
    "installer/helper/KVRExtract.exe||window"
)
program_file() { printf '%s' "${1%%|*}"; }
program_shortcut() { local rest="${1#*|}"; printf '%s' "${rest%%|*}"; }
program_needs_window() { [ "${1##*|}" = window ]; }

# The window module tells whether this build has the window.
with_window=0
[ -f "$build/converter/app/kvsc-window.dll" ] && with_window=1
packed=()
for entry in "${programs[@]}"; do
    if program_needs_window "$entry" && [ "$with_window" = 0 ]; then
        continue
    fi
    packed+=("$entry")
done

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
name="KVSC-$version-win64"
files="$stage/$name"
mkdir -p "$files"
for entry in "${packed[@]}"; do
    program="$build/$(program_file "$entry")"
    if [ ! -f "$program" ]; then
        echo "no $program: run scripts/windows/build.sh first" >&2
        exit 1
    fi
    cp "$program" "$files/"
done
# The window comes as a module with Qt's platform plugin and style, where it was built.
if [ "$with_window" = 1 ]; then
    mkdir -p "$files/platforms" "$files/styles"
    cp "$build/converter/app/kvsc-window.dll" "$files/"
    cp "$qt_prefix/plugins/platforms/qwindows.dll" "$files/platforms/"
    if [ -f "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" ]; then
        cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$files/styles/"
    fi
else
    echo "note: no window module in $build (scripts/windows/build.sh --gui): KVSC's command line only" >&2
fi

# Every DLL imported by what is staged, found among Qt's and the runtime's; the system's own
# DLLs (kernel32.dll and the like) are in none of these folders and stay out.
search=("$qt_prefix/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
changed=1
while [ "$changed" = 1 ]; do
    changed=0
    while read -r dll; do
        [ -e "$files/$dll" ] && continue
        for folder in "${search[@]}"; do
            if [ -f "$folder/$dll" ]; then
                cp "$folder/$dll" "$files/"
                changed=1
                break
            fi
        done
    done < <(find "$files" -name '*.dll' -o -name '*.exe' -o -name '*.com' |
             xargs -d '\n' x86_64-w64-mingw32-objdump -p | sed -n 's/^\s*DLL Name: //p' | sort -u)
done
# Strip debugging symbols: the player needs none of them.
find "$files" -name '*.dll' -o -name '*.exe' -o -name '*.com' |
    xargs -d '\n' x86_64-w64-mingw32-strip --strip-unneeded

# The installer's lists, made from the staged files: what it installs is exactly what its
# uninstaller removes.
lists="$stage/lists"
mkdir -p "$lists"
nsis_path() { printf '%s' "${1//\//\\}"; }
(
    cd "$files"
    find . -type d | sort | while read -r folder; do
        folder="${folder#.}"
        echo "SetOutPath \"\$INSTDIR$(nsis_path "$folder")\""
        find ".$folder" -maxdepth 1 -type f | sort | while read -r file; do
            echo "File \"$files/${file#./}\""
        done
    done
    echo 'SetOutPath "$INSTDIR"'
) > "$lists/install.nsh"
(
    cd "$files"
    find . -type f | sort | while read -r file; do
        echo "Delete \"\$INSTDIR\\$(nsis_path "${file#./}")\""
    done
    find . -mindepth 1 -type d | sort -r | while read -r folder; do
        echo "RMDir \"\$INSTDIR\\$(nsis_path "${folder#./}")\""
    done
) > "$lists/uninstall.nsh"
: > "$lists/shortcuts.nsh"
for entry in "${packed[@]}"; do
    shortcut="$(program_shortcut "$entry")"
    [ -n "$shortcut" ] || continue
    program="$(basename "$(program_file "$entry")")"
    echo "CreateShortcut \"\$SMPROGRAMS\\$shortcut.lnk\" \"\$INSTDIR\\$program\"" >> "$lists/shortcuts.nsh"
    echo "Delete \"\$SMPROGRAMS\\$shortcut.lnk\"" >> "$lists/uninstall.nsh"
done

mkdir -p "$out"
rm -f "$out/$name.zip" "$out/$name-setup.exe" "$out/SHA256SUMS" "$out"/*.deb
makensis -V2 -DVERSION="$version" -DICON="$KV_ROOT/converter/app/KVSC.ico" -DLISTS="$lists" \
    -DOUTFILE="$out/$name-setup.exe" "$here/KVSC.nsi"
# The zip alone is portable: its empty KVSC.ini keeps the settings beside the programs.
: > "$files/KVSC.ini"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
if compgen -G "$debs/*.deb" > /dev/null; then
    cp "$debs"/*.deb "$out/"
fi
(cd "$out" && sha256sum -- "$name.zip" "$name-setup.exe" $(cd "$out" && ls -- *.deb 2> /dev/null) > SHA256SUMS)

echo "$out"
(cd "$stage" && find "$name" -type f -printf '%P %s\n' | sort)
(cd "$out" && ls -l --time-style=+ -- * | awk '{ print $5, $NF }')
