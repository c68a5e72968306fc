#!/usr/bin/env bash
# Counts the tests of the Windows build that ran under Wine, from the GoogleTest result files
# the test programs left in FOLDER (one per program), and prints them by program and in all:
# run (passed or failed, not skipped), failed, skipped.
#
#   tests/win32/count_wine_tests.sh build-win32/wine-run/suites
set -euo pipefail
folder=${1:?usage: count_wine_tests.sh FOLDER}
shopt -s nullglob
files=("$folder"/*.xml)
if [ ${#files[@]} -eq 0 ]; then
    echo "no test program of the Windows build left results in $folder"
    exit 0
fi
total_run=0 total_failed=0 total_skipped=0
printf '\n== Tests of the Windows build run under Wine\n'
for file in "${files[@]}"; do
    # the root element: <testsuites tests="N" failures="F" disabled="D" errors="E" ...>
    root=$(grep -m1 -o '<testsuites [^>]*>' "$file" || true)
    attribute() { sed -n "s/.* $1=\"\\([0-9]*\\)\".*/\\1/p" <<<"$root"; }
    tests=$(attribute tests) failures=$(attribute failures) errors=$(attribute errors)
    skipped=$(grep -c 'result="skipped"' "$file" || true)
    run=$((${tests:-0} - skipped))
    failed=$((${failures:-0} + ${errors:-0}))
    printf '%6d run, %3d failed, %3d skipped  %s\n' "$run" "$failed" "$skipped" \
        "$(basename "$file" .xml)"
    total_run=$((total_run + run)) total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
done
printf '%6d run, %3d failed, %3d skipped  in all\n' "$total_run" "$total_failed" "$total_skipped"
