#!/usr/bin/env bash
# Keeps one Wine server running for wine-run.sh's prefix from `start` to `stop`.
# Debian's wineserver starts with -p0: it quits the moment its last program ends, after writing
# the registry out. A program started in that moment connects to the quitting server and dies
# with "wine client error:0: recvmsg: Connection reset by peer" before running a line of its
# own. A build or a test run starts programs one after another, so it met that now and then; a
# persistent server never quits between them.
# Its system processes (services.exe and the like) live as long as it does, and would keep the
# output pipe of the program that started them open: CTest would wait for that test to end until
# the server did. So `start` starts them too, with nothing open but /dev/null.
#   scripts/windows/wine-server.sh start|stop
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # A server already running may be one that quits when idle: it makes way.
    wineserver -k 2> /dev/null || true
    # The server and the system processes stay in the background with what they inherit: no
    # descriptor of whoever started them may stay open in them.
    errors="$(mktemp)"
    if ! (
        for fd in /proc/self/fd/*; do
            fd="${fd##*/}"
            [ "$fd" -le 2 ] || eval "exec $fd>&-"
        done 2> /dev/null
        wineserver -p < /dev/null > /dev/null 2> "$errors" &&
            "${kv_wine[@]}" cmd.exe /c exit < /dev/null > /dev/null 2>> "$errors"
    ); then
        cat "$errors" >&2
        rm -f "$errors"
        exit 1
    fi
    rm -f "$errors"
    ;;
stop)
    wineserver -k 2> /dev/null || true
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
