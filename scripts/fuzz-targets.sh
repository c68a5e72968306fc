# shellcheck shell=bash
# shellcheck disable=SC2034,SC2154  # corpus comes from the sourcing script; targets, fuzz_options go to it
# Sourced by scripts/fuzz.sh and scripts/fuzz-campaign.sh: builds every fuzz target into
# build-fuzz/ (the fuzz presets) and writes the seed corpora, one folder per target in $corpus,
# from the sample writers (write_fuzz_seeds) and the corpus kept in the repository
# (tests/fuzz/corpus/TARGET/, minimised by the campaign script). Installs nothing: clang and the
# build's packages come from scripts/setup.sh.
scripts/setup.sh --check build fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

# The targets and the seed folder write_fuzz_seeds fills for each, as tests/fuzz/CMakeLists.txt
# lists them ("TARGET KIND" lines).
targets=()
declare -A seed_kind=()
while read -r target kind; do
    targets+=("$target")
    seed_kind[$target]=$kind
done <build-fuzz/fuzz-targets.txt
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz-targets: build-fuzz/fuzz-targets.txt lists no target" >&2
    exit 1
fi

# $corpus/TARGET: the generated seeds and the kept corpus of that target.
rm -rf "$corpus"
build-fuzz/bin/write_fuzz_seeds "$corpus/seeds" >/dev/null
for target in "${targets[@]}"; do
    mkdir -p "$corpus/$target"
    cp -r "$corpus/seeds/${seed_kind[$target]}/." "$corpus/$target/"
    if [ -d "tests/fuzz/corpus/$target" ]; then
        cp -r "tests/fuzz/corpus/$target/." "$corpus/$target/"
    fi
done

# The environment of the fuzz test preset.
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
# Scratch files in memory when possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# The replay tests of tests/fuzz/CMakeLists.txt pass the same limits.
fuzz_options=(-timeout=10 -rss_limit_mb=1024 -max_len=65536 -print_final_stats=1)
