#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine (scripts/setup.sh) and runs every test: the format
# and layer checks, a release build with warnings as errors, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the cancel race and the writer's worker threads
# under ThreadSanitizer, a bounded run of every fuzz target, and the 32-bit Windows build with its
# tests under Wine (scripts/build-windows.sh; KS_WINDOWS=0 leaves it, and its setup, out). The
# builds are those of CMakePresets.json. The time of each part is printed at the end (the Windows
# part's own steps in build-windows.sh's list before it).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

times=()
part_start=$(date +%s)
part_done() {  # NAME: the part that just ended
    local now
    now=$(date +%s)
    times+=("$(printf '%5d s  %s' $((now - part_start)) "$1")")
    part_start=$now
}
report_times() {
    printf '\n== Times of the test run\n'
    printf '%s\n' "${times[@]}"
}
trap report_times EXIT

# Everything the run needs is installed first (KS_WINDOWS is passed on); the scripts below only
# check.
scripts/setup.sh
part_done "machine setup (scripts/setup.sh)"
scripts/check-format.sh
scripts/check-layers.sh
part_done "format and layer checks"

cmake --preset release
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"
# The real-scan benchmark prints its figures and fails only when a point reads back wrong; it
# skips itself, saying so, where the data folder beside the project is absent.
build/bin/real_scan_bench --repeat 1
part_done "Linux build and tests"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
part_done "AddressSanitizer and UndefinedBehaviorSanitizer build and tests"

# The tsan build preset builds these two programs; each runs as one process (the tsan test
# preset runs them through ctest instead, one process a test).
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/ks_cancel_race_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/ks_nox_writer_threads_tests
part_done "ThreadSanitizer build and tests"

scripts/fuzz.sh "${KS_FUZZ_SECONDS:-15}"
part_done "fuzz targets"

if [ "${KS_WINDOWS:-1}" != 0 ]; then
    KS_LINUX_BUILD=build scripts/build-windows.sh
    part_done "Windows build and Wine run (split above)"
fi
