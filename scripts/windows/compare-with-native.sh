#!/usr/bin/env bash
# Converts the same screenshots with the Windows KVSC under Wine and with the native kvsc, with
# the same settings, and fails unless both write the same files, byte for byte.
#   compare-with-native.sh WINDOWS-KVSC NATIVE-KVSC NATIVE-KVSAMPLE
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
windows_kvsc="$1" native_kvsc="$2" kvsample="$3"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/shots"
"$kvsample" "$work/shots/a.jpg" 1680 1050 1
"$kvsample" "$work/shots/b.bmp" 1680 1050 2
"$kvsample" "$work/shots/c.jpg" 1024 768 3
"$kvsample" "$work/shots/снимок 4.bmp" 1280 1024 4
# Not a supported resolution: converted by neither, kept by both.
"$kvsample" "$work/shots/d.jpg" 333 222 5

settings=(
    "crop75|--team 6 --no-spectator --scoreboard-only --size 75"
    "crop100|--team 10 --spectator --scoreboard-only --size 100"
    "whole50|--team 6 --no-spectator --whole --size 50"
)
failures=0
for entry in "${settings[@]}"; do
    name="${entry%%|*}"
    read -r -a options <<< "${entry#*|}"
    for side in native windows; do
        rm -rf "$work/in"
        cp -r "$work/shots" "$work/in"
        common=(convert --game ravelock "${options[@]}" -o "$work/$side-$name/" -n Shot
                --delete-originals --jobs 2 "$work/in/"*)
        if [ "$side" = native ]; then
            "$native_kvsc" "${common[@]}" > "$work/$side-$name.log"
        else
            "$here/wine-run.sh" "$windows_kvsc" "${common[@]}" > "$work/$side-$name.log"
        fi
        if [ "$(ls -A "$work/in")" != d.jpg ]; then
            echo "$name, $side: originals left: $(ls "$work/in"), not just d.jpg" >&2
            failures=$((failures + 1))
        fi
    done
    native_files="$(cd "$work/native-$name" && ls)"
    windows_files="$(cd "$work/windows-$name" && ls)"
    if [ "$native_files" != "$windows_files" ] || [ -z "$native_files" ]; then
        echo "$name: native wrote [$native_files], Windows wrote [$windows_files]" >&2
        failures=$((failures + 1))
        continue
    fi
    for file in $native_files; do
        if cmp -s "$work/native-$name/$file" "$work/windows-$name/$file"; then
            echo "$name/$file: same $(stat -c %s "$work/native-$name/$file") bytes"
        else
            echo "$name/$file: the bytes differ" >&2
            failures=$((failures + 1))
        fi
    done
done
echo "$failures difference(s)"
[ "$failures" -eq 0 ]
