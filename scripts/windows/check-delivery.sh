#!/usr/bin/env bash
# Checks what package.sh made as a player meets it, under Wine, in a fresh prefix of its own:
#  1. the installer, run silently, puts KVSC below %LOCALAPPDATA%\Programs: KVSC.com --version
#     and a conversion work from there, the Start-menu shortcut and the uninstall key exist; where
#     the window was built, also the launcher and the installer with their shortcuts, which start
#     from there, and KVRExtract.exe, which unpacks an archive;
#  2. its uninstaller, run silently, keeps the player's settings, and with /REMOVESETTINGS
#     removes them too; then nothing of it is left (files and keys listed before and after);
#  3. the portable zip, unzipped: a setting changed through its command line lands in its
#     KVSC.ini, and HKCU\Software\KVSC does not exist.
# The programs find their DLLs only in their own folder, as on a player's machine.
#   scripts/windows/check-delivery.sh    # after package.sh; OUT_DIR=..., NATIVE_BUILD_DIR=...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"

build="$(realpath "${WINDOWS_BUILD_DIR:-$KV_ROOT/build-windows}")"
out="$(realpath "${OUT_DIR:-$build/release}")"
native="$(realpath "${NATIVE_BUILD_DIR:-$KV_ROOT/build}")"
version="$(sed -n 's/^project(KVTools VERSION \([0-9.]*\).*/\1/p' "$KV_ROOT/CMakeLists.txt")"
setup="$out/KVSC-$version-win64-setup.exe"
zip="$out/KVSC-$version-win64.zip"

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix"
cleanup()
{
    "$here/wine-server.sh" stop
    rm -rf "$work"
}
trap cleanup EXIT
source "$here/wine-env.sh"
unset WINEPATH
"$here/wine-server.sh" start
wine() { "${kv_wine[@]}" "$@"; }
wine wineboot.exe --init > /dev/null 2>&1
(cd "$out" && sha256sum --quiet -c SHA256SUMS)
echo "SHA256SUMS: every file matches"

user_dir="$(ls -d "$WINEPREFIX/drive_c/users/"* | grep -v /Public | head -1)"
installed="$user_dir/AppData/Local/Programs/KVSC"
start_menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
shortcut="$start_menu/KV Screenshot Converter.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KVSC'
settings_key='HKCU\Software\KVSC'
key_exists() { wine reg.exe query "$1" > /dev/null 2>&1; }
# The user's files and registry keys, one a line. The temporary folder is left out: the
# uninstaller runs from a copy there, which Windows deletes at the next start. So is Wine's own
# key, where Wine notes settings the first time a window program runs.
snapshot()
{
    (cd "$user_dir" && find . \( -path ./Temp -o -path ./AppData/Local/Temp \) -prune -o -print | sort)
    wine reg.exe export HKCU "Z:${work//\//\\}\\hkcu.reg" /y > /dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$work/hkcu.reg" | tr -d '\r' | grep '^\[' |
        grep -v '^\[HKEY_CURRENT_USER\\Software\\Wine\\' | sort
}
# The uninstaller hands itself on to a copy in the temporary folder (Un.exe) and returns at
# once; it is done when that copy has ended.
uninstall()
{
    wine "$installed/Uninstall.exe" /S "$@"
    for _ in $(seq 120); do
        if ! pgrep -f '\\~nsu[^\\]*\\Un\.exe' > /dev/null; then
            return 0
        fi
        sleep 1
    done
    echo "the uninstaller did not finish within two minutes" >&2
    exit 1
}
win_path() { printf 'Z:%s' "${1//\//\\}"; }

echo "== 1. the installer, silently"
snapshot > "$work/before"
wine "$setup" /S
find "$installed" -type f -printf '%P %s\n' | sort
echo "KVSC.com --version: $(wine "$installed/KVSC.com" --version | tr -d '\r')"
mkdir -p "$work/shots"
"$native/tools/kvsample" "$work/shots/a.jpg" 1680 1050
wine "$installed/KVSC.com" convert --game ravelock --team 6 --no-spectator --scoreboard-only \
    --size 75 -o "$(win_path "$work/out")\\" -n Board "$(win_path "$work/shots/a.jpg")" | tr -d '\r'
test -s "$work/out/Board1.jpg"
test -f "$shortcut"
echo "Start menu: $(basename "$shortcut")"
if [ -f "$installed/kvsc-window.dll" ]; then
    for shortcut_name in "KVRavelock Launcher" KVRInstaller; do
        test -f "$start_menu/$shortcut_name.lnk"
        echo "Start menu: $shortcut_name.lnk"
    done
    # The extraction helper unpacks the mod's archive with the DLLs beside it alone.
    mkdir -p "$work/mod/KVRavelock" "$work/game"
    echo "[MOD]" > "$work/mod/KVRavelock/UT2K4Mod.ini"
    tar -czf "$work/KVRinstall.tgz" -C "$work/mod" KVRavelock
    wine "$installed/KVRExtract.exe" "$(win_path "$work/KVRinstall.tgz")" \
        "$(win_path "$work/game")\\" "$(win_path "$work/message")"
    test -f "$work/game/KVRavelock/UT2K4Mod.ini"
    echo "KVRExtract.exe: unpacked KVRavelock/UT2K4Mod.ini"
    # Each window program keeps running until it is closed; a DLL missing would end it at once.
    for program in KVRavelockLauncher.exe KVRInstaller.exe; do
        status=0
        QT_QPA_PLATFORM=offscreen timeout 5 "${kv_wine[@]}" "$installed/$program" \
            > /dev/null 2>&1 || status=$?
        if [ "$status" != 124 ]; then
            echo "$program ended at once (status $status) instead of showing its window" >&2
            exit 1
        fi
        echo "$program: starts and shows its window"
    done
fi
wine reg.exe query "$uninstall_key" | tr -d '\r' | sed -n 's/^ *//p'
snapshot > "$work/installed"
echo "-- added by the installer:"
comm -13 "$work/before" "$work/installed"

echo "== 2. the uninstaller, silently"
wine "$installed/KVSC.com" settings --game ravelock | tr -d '\r'
uninstall
key_exists "$settings_key" || { echo "the uninstaller removed the settings unasked" >&2; exit 1; }
echo "the settings stayed: $settings_key"
wine "$setup" /S
uninstall /REMOVESETTINGS
! key_exists "$settings_key" || { echo "/REMOVESETTINGS left $settings_key" >&2; exit 1; }
snapshot > "$work/after"
if ! diff "$work/before" "$work/after"; then
    echo "the uninstaller left the above behind" >&2
    exit 1
fi
echo "nothing left: the user's files and keys are those before the install"

echo "== 3. the portable zip"
mkdir -p "$work/portable"
(cd "$work/portable" && cmake -E tar xf "$zip")
portable="$(ls -d "$work/portable/"*)"
test -f "$portable/KVSC.ini" && [ ! -s "$portable/KVSC.ini" ]
wine "$portable/KVSC.com" settings --save-name Portable --size 50 | tr -d '\r'
echo "-- KVSC.ini:"
tr -d '\r' < "$portable/KVSC.ini"
grep -qi '^SaveName=Portable' "$portable/KVSC.ini"
grep -q '^Size=50' "$portable/KVSC.ini"
! key_exists "$settings_key" || { echo "the portable KVSC wrote to $settings_key" >&2; exit 1; }
echo "$settings_key does not exist"
echo "Windows delivery checked: installer, uninstaller and portable zip"
