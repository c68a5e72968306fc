#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers; the fuzz
# presets), writes their seed corpora (the sample writers' seeds and tests/fuzz/corpus) and runs
# each target for a bounded time. For long runs that keep what they find, see
# scripts/fuzz-campaign.sh. Needs what `scripts/setup.sh build fuzz` installs.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# A crash, leak or timeout fails the script; libFuzzer leaves the input as crash-*/timeout-*
# in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
corpus=build-fuzz/corpus
# shellcheck source=scripts/fuzz-targets.sh
source scripts/fuzz-targets.sh
rm -rf build-fuzz/findings
mkdir -p build-fuzz/findings
for target in "${targets[@]}"; do
    echo "== $target: ${seconds} s"
    (cd build-fuzz/findings &&
     ../bin/"$target" -max_total_time="$seconds" "${fuzz_options[@]}" "../corpus/$target" 2>&1 |
         grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)|ERROR|SUMMARY|crash-|timeout-|leak-" || true)
    if ls build-fuzz/findings/{crash,timeout,leak,oom}-* >/dev/null 2>&1; then
        echo "$target found a failing input:"; ls build-fuzz/findings
        exit 1
    fi
done
echo "fuzzing: every target ran ${seconds} s without a finding"
