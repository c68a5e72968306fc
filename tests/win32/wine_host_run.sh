#!/usr/bin/env bash
# The Windows build used as a Windows host uses it, each step one ctest test (tests/win32's
# CMakeLists.txt declares their order and fixtures):
#
#   wine_host_run.sh reference RUN LINUX_BIN POINTS   the sample project (Linux
#                        make-sample-project) and the Linux noxconvert's NOX files of it, from
#                        the scan files and from the point database
#   wine_host_run.sh register RUN BIN                 regsvr32 of the grid reader, as an installer
#                        does (the conversion from scan files needs it for the grid scans)
#   wine_host_run.sh unregister RUN BIN               takes that registration away again
#   wine_host_run.sh monitor-start RUN BIN            noxmonitor.exe, in the background, until it
#                        waits for records (it creates the progress block the conversions open)
#   wine_host_run.sh convert RUN BIN LINUX_BIN SOURCE   noxconvert.exe converts the project
#                        from SOURCE (scan or rdb); the NOX file must hold what the Linux one
#                        holds: the same clouds, points, matrices and channels
#   wine_host_run.sh c-host RUN PROGRAM LINUX_BIN     the C host example PROGRAM (examples/c_host)
#                        converts the project from its scan files into one file, which must
#                        hold what the Linux conversion holds
#   wine_host_run.sh monitor-check RUN                the monitor printed the records of every
#                        conversion that ran; then it is stopped
#
# RUN is the run's folder, BIN the Windows programs' folder; WINEPREFIX and Wine's other
# variables come from ctest. Each Wine process here is a minute or more where Wine runs through
# qemu and about a second where the kernel runs 32-bit programs itself: waits poll for what they
# wait for, up to a limit meant for the slow kind, and never sleep for a fixed time.
set -euo pipefail
action=${1:?an action}
run=${2:?the run folder}
shift 2

winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
    local limit=$1 started
    shift
    started=$(date +%s)
    until "$@"; do
        [ $(($(date +%s) - started)) -lt "$limit" ] || return 1
        sleep 0.2
    done
}

# Same content: what info reports, without the file's own name, the tags that hold paths and
# the clouds' scan paths (the label from each scan's file name stays), and the SHA-256 of every
# point as exported text.
content() {  # LINUX_BIN FILE
    "$1/noxconvert" -q info --json "$2" |
        /usr/bin/python3 -c '
import json, sys
info = json.load(sys.stdin)
info.pop("file", None)
def drop_paths(node):
    if isinstance(node, dict):
        node.pop("tags", None)
        node.pop("scan", None)
        for value in node.values(): drop_paths(value)
    elif isinstance(node, list):
        for value in node: drop_paths(value)
drop_paths(info)
print(json.dumps(info, indent=1, sort_keys=True))'
    "$1/noxconvert" -q export "$2" "$2.xyz" >/dev/null
    sha256sum <"$2.xyz"
    rm -f "$2.xyz"
}

monitor_log=$run/monitor/monitor.log
monitor_pid=$run/monitor/monitor.pid

case $action in
reference)
    linux_bin=$1 points=$2
    rm -rf "$run/project" "$run/linux"
    mkdir -p "$run/linux"
    "$linux_bin/make-sample-project" "$run/project" --points "$points" >/dev/null
    for source in scan rdb; do
        "$linux_bin/noxconvert" -q convert "$run/project/site.rsp" -o "$run/linux/$source.nox" \
            --project-source "$source" >"$run/linux/$source.log" 2>&1 ||
            fail "Linux noxconvert from $source: $(tail -n 5 "$run/linux/$source.log")"
        content "$linux_bin" "$run/linux/$source.nox" >"$run/linux/$source.content"
    done
    echo "sample project of $points points in $run/project, Linux conversions in $run/linux"
    ;;
register | unregister)
    bin=$1
    flags=(/s)
    [ "$action" = register ] || flags+=(/u)
    mkdir -p "$run"
    wine regsvr32 "${flags[@]}" "$(winpath "$bin/3ddreader.dll")" >"$run/$action.log" 2>&1 </dev/null ||
        fail "regsvr32 ${flags[*]} 3ddreader.dll: $(cat "$run/$action.log")"
    echo "grid reader: $action done"
    ;;
