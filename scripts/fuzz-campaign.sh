#!/usr/bin/env bash
# A fuzzing campaign: every target for its share of HOURS CPU-hours, all targets at once on
# JOBS cores (each runs HOURS / JOBS hours of wall time), starting from the corpus kept in the repository (tests/fuzz/corpus/TARGET/) and the sample
# writers' seeds. At the end each target's corpus is minimised (libFuzzer's -merge) back into
# tests/fuzz/corpus/TARGET/, so the next campaign, and CI's short runs, start where this one
# ended. Prints executions, executions per second, coverage and corpus size per target.
#
#   scripts/fuzz-campaign.sh HOURS [JOBS]     (JOBS: default every core)
#
# A crash, leak, timeout or out-of-memory input is kept in build-fuzz/campaign/findings/ and
# the script exits with 1; copy it into a regression test (see docs/robustness.md).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
    echo "usage: scripts/fuzz-campaign.sh HOURS [JOBS]" >&2
    exit 2
fi
hours=$1
jobs=${2:-$(nproc)}
work=build-fuzz/campaign
corpus=$work/corpus
# shellcheck source=scripts/fuzz-targets.sh
source scripts/fuzz-targets.sh
findings=$work/findings
logs=$work/logs
rm -rf "$findings" "$logs"
mkdir -p "$findings" "$logs"

# All targets run side by side for the same wall time, so the cores stay busy to the end and
# each target gets about the same share of the CPU time: HOURS / JOBS hours of wall time.
seconds=$(awk -v h="$hours" -v j="$jobs" 'BEGIN { printf "%d", h * 3600 / j }')
echo "fuzz-campaign: ${#targets[@]} targets side by side for ${seconds} s on $jobs cores"

run_target() {
    local target=$1
    (cd "$findings" &&
     ../../bin/"$target" -max_total_time="$seconds" "${fuzz_options[@]}" \
         -artifact_prefix="$target-" "../corpus/$target" >"../logs/$target.log" 2>&1) || true
}
export -f run_target
export seconds findings
export fuzz_options_text="${fuzz_options[*]}"
started=$(date +%s)
cpu_before=$(awk '{ print $14 + $15 + $16 + $17 }' /proc/$$/stat)
printf '%s\n' "${targets[@]}" |
    xargs -P "${#targets[@]}" -I{} bash -c 'fuzz_options=($fuzz_options_text); run_target "$@"' _ {}
# CPU time the fuzzers really got (children's user and system time, in clock ticks), beside the
# wall time: on a shared machine the two differ.
cpu_seconds=$(awk -v before="$cpu_before" -v hz="$(getconf CLK_TCK)" \
    '{ printf "%d", ($14 + $15 + $16 + $17 - before) / hz }' /proc/$$/stat)
wall_seconds=$(($(date +%s) - started))

# Minimise into the repository's corpus: only inputs that add coverage stay.
for target in "${targets[@]}"; do
    kept=tests/fuzz/corpus/$target
    rm -rf "$kept.new"
    mkdir -p "$kept.new"
    build-fuzz/bin/"$target" -merge=1 "${fuzz_options[@]}" "$kept.new" "$corpus/$target" \
        >"$logs/$target.merge.log" 2>&1
    rm -rf "$kept"
    mv "$kept.new" "$kept"
done

# exec/s: per second of the CPU time a target got (its wall time times JOBS / targets).
printf '\n%-26s %12s %9s %8s %8s %7s %9s\n' target executions "exec/s" cov ft inputs KiB
for target in "${targets[@]}"; do
    log=$logs/$target.log
    runs=$(awk '/stat::number_of_executed_units/ { n = $NF } END { print n }' "$log" || true)
    # The last coverage line (the log holds dictionary bytes: read it as text).
    done_line=$(grep -aE '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' "$log" | tail -n 1 || true)
    cov=$(echo "$done_line" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$done_line" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    inputs=$(find "tests/fuzz/corpus/$target" -type f | wc -l)
    kib=$(du -sk "tests/fuzz/corpus/$target" | cut -f1)
    printf '%-26s %12s %9s %8s %8s %7s %9s\n' "$target" "${runs:-?}" \
        "$(( ${runs:-0} * ${#targets[@]} / (jobs * (seconds > 0 ? seconds : 1)) ))" \
        "${cov:-?}" "${ft:-?}" "$inputs" "$kib"
done

printf '\nfuzzing: %d s of wall time, %d CPU-seconds (%.2f CPU-hours)\n' "$wall_seconds" \
    "$cpu_seconds" "$(awk -v s="$cpu_seconds" 'BEGIN { print s / 3600 }')"

if ls "$findings"/* >/dev/null 2>&1; then
    echo
    echo "fuzz-campaign: findings in $findings:"
    ls -l "$findings"
    exit 1
fi
echo
echo "fuzz-campaign: no finding in $(awk -v s="$cpu_seconds" 'BEGIN { printf "%.2f", s / 3600 }') CPU-hours"
