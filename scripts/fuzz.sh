#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers), writes
# their seed corpora with the sample writers and runs each target for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# A crash, leak or timeout fails the script; libFuzzer leaves the input as crash-*/timeout-*
# in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/install-deps.sh
if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq clang libclang-rt-14-dev
fi

targets=(fuzz_point_stream fuzz_grid_scan fuzz_project_file fuzz_database_positions
         fuzz_database_colours fuzz_nox_viewer fuzz_text_and_names)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKS_FUZZ=ON -DKS_BUILD_BENCHMARKS=OFF
cmake --build build-fuzz -j "$(nproc)" --target write_fuzz_seeds "${targets[@]}"

corpus=build-fuzz/corpus
rm -rf "$corpus" build-fuzz/findings
mkdir -p build-fuzz/findings
build-fuzz/bin/write_fuzz_seeds "$corpus"
declare -A seeds=([fuzz_point_stream]=stream [fuzz_grid_scan]=grid [fuzz_project_file]=project
                  [fuzz_database_positions]=positions [fuzz_database_colours]=colours
                  [fuzz_nox_viewer]=nox [fuzz_text_and_names]=text)
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
# Scratch files in memory when possible: every conversion builds (and syncs) a NOX file.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
for target in "${targets[@]}"; do
    echo "== $target: ${seconds} s"
    (cd build-fuzz/findings &&
     ../bin/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
         -max_len=65536 -print_final_stats=1 "../corpus/${seeds[$target]}" 2>&1 |
         grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)|ERROR|SUMMARY|crash-|timeout-|leak-" || true)
    if ls build-fuzz/findings/{crash,timeout,leak,oom}-* >/dev/null 2>&1; then
        echo "$target found a failing input:"; ls build-fuzz/findings
        exit 1
    fi
done
echo "fuzzing: every target ran ${seconds} s without a finding"
