#!/usr/bin/env bash
# The Wine session the Windows tests run in: a persistent wineserver for the prefix and Wine's
# services, started once by wineboot.
#
#   wine_session.sh start STAMP   starts the session, unless STAMP says it already runs in the
#                                 prefix's current wineserver (then it returns at once)
#   wine_session.sh stop STAMP    ends the wineserver of the prefix and every Wine process in it
#
# WINEPREFIX and Wine's other variables come from the caller (ctest's test environment, or
# scripts/build-windows.sh, which starts the session beside the build because it takes minutes
# where Wine runs through qemu).
#
# Wine's background processes (services.exe and the rest) inherit the output of the program that
# starts the session; their output goes into a log beside STAMP, so that they hold no pipe of
# ctest or of a terminal open.
set -euo pipefail
action=${1:?start or stop}
stamp=${2:?a stamp file}
: "${WINEPREFIX:?WINEPREFIX is not set}"
log=${stamp%.*}.log
mkdir -p "$(dirname "$stamp")"

# The pid of the wineserver of this prefix, or nothing: the server works in a folder of its own
# named after the prefix's device and inode, "server-DEV-INODE" in hex (below /tmp/.wine-UID, or
# a folder Wine makes under /tmp).
server_pid() {
    [ -d "$WINEPREFIX" ] || return 0
    local dev inode name p
    read -r dev inode < <(stat -c '%d %i' "$WINEPREFIX")
    name=$(printf 'server-%x-%x' "$dev" "$inode")
    for p in /proc/[0-9]*; do
        case $(readlink "$p/cwd" 2>/dev/null) in
        /tmp/*/"$name")
            if tr '\0' ' ' <"$p/cmdline" 2>/dev/null | grep -q wineserver; then
                echo "${p#/proc/}"
                return 0
            fi
            ;;
        esac
    done
}

case $action in
start)
    pid=$(server_pid)
    if [ -n "$pid" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$pid" ]; then
        echo "wine session: running (wineserver $pid, prefix $WINEPREFIX)"
        exit 0
    fi
    started=$(date +%s)
    # A prefix is whole once a wineboot in it has succeeded (the mark below). One without the
    # mark was left half made (a wineboot that crashed under qemu leaves a prefix without its
    # system DLLs, where every later start fails): it is made anew.
    complete=$WINEPREFIX/.ks-prefix-complete
    remake_prefix() {
        echo "wine session: making the prefix $WINEPREFIX anew" >&2
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
    }
    if [ -e "$WINEPREFIX" ] && [ ! -f "$complete" ]; then
        [ -z "$pid" ] || { wineserver -k >>"$log" 2>&1 </dev/null || true; pid=; }
        remake_prefix
    fi
    [ -f "$WINEPREFIX/system.reg" ] || echo "wine session: making the prefix $WINEPREFIX"
    # The server works in the prefix's folder: an empty one does for a new prefix.
    mkdir -p "$WINEPREFIX"
    # The log's own lines, without Wine's "fixme" chatter, say why the last attempt failed.
    fail() {
        echo "wine session: no session; the end of $log:" >&2
        grep -v ':fixme:' "$log" | tail -n 20 >&2 || true
        exit 1
    }
    # Under qemu the wineserver has been seen to crash while wineboot starts the services; the
    # wineboot left behind then waits for ever. So wineboot is watched: when the server goes,
    # wineboot is ended and the start tried again, three times at most.
    # A server already running for the prefix without the session would end with its last
    # program, and a persistent one is wanted: it is ended first.
    end_server() { wineserver -k >>"$log" 2>&1 </dev/null && wineserver -w >>"$log" 2>&1 </dev/null || true; }
    [ -z "$pid" ] || end_server
    attempts=4
    for attempt in $(seq "$attempts"); do
        # "wineserver -p" returns before the server it forks has moved into its folder (a
        # quarter of a second later under qemu), so the server is waited for. Under qemu the
        # server has also been seen to crash as it starts: a start that leaves no server is a
        # failed attempt like the others.
        wineserver -p >>"$log" 2>&1 </dev/null || true
        pid=
        for _ in $(seq 300); do
            pid=$(server_pid)
            [ -z "$pid" ] || break
            sleep 0.1
        done
        if [ -z "$pid" ]; then
            echo "wine session: no wineserver started (attempt $attempt of $attempts)" >&2
            [ "$attempt" != "$attempts" ] || fail
            end_server
            continue
        fi
        # In a new prefix wineboot makes it (many minutes under qemu); in an existing one it
        # starts the services.
        setsid wine wineboot >>"$log" 2>&1 </dev/null &
        boot=$!
        while kill -0 "$boot" 2>/dev/null && kill -0 "$pid" 2>/dev/null; do sleep 1; done
        # The server alive: wineboot has ended, and its status tells.
        if kill -0 "$pid" 2>/dev/null && wait "$boot"; then
            touch "$complete"
            break
        fi
        echo "wine session: the wineserver or wineboot failed (attempt $attempt of $attempts)" >&2
        kill -- "-$boot" 2>/dev/null || true
        end_server
        [ "$attempt" != "$attempts" ] || fail
        # A prefix that is not whole is no start for the next attempt.
        [ -f "$complete" ] || remake_prefix
    done
    echo "$pid" >"$stamp"
    echo "wine session: started in $(($(date +%s) - started)) s (wineserver $pid, prefix $WINEPREFIX)"
    ;;
stop)
    rm -f "$stamp"
    wineserver -k >>"$log" 2>&1 </dev/null || true
    echo "wine session: ended"
    ;;
*)
    echo "wine_session.sh: unknown action $action" >&2
    exit 2
    ;;
esac
