#!/usr/bin/env bash
# The 32-bit Windows build, cross-compiled here with mingw-w64 and run under Wine:
#   1. checks that the machine has the cross toolchain, the tools, apt's deb-src entries and
#      (to run the tests) Wine: `scripts/setup.sh windows wine` installs them; this script
#      installs nothing;
#   2. builds the third-party libraries for Windows once (scripts/win32-deps.sh, cached);
#   3. configures the project into build-win32/ (the win32 preset) and builds it (or
#      KS_WIN32_TARGETS), then installs it into build-win32/NOXFormats/: every DLL and program in
#      its bin/ folder, as a Windows host ships them, with the import library in lib/ and the
#      headers in include/;
#   4. runs the Windows tests under Wine: ctest in build-win32/ (the win32 test preset), where
#      the Windows test program, the import checks and the host-style run
#      (tests/win32/CMakeLists.txt) are tests in one Wine session; the host-style run compares
#      its conversions with those of the Linux build in build/ (KS_LINUX_BUILD).
#
#   scripts/build-windows.sh
#   KS_WIN32_TARGETS="ks_nox_common scanifc_mt" scripts/build-windows.sh   (targets to build
#                                 in step 3, no install; default "all")
#   KS_WIN32_PROBE=1 scripts/build-windows.sh     (step 3 tries every library and program of the
#                                 project one by one and lists which build and the first error
#                                 of each that does not; it does not fail)
#   KS_WIN32_RUN_TESTS=0 scripts/build-windows.sh  (no Wine: build only)
#   KS_WIN32_SUITES=1 scripts/build-windows.sh    (also the library's test suites under Wine,
#                                 one Wine process each: ctest label wine_suite)
#   KS_WINEPREFIX=/some/dir scripts/build-windows.sh (Wine prefix; default
#                                 ~/.cache/noxformats/wineprefix-win32)
#   KS_WIN32_DEPS_DIR=/some/dir scripts/build-windows.sh (dependency cache; default
#                                 ~/.cache/noxformats/win32-deps; see win32-deps.sh)
#   JOBS=1 scripts/build-windows.sh               (build jobs; default 2)
# Times of each step are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-win32
toolchain=$root/cmake/toolchains/mingw-w64-i686.cmake
jobs=${JOBS:-2}
export JOBS=$jobs
# Both caches live outside the source tree, so that a fresh clone on the same machine finds them.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/noxformats
wineprefix=$(realpath -m "${KS_WINEPREFIX:-$cache/wineprefix-win32}")
export KS_WINEPREFIX=$wineprefix
export KS_WIN32_DEPS_DIR=${KS_WIN32_DEPS_DIR:-$cache/win32-deps}
export KS_WIN32_DEPS_PREFIX=$KS_WIN32_DEPS_DIR/prefix
targets=${KS_WIN32_TARGETS:-all}

timings=()
step_start=0
step() {
    printf '\n== %s\n' "$*"
    step_name=$*
    step_start=$(date +%s)
}
step_done() { timings+=("$(printf '%5d s  %s' $(($(date +%s) - step_start)) "$step_name")"); }
report_timings() {
    printf '\n== Times\n'
    printf '%s\n' "${timings[@]}"
}
trap report_timings EXIT

# Wine is needed only when the tests run: a whole build, no probe.
run_tests=0
if [ "${KS_WIN32_RUN_TESTS:-1}" != 0 ] && [ "$targets" = all ] && [ "${KS_WIN32_PROBE:-0}" = 0 ]; then
    run_tests=1
fi
setup_parts=(windows)
[ "$run_tests" = 0 ] || setup_parts+=(wine)

step "Checking the machine (scripts/setup.sh --check ${setup_parts[*]})"
scripts/setup.sh --check "${setup_parts[@]}"
step_done

