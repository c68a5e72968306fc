#!/usr/bin/env bash
# Runs the Windows build (build-win32/, made by scripts/build-windows.sh) under Wine:
#   1. the Windows test program and the import checks, through ctest;
#   2. at the same time, as a Windows host would: the grid reader registered with regsvr32,
#      noxmonitor.exe started first, then noxconvert.exe converting the sample project (written
#      by the Linux make-sample-project) from its scan files and from its point database, each in
#      its own Wine process. The monitor must print the records both conversions post, and each
#      NOX file must hold the same clouds, points, matrices and channels as the Linux noxconvert
#      makes of the same project with the same settings.
#
#   scripts/wine-tests.sh [LINUX_BUILD]     (a Linux build with noxconvert and
#                                            make-sample-project; default build/)
#   scripts/wine-tests.sh --start-session   (only installs Wine and starts its session, which
#                                            stays up for a later run with
#                                            KS_WINE_SESSION_STARTED=1)
#   KS_WINEPREFIX=/some/dir scripts/wine-tests.sh   (Wine prefix; default
#                                            ~/.cache/noxformats/wineprefix-win32, kept between
#                                            runs: making one costs many minutes where Wine runs
#                                            through qemu)
#
# Every Wine process costs a minute or more here, so the run uses five in all, two at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start_only=0
if [ "${1:-}" = --start-session ]; then
    start_only=1
    shift
fi
linux_bin=$(realpath -m "${1:-build}")/bin
win=$root/build-win32
run=$win/wine-run
export WINEPREFIX=$(realpath -m "${KS_WINEPREFIX:-$HOME/.cache/noxformats/wineprefix-win32}")
export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe,winemenubuilder.exe=d
unset DISPLAY

[ "$start_only" = 1 ] || for f in "$linux_bin/noxconvert" "$linux_bin/make-sample-project" "$win/bin/noxconvert.exe" \
         "$win/bin/ks_win32_tests.exe"; do
    [ -x "$f" ] || [ -f "$f" ] || { echo "wine-tests: $f is missing: build it first" >&2; exit 1; }
done

started=$(date +%s)
timings=()
mark() { timings+=("$(printf '%5d s  %s' $(($(date +%s) - started)) "$*")"); }
failures=()
fail() { failures+=("$*"); echo "FAILED: $*" >&2; }

# The wineserver of the session is ended on the way out.
cleanup() {
    jobs -p | xargs -r kill 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    printf '\n== Times (from the start of the Wine run)\n'
    printf '%s\n' "${timings[@]}"
}
[ "$start_only" = 1 ] || trap cleanup EXIT

scripts/install-wine.sh
mkdir -p "$(dirname "$WINEPREFIX")"
# A new prefix is made by wineboot, once (long under qemu: twenty minutes and more); in an
# existing one wineboot starts the session: Wine's services, several minutes here, mostly spent
# waiting. The session is started before any test program, with its output in a file, because
# Wine's background processes inherit the output of the program that starts the session and
# would keep ctest waiting on its pipe. scripts/build-windows.sh starts it early, beside the
# build, and says so with KS_WINE_SESSION_STARTED=1.
wineserver -p 2>/dev/null || true
if [ "${KS_WINE_SESSION_STARTED:-0}" != 1 ]; then
    [ -f "$WINEPREFIX/system.reg" ] || echo "wine-tests: making the Wine prefix $WINEPREFIX"
    wine wineboot >"$(dirname "$WINEPREFIX")/wineboot.log" 2>&1 </dev/null
    mark "Wine session started"
fi
[ "$start_only" = 0 ] || exit 0
rm -rf "$run"
mkdir -p "$run"

# The test program, in the background: its own Wine process, its output in a file.
(
    ctest --test-dir "$win" --output-on-failure >"$run/ctest.log" 2>&1
    echo $? >"$run/ctest.rc"
) &
ctest_job=$!

# The host's side, meanwhile.
points=60000
"$linux_bin/make-sample-project" "$run/project" --points "$points" >/dev/null
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
project=$(winpath "$run/project/site.rsp")

# Registering the grid reader is what an installer does; the conversion from scan files
# needs it for the project's grid scans.
wine regsvr32 /s "$(winpath "$win/bin/3ddreader.dll")" >"$run/regsvr32.log" 2>&1 </dev/null ||
    fail "regsvr32 3ddreader.dll: $(cat "$run/regsvr32.log")"
mark "grid reader registered"