monitor-start)
    bin=$1
    rm -rf "$run/monitor" "$run"/converted-*
    mkdir -p "$run/monitor"
    # Its own session and no terminal, its output in a file: ctest waits for no pipe of it. It
    # ends by itself after 30 minutes without a record, should monitor-check never run.
    setsid wine "$bin/noxmonitor.exe" --timeout 1800 >"$monitor_log" 2>&1 </dev/null &
    echo $! >"$monitor_pid"
    alive() { kill -0 "$(cat "$monitor_pid")" 2>/dev/null; }
    waiting() { grep -q 'waiting for progress' "$monitor_log" || ! alive; }
    wait_for 900 waiting || fail "noxmonitor.exe did not start in 900 s: $(tail -n 5 "$monitor_log")"
    alive || fail "noxmonitor.exe ended at its start: $(tail -n 5 "$monitor_log")"
    head -n 1 "$monitor_log"
    ;;
convert)
    bin=$1 linux_bin=$2 source=$3
    out=$run/windows
    mkdir -p "$out"
    rm -f "$out/$source".* "$run/converted-$source"
    # The same file name on both sides: the scene is named after it.
    wine "$bin/noxconvert.exe" convert "$(winpath "$run/project/site.rsp")" \
        -o "$(winpath "$out/$source.nox")" --project-source "$source" \
        --report "$(winpath "$out/$source.json")" >"$out/$source.log" 2>&1 </dev/null ||
        fail "noxconvert.exe from $source: $(tail -n 5 "$out/$source.log")"
    # For monitor-check: this conversion ran, so its records must have reached the monitor.
    touch "$run/converted-$source"
    content "$linux_bin" "$out/$source.nox" >"$out/$source.content"
    diff -u "$run/linux/$source.content" "$out/$source.content" >"$out/$source.diff" ||
        fail "the NOX files from $source differ (Linux, Windows): $(head -n 40 "$out/$source.diff")"
    echo "same content from $source as on Linux: $(grep -c '"matrix"' "$out/$source.content") clouds," \
        "$(grep '^ "points"' "$out/$source.content" | tr -dc 0-9) points, points digest" \
        "$(tail -n 1 "$out/$source.content" | cut -c1-16)"
    ;;
c-host)
    program=$1 linux_bin=$2
    name=$(basename "$program" .exe)
    out=$run/$name
    rm -rf "$out"
    mkdir -p "$out"
    # scan.nox, as the Linux file: the scene is named after the file.
    wine "$program" "$(winpath "$run/project/site.rsp")" "$(winpath "$out/scan.nox")" 3 scan \
        >"$out/log" 2>&1 </dev/null || fail "$name: $(tail -n 5 "$out/log")"
    grep -q 'overall 100%' "$out/log" || fail "$name reported no progress to 100 %: $(tail -n 5 "$out/log")"
    grep -q 'exported .*scan.nox' "$out/log" || fail "$name named no file: $(tail -n 5 "$out/log")"
    content "$linux_bin" "$out/scan.nox" >"$out/scan.content"
    diff -u "$run/linux/scan.content" "$out/scan.content" >"$out/scan.diff" ||
        fail "$name: the NOX file differs from the Linux one: $(head -n 40 "$out/scan.diff")"
    echo "$name: same content as on Linux: $(grep -c '"matrix"' "$out/scan.content") clouds"
    ;;
monitor-check)
    [ -f "$monitor_pid" ] || fail "no monitor was started (monitor-start)"
    # What each conversion leaves in the monitor's output: a record naming one of its inputs
    # (the project's scan files or its database files), and a record at 100 percent.
    patterns=()
    [ ! -f "$run/converted-scan" ] || patterns+=('SINGLESCANS\\[^	]*\.(rxp|3dd)	')
    [ ! -f "$run/converted-rdb" ] || patterns+=('SINGLESCANS\\[^	]*\.rdb	')
    [ ${#patterns[@]} -eq 0 ] || patterns+=('overall 100%')
    seen() {
        local p
        for p in "${patterns[@]}"; do grep -qE "$p" "$monitor_log" || return 1; done
    }
    # The conversions have ended; the monitor may still be printing their last records.
    found=1
    wait_for 120 seen || found=0
    # The monitor leads its own process group (setsid): the group goes, whatever Wine started.
    kill -- "-$(cat "$monitor_pid")" 2>/dev/null || kill "$(cat "$monitor_pid")" 2>/dev/null || true
    rm -f "$monitor_pid"
    echo "noxmonitor.exe printed $(grep -c 'overall' "$monitor_log" || true) progress records"
    [ "$found" = 1 ] || {
        for p in "${patterns[@]}"; do
            grep -qE "$p" "$monitor_log" || echo "no record matching: $p" >&2
        done
        fail "the monitor missed records: $(tail -n 5 "$monitor_log")"
    }
    ;;
*)
    fail "wine_host_run.sh: unknown action $action"
    ;;
esac