# Wine's session takes minutes to start here and spends them mostly waiting: it starts now, in
# the background, and is up when the tests run after the build.
session_job=
if [ "$run_tests" = 1 ]; then
    step "Starting Wine's session in the background (log: $build/wine-session.log)"
    # The environment of the toolchain's KS_WINE_ENVIRONMENT, which the tests run in; the
    # session's first test (wine.session_start) then finds it running.
    mkdir -p "$build"
    env -u DISPLAY WINEPREFIX="$wineprefix" WINEARCH=win32 WINEDEBUG=-all \
        WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe,winemenubuilder.exe=d \
        bash tests/win32/wine_session.sh start "$build/wine-run/session.pid" \
        >"$build/wine-session.log" 2>&1 </dev/null &
    session_job=$!
    step_done
fi

step "Third-party libraries for Windows (scripts/win32-deps.sh)"
scripts/win32-deps.sh
step_done

# The caches' places as this script found them; the win32 preset has the defaults for a HOME
# without XDG_CACHE_HOME. The host example, a project of its own, takes them with the toolchain.
cache_vars=(-DKS_WINEPREFIX="$wineprefix" -DKS_WIN32_DEPS_PREFIX="$KS_WIN32_DEPS_PREFIX")
cmake_cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${cache_vars[@]}")
# The Linux build whose conversions the host-style run under Wine is compared with.
linux_bin=$(realpath -m "${KS_LINUX_BUILD:-build}")/bin
linux_tools=()
[ -x "$linux_bin/noxconvert" ] && [ -x "$linux_bin/make-sample-project" ] &&
    linux_tools=(-DKS_LINUX_BIN="$linux_bin")
objdump_dlls() { i686-w64-mingw32-objdump -p "$1" | grep 'DLL Name' | awk '{print $3}' | tr '\n' ' '; }

step "Configuring the project for Windows into build-win32/ (cmake --preset win32)"
mkdir -p "$build"  # for the configure log, on a first run
cmake --preset win32 "${cache_vars[@]}" "${linux_tools[@]}" \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
step_done