# The monitor first: it creates the progress block the conversions open. It stops after 10
# minutes without a record.
wine "$win/bin/noxmonitor.exe" --timeout 600 >"$run/monitor.log" 2>&1 </dev/null &
monitor_job=$!
# Its block exists once it says that it waits.
for _ in $(seq 1 600); do
    [ -s "$run/monitor.log" ] && break
    sleep 1
done
mark "monitor started"

convert() {  # NAME SOURCE: converts the project from SOURCE under Wine and on Linux
    local name=$1 source=$2
    # The same file name on both sides: the scene is named after it.
    mkdir -p "$run/windows" "$run/linux"
    wine "$win/bin/noxconvert.exe" convert "$project" -o "$(winpath "$run/windows/$name.nox")" \
        --project-source "$source" --report "$(winpath "$run/windows/$name.json")" \
        >"$run/windows/$name.log" 2>&1 </dev/null ||
        fail "noxconvert.exe from $source: $(tail -n 5 "$run/windows/$name.log")"
    "$linux_bin/noxconvert" -q convert "$run/project/site.rsp" -o "$run/linux/$name.nox" \
        --project-source "$source" >"$run/linux/$name.log" 2>&1 ||
        fail "Linux noxconvert from $source: $(tail -n 5 "$run/linux/$name.log")"
}
convert scans scan
mark "converted from the scan files under Wine"
convert database rdb
mark "converted from the point database under Wine"

# Same content: what info reports, without the file's own name and the tags that hold paths,
# and every point as exported text.
content() {
    "$linux_bin/noxconvert" -q info --json "$1" |
        /usr/bin/python3 -c '
import json, sys
info = json.load(sys.stdin)
info.pop("file", None)
def drop_paths(node):
    if isinstance(node, dict):
        node.pop("tags", None)
        for value in node.values(): drop_paths(value)
    elif isinstance(node, list):
        for value in node: drop_paths(value)
drop_paths(info)
print(json.dumps(info, indent=1, sort_keys=True))'
    "$linux_bin/noxconvert" -q export "$1" "$1.xyz" >/dev/null && sha256sum <"$1.xyz"
}
for name in scans database; do
    if [ -f "$run/windows/$name.nox" ] && [ -f "$run/linux/$name.nox" ]; then
        content "$run/windows/$name.nox" >"$run/windows/$name.content"
        content "$run/linux/$name.nox" >"$run/linux/$name.content"
        if diff -u "$run/linux/$name.content" "$run/windows/$name.content" >"$run/$name.diff"; then
            echo "same content from the $name: $(grep -c '"matrix"' "$run/linux/$name.content") clouds," \
                 "$(grep '^ "points"' "$run/linux/$name.content" | tr -dc 0-9) points, points digest" \
                 "$(tail -n 1 "$run/linux/$name.content" | cut -c1-16)"
        else
            fail "the NOX files from the $name differ (Linux, Windows): $(head -n 40 "$run/$name.diff")"
        fi
    fi
done

# The monitor saw both conversions: records naming a scan of the project, and the last record
# of each at 100 percent. It is stopped here; it would end by itself after its timeout.
sleep 5
kill "$monitor_job" 2>/dev/null || true
wait "$monitor_job" 2>/dev/null || true
records=$(grep -c 'overall' "$run/monitor.log" || true)
echo "noxmonitor.exe printed $records progress records"
grep -qE 'SINGLESCANS\\[^	]*\.(rxp|3dd)	' "$run/monitor.log" ||
    fail "the monitor saw no record of the conversion from the scan files: $(tail -n 5 "$run/monitor.log")"
grep -qE 'SINGLESCANS\\[^	]*\.rdb	' "$run/monitor.log" ||
    fail "the monitor saw no record of the conversion from the database: $(tail -n 5 "$run/monitor.log")"
grep -q 'overall 100%' "$run/monitor.log" ||
    fail "the monitor saw no conversion reach 100 percent: $(tail -n 5 "$run/monitor.log")"
mark "monitor checked"

wait "$ctest_job" || true
mark "Windows test program and import checks finished"
cat "$run/ctest.log"
[ "$(cat "$run/ctest.rc" 2>/dev/null)" = 0 ] || fail "ctest in build-win32 (see above)"

if [ ${#failures[@]} -gt 0 ]; then
    printf '\nwine-tests: %d failure(s)\n' "${#failures[@]}" >&2
    exit 1
fi
echo "wine-tests: all passed"
