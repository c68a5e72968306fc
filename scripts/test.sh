#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and runs every test: the format and layer checks,
# a release build with warnings as errors, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the cancel race and the writer's worker threads under
# ThreadSanitizer, a bounded run of every fuzz target, and the 32-bit Windows build with its tests
# under Wine (scripts/build-windows.sh; KS_WINDOWS=0 leaves it out). The time of each part is
# printed at the end (the Windows part's own steps in build-windows.sh's list before it).
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

scripts/install-deps.sh
scripts/check-format.sh
scripts/check-layers.sh
part_done "packages, format and layer checks"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
part_done "Linux build and tests"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKS_SANITIZE=ON -DKS_WERROR=ON \
      -DKS_BUILD_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
part_done "AddressSanitizer and UndefinedBehaviorSanitizer build and tests"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_SANITIZE_THREAD=ON \
      -DKS_WERROR=ON -DKS_BUILD_BENCHMARKS=OFF
cmake --build build-tsan -j "$jobs" --target ks_cancel_race_tests ks_nox_writer_threads_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/ks_cancel_race_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/ks_nox_writer_threads_tests
part_done "ThreadSanitizer build and tests"

scripts/fuzz.sh "${KS_FUZZ_SECONDS:-15}"
part_done "fuzz targets"

if [ "${KS_WINDOWS:-1}" != 0 ]; then
    KS_LINUX_BUILD=build scripts/build-windows.sh
    part_done "Windows build and Wine run (split above)"
fi