if [ "${KS_WIN32_PROBE:-0}" != 0 ]; then
    step "Trying every library and program of the project"
    # One build that keeps going past failures; then, per target: built, failed (with the first
    # error of its own sources or its link), or not tried because something it needs failed.
    mkdir -p "$build/probe"
    ninja -C "$build" -t clean >/dev/null
    ninja -C "$build" -j "$jobs" -k 0 >"$build/probe/build.log" 2>&1 || true
    # "NAME<TAB>first error" for each failed step; NAME is the target whose object failed, or
    # the output of a failed link.
    awk '/^FAILED: / { name = $2
                       if (match(name, /CMakeFiles\/[^\/]+\.dir\//))
                           name = substr(name, RSTART + 11, RLENGTH - 16)
                       want = 1; next }
         want && /error|undefined reference|cannot find|unrecognized/ {
                       print name "\t" $0; want = 0 }' "$build/probe/build.log" \
        >"$build/probe/errors.tsv"
    # every object file of a target is there
    objects_compiled() {
        local o n=0
        while read -r o; do
            [ -f "$build/$o" ] || return 1
            n=$((n + 1))
        done < <(ninja -C "$build" -t targets all | sed -n "s/^\(.*CMakeFiles\/$1\.dir\/.*\.obj\): .*/\1/p")
        [ "$n" -gt 0 ]
    }
    mapfile -t all < <(ninja -C "$build" -t targets all |
        sed -n 's/^\([A-Za-z0-9_.-]*\): phony$/\1/p' | grep -Ev '\.(exe|dll|a)$|^cmake_object_order|^CMakeCache' |
        grep -Ev '^(all|clean|help|install.*|list_install_components|edit_cache|rebuild_cache|test|Experimental.*|Nightly.*|Continuous.*)$' |
        sort -u)
    for t in "${all[@]}"; do
        # built: every file the target stands for is there (the probe starts from a clean tree)
        outputs=$(ninja -C "$build" -t query "$t" | awk '/^  input: phony/ { f = 1; next } /^  outputs:/ { f = 0 } f { print $1 }')
        built=1
        for o in $outputs; do [ -f "$build/$o" ] || built=0; done
        if [ -n "$outputs" ] && [ "$built" = 1 ]; then
            printf 'BUILDS   %s\n' "$t"
            continue
        fi
        # its own failure: an object of the target, or its link output named after it
        first=$(awk -F'\t' -v t="$t" '$1 == t { print $2; exit }' "$build/probe/errors.tsv")
        if [ -z "$first" ]; then
            out=$(cd "$build" && ninja -t query "$t" 2>/dev/null | sed -n 's/^ *\(bin\/[^ ]*\|lib\/[^ ]*\)$/\1/p' | head -n1)
            [ -n "$out" ] && first=$(awk -F'\t' -v o="$out" '$1 == o { print $2; exit }' "$build/probe/errors.tsv")
        fi
        if [ -n "$first" ]; then
            printf 'FAILS    %s\n         %s\n' "$t" "${first#"$root/"}"
        elif objects_compiled "$t"; then
            printf 'COMPILES %s (all its sources; not linked: something it needs failed)\n' "$t"
        else
            printf 'BLOCKED  %s (something it needs failed)\n' "$t"
        fi
    done | tee "$build/probe/summary.txt"
    step_done
elif [ "$targets" = all ]; then
    step "Building the whole project for Windows"
    cmake --build --preset win32 -j "$jobs"
    for f in "$build"/bin/*.dll "$build"/bin/*.exe; do
        [ -f "$f" ] && echo "$(basename "$f") imports: $(objdump_dlls "$f")"
    done
    step_done

    step "Installing into $build/NOXFormats"
    rm -rf "$build/NOXFormats"
    cmake --install "$build" --prefix "$build/NOXFormats" >/dev/null
    ls "$build/NOXFormats/bin"
    step_done

    step "Building the host example for Windows against the installed library"
    cmake -S examples/host_convert -B "$build/host-example" "${cmake_cross[@]}" \
        -DNOXFormats_DIR="$build/NOXFormats/lib/cmake/NOXFormats" >"$build/host-example.log" 2>&1 ||
        { cat "$build/host-example.log"; exit 1; }
    cmake --build "$build/host-example" >>"$build/host-example.log" 2>&1 ||
        { cat "$build/host-example.log"; exit 1; }
    echo "host_convert.exe imports: $(objdump_dlls "$build/host-example/host_convert.exe")"
    step_done

    if [ "$run_tests" = 1 ]; then
        step "Waiting for Wine's session"
        wait "$session_job" || { cat "$build/wine-session.log"; exit 1; }
        cat "$build/wine-session.log"
        step_done
        step "Running the Windows tests under Wine (ctest in build-win32/)"
        [ ${#linux_tools[@]} -gt 0 ] ||
            echo "no Linux build in $linux_bin: the host-style run under Wine is left out" >&2
        # Each test program run under Wine leaves its results in wine-run/suites/; the count of
        # tests that ran there is printed whether or not ctest passed.
        # The library's own suites (label wine_suite) run only when asked: under qemu their Wine
        # processes still die now and then (docs/design.md, "The whole suite under Wine").
        rm -rf "$build/wine-run/suites"
        mkdir -p "$build/wine-run/suites"
        suites=(-LE wine_suite)
        [ "${KS_WIN32_SUITES:-0}" = 0 ] || suites=()
        ctest_status=0
        ctest --preset win32 -j "$jobs" "${suites[@]}" || ctest_status=$?
        bash tests/win32/count_wine_tests.sh "$build/wine-run/suites"
        [ "$ctest_status" = 0 ] || exit "$ctest_status"
        step_done
    fi
else
    step "Building for Windows: $targets"
    # shellcheck disable=SC2086
    cmake --build --preset win32 -j "$jobs" --target $targets
    for f in "$build"/bin/*.dll "$build"/bin/*.exe; do
        [ -f "$f" ] && echo "$(basename "$f") imports: $(objdump_dlls "$f")"
    done
    step_done
fi
