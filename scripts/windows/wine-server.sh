#!/usr/bin/env bash
# Keeps one Wine server running for wine-run.sh's prefix from `start` to `stop`.
# Debian's wineserver starts with -p0: it quits the moment its last program ends, after writing
# the registry out. A program started in that moment connects to the quitting server and dies
# with "wine client error:0: recvmsg: Connection reset by peer" before running a line of its
# own. A build or a test run starts programs one after another, so it met that now and then; a
# persistent server never quits between them.
#   scripts/windows/wine-server.sh start|stop
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # A server already running may be one that quits when idle: it makes way.
    wineserver -k 2> /dev/null || true
    wineserver -p
    ;;
stop)
    wineserver -k 2> /dev/null || true
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
