# Sourced by scripts/fuzz.sh and scripts/fuzz-campaign.sh: installs clang, builds every fuzz
# target into build-fuzz/ and writes the seed corpora, one folder per target in $corpus, from
# the sample writers (write_fuzz_seeds) and the corpus kept in the repository
# (tests/fuzz/corpus/TARGET/, minimised by the campaign script).
scripts/install-deps.sh
if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    scripts/apt-update.sh
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq clang libclang-rt-14-dev
fi

targets=(fuzz_point_stream fuzz_grid_scan fuzz_project_file fuzz_database_positions
         fuzz_database_colours fuzz_nox_viewer fuzz_text_and_names)
# The seed folder write_fuzz_seeds fills for each target.
declare -A seed_kind=([fuzz_point_stream]=stream [fuzz_grid_scan]=grid [fuzz_project_file]=project
                      [fuzz_database_positions]=positions [fuzz_database_colours]=colours
                      [fuzz_nox_viewer]=nox [fuzz_text_and_names]=text)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKS_FUZZ=ON -DKS_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target write_fuzz_seeds "${targets[@]}"

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

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
# Scratch files in memory when possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
fuzz_options=(-timeout=10 -rss_limit_mb=1024 -max_len=65536 -print_final_stats=1)
