#!/usr/bin/env bash
# Checks the Windows KVSC as a player meets it, under Wine in a virtual X display, in a Wine
# prefix of its own (a registry that has never seen KVSC):
#  1. the first start shows the window and writes the defaults to the registry;
#  2. values put into the registry come back in the window at the next start;
#  3. Open (through the real file dialog) and Convert in the window write the bytes that the
#     native kvsc writes for the same screenshots and settings;
#  4. `KVSC convert` typed at cmd.exe's prompt prints its lines there and returns its status.
# Needs scripts/windows/build.sh --gui and a native build (NATIVE_BUILD_DIR, default build/).
#   scripts/windows/check-window.sh [SCREENSHOT-FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"
"$KV_ROOT/scripts/install-deps.sh" xdotool imagemagick

build="$(realpath "${WINDOWS_BUILD_DIR:-$KV_ROOT/build-windows}")"
native="$(realpath "${NATIVE_BUILD_DIR:-$KV_ROOT/build}")"
shots_out="$(realpath -m "${1:-$KV_ROOT/docs}")"
mkdir -p "$shots_out"
app="$build/converter/app"
export KV_WIN_DLL_PATH="$KV_WIN_CACHE/qt-$(dpkg-query -W -f='${Version}' qt6-base-dev)/bin"
wine=("$here/wine-run.sh")

work="$(mktemp -d)"
xvfb_pid=""
cleanup()
{
    "${wine[@]}" wineboot.exe --kill > /dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
"${wine[@]}" wineboot.exe --init > /dev/null 2>&1
# Wine has none of Windows' own fonts (Verdana, Tahoma, Segoe UI), and Qt's edit fields draw no
# text at all in the stand-ins it offers; a real font in their place shows what Windows shows.
for font in Verdana Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Segoe UI'; do
    "${wine[@]}" reg.exe add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" \
        /d 'DejaVu Sans' /f > /dev/null
done
key='HKCU\Software\KVSC'

# Starts KVSC.exe and waits for its window; sets $window and $kvsc_pid.
start_window()
{
    "${wine[@]}" "$app/KVSC.exe" > "$work/window.log" 2>&1 &
    kvsc_pid=$!
    window="$(timeout 60 xdotool search --sync --onlyvisible --name '^KV Screenshot Converter 3.0$' | head -1)"
    sleep 2 # let it paint
}
close_window()
{
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4 || true
    wait "$kvsc_pid" || true
}

echo "== 1. first start"
start_window
import -window "$window" "$shots_out/kvsc-window-wine.png"
"${wine[@]}" reg.exe query "$key" | tr -d '\r'
close_window

echo "== 2. stored values come back"
mkdir -p "$work/shots" "$work/out-window" "$work/out-native"
"$native/tools/kvsample" "$work/shots/a.jpg" 1680 1050 1
"$native/tools/kvsample" "$work/shots/b.bmp" 1280 1024 2
win_out="Z:${work//\//\\}\\out-window\\"
"${wine[@]}" reg.exe add "$key" /v Game /d "Korvane: Ravelock" /f > /dev/null
"${wine[@]}" reg.exe add "$key" /v Size /d 75 /f > /dev/null
"${wine[@]}" reg.exe add "$key" /v SaveFolder /d "$win_out" /f > /dev/null
"${wine[@]}" reg.exe add "$key" /v SaveName /d Board /f > /dev/null
start_window
import -window "$window" "$work/restarted.png"

echo "== 3. Open and Convert in the window"
# Focus starts on "Open..": the file dialog opens in the folder typed, then takes both names.
xdotool windowfocus --sync "$window" key --clearmodifiers space
sleep 3
xdotool type --delay 30 "Z:${work//\//\\}\\shots"
xdotool key Return
sleep 2
xdotool type --delay 30 '"a.jpg" "b.bmp"'
xdotool key Return
sleep 3
# Convert: two tabs from Open.. (Remove Selected, then Convert).
xdotool windowfocus --sync "$window" key --clearmodifiers Tab Tab space
sleep 5
import -window "$window" "$shots_out/kvsc-window-wine-converted.png"
close_window
"$native/converter/app/kvsc" convert --game ravelock --team 6 --no-spectator \
    --scoreboard-only --size 75 -o "$work/out-native/" -n Board "$work/shots/a.jpg" \
    "$work/shots/b.bmp"
for file in Board1.jpg Board2.jpg; do
    if cmp "$work/out-window/$file" "$work/out-native/$file"; then
        echo "$file: the window wrote the native build's $(stat -c %s "$work/out-native/$file") bytes"
    else
        echo "$file: differs from the native build's" >&2
        exit 1
    fi
done

echo "== 4. KVSC convert at cmd.exe's prompt"
mkdir -p "$work/out-cmd"
cp "$work/shots/a.jpg" "$work/shots/x.jpg"
win_work="Z:${work//\//\\}"
# cmd.exe runs KVSC.com for "KVSC"; its exit status is cmd's.
for command in "KVSC convert --jobs 1 -o $win_work\\out-cmd\\ $win_work\\shots\\x.jpg" \
    "KVSC convert --size abc $win_work\\shots\\x.jpg"; do
    echo "C:\\> $command"
    status=0
    (cd "$app" && "${wine[@]}" cmd.exe /c "$command") > "$work/cmd.log" 2>&1 || status=$?
    tr -d '\r' < "$work/cmd.log"
    echo "exit status $status"
done
