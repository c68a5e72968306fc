#!/usr/bin/env bash
# Builds the third-party libraries the 32-bit Windows build needs, with the mingw-w64 cross
# compiler, into one prefix: zstd, zlib, libpng, libxml2 and GoogleTest (static libraries built
# from Debian's source packages or from the sources Debian ships), plus the header-only xxhash,
# CLI11 and nlohmann-json copied from Debian's -dev packages. Nothing comes from anywhere but Debian's archive.
#
#   scripts/win32-deps.sh                    (prefix: .cache/win32-deps/prefix)
#   KS_WIN32_DEPS_DIR=/some/dir scripts/win32-deps.sh
#   JOBS=1 scripts/win32-deps.sh             (build jobs; default 2)
#
# Each library is built once: a stamp in the prefix records the source versions Debian offers,
# the cross compiler's version and the recipe below; while all three stay the same, a second run
# only checks the stamps. Needs the packages scripts/build-windows.sh installs and deb-src
# entries in apt's sources.
set -euo pipefail
cd "$(dirname "$0")/.."

triplet=i686-w64-mingw32
deps_dir=$(realpath -m "${KS_WIN32_DEPS_DIR:-.cache/win32-deps}")
prefix=$deps_dir/prefix
stamps=$prefix/.stamps
work=$deps_dir/work
jobs=${JOBS:-2}
toolchain_file=$PWD/cmake/toolchains/mingw-w64-i686.cmake
mkdir -p "$stamps" "$work"

log() { printf '[win32-deps] %s\n' "$*"; }

# The cross toolchain's identity: compiler, its runtime, the MinGW headers and libraries, binutils.
toolchain_id=$({
    "$triplet-g++-posix" --version | head -n1
    dpkg-query -W -f '${Package} ${Version}\n' g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
        mingw-w64-i686-dev binutils-mingw-w64-i686
    # what in the toolchain file changes the code built: system, compilers, flags
    grep -E 'SYSTEM_|COMPILER|FLAGS' "$toolchain_file" | grep -v '^ *#'
})

# The versions of a source package that apt offers, newest first.
source_versions() {
    apt-cache showsrc "$1" | awk '/^Version:/ { print $2 }' | sort -u |
        sort -r --version-sort | tr '\n' ' '
}

# Fetches and unpacks a source package into $work/src-NAME and prints the folder. Tries the
# newest version first and falls back to older ones: a mirror may list a security update whose
# source files it does not carry.
fetch_source() {
    local pkg=$1 dir=$work/src-$1 version
    rm -rf "$dir"
    mkdir -p "$dir"
    for version in $(source_versions "$pkg"); do
        if (cd "$dir" && apt-get source -qq "$pkg=$version" >"$dir/apt-source.log" 2>&1); then
            log "$pkg: source $version" >&2
            echo "$version" >"$dir/version"
            find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n1
            return 0
        fi
        log "$pkg: source $version could not be fetched, trying an older one" >&2
        find "$dir" -mindepth 1 -maxdepth 1 ! -name apt-source.log -exec rm -rf {} +
    done
    log "$pkg: no version of the source package could be fetched (deb-src entries missing?)" >&2
    cat "$dir/apt-source.log" >&2 || true
    return 1
}

cross_cmake() {
    local src=$1 build=$2
    shift 2
    rm -rf "$build"
    cmake -S "$src" -B "$build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" -DKS_WIN32_DEPS_PREFIX="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        "$@" >"$build.configure.log" 2>&1 || { cat "$build.configure.log" >&2; return 1; }
    cmake --build "$build" -j "$jobs" >"$build.build.log" 2>&1 || { tail -n 50 "$build.build.log" >&2; return 1; }
    cmake --install "$build" >"$build.install.log" 2>&1 || { cat "$build.install.log" >&2; return 1; }
}

# --- recipes: one function per library; its text is part of the library's cache key ---------

# zstd: the static library only (no programs, no tests); no legacy-format decoders, which
# NOX files never need. Multithreaded compression stays on (Win32 threads inside zstd).
build_zstd() {
    local src
    src=$(fetch_source libzstd)
    cross_cmake "$src/build/cmake" "$work/build-zstd" \
        -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_PROGRAMS=OFF \
        -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF -DZSTD_LEGACY_SUPPORT=OFF \
        -DZSTD_MULTITHREAD_SUPPORT=ON
}

# zlib for libpng: its own configure script, static libz.a only (its CMake build on MinGW names
# the archive libzlibstatic.a and builds a DLL beside it).
build_zlib() {
    local src
    src=$(fetch_source zlib)
    (cd "$src" && CHOST=$triplet CC=$triplet-gcc-posix CFLAGS=-O2 \
        ./configure --static --prefix="$prefix" >"$work/zlib.configure.log" 2>&1 &&
        make -j "$jobs" libz.a >"$work/zlib.build.log" 2>&1 &&
        make install >"$work/zlib.install.log" 2>&1) ||
        { cat "$work"/zlib.*.log >&2; return 1; }
    test -f "$prefix/lib/libz.a"
}

# libpng for noxconvert's preview: static, no tools, no tests, against the zlib above.
build_libpng() {
    local src
    src=$(fetch_source libpng1.6)
    cross_cmake "$src" "$work/build-libpng" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF -Dld-version-script=OFF \
        -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
}

# libxml2 for the project-file reader, as small as it goes: static; no iconv, ICU, lzma, zlib,
# python, HTTP or FTP; no programs or tests. Its built-in encoders cover UTF-8, UTF-16,
# ISO-8859-x and ASCII, which is all project files use. Threads stay on: the parser's globals
# are per thread. Its pkg-config file carries -DLIBXML_STATIC for the users; the library itself
# is compiled with it too, or its headers mark every function dllexport and each DLL that links
# the archive would hand out the whole parser as its own interface.
build_libxml2() {
    local src
    src=$(fetch_source libxml2)
    CFLAGS=-DLIBXML_STATIC cross_cmake "$src" "$work/build-libxml2" \
        -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
        -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_HTTP=OFF \
        -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF \
        -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_DOCB=OFF -DLIBXML2_WITH_THREADS=ON
}

# GoogleTest and GoogleMock from the sources Debian's googletest package installs in
# /usr/src/googletest (the same release the Linux build uses), static.
build_googletest() {
    cross_cmake /usr/src/googletest "$work/build-googletest" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

# Header-only libraries, copied from Debian's -dev packages (their headers do not depend on the
# architecture). xxhash is used with XXH_INLINE_ALL, so no library is needed.
build_headers() {
    mkdir -p "$prefix/include" "$prefix/share/cmake"
    cp /usr/include/xxhash.h /usr/include/xxh3.h "$prefix/include/"
    rm -rf "$prefix/include/CLI" "$prefix/share/cmake/CLI11"
    cp -r /usr/include/CLI "$prefix/include/CLI"
    cp -r /usr/share/cmake/CLI11 "$prefix/share/cmake/CLI11"
    rm -rf "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
    cp -r /usr/include/nlohmann "$prefix/include/nlohmann"
    cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/nlohmann_json"
}

# --- cache ---------------------------------------------------------------------------------

# NAME RECIPE KEY-SOURCE...: runs RECIPE unless the stamp for NAME matches the key made of the
# toolchain, the recipe's text and the given version strings.
cached() {
    local name=$1 recipe=$2 key start
    shift 2
    key=$(printf '%s\n' "$toolchain_id" "$(declare -f "$recipe")" "$@" | sha256sum | cut -d' ' -f1)
    if [ -f "$stamps/$name" ] && [ "$(head -n1 "$stamps/$name")" = "$key" ]; then
        log "$name: cached ($(sed -n 2p "$stamps/$name"))"
        return 0
    fi
    # apt offering no source version at all means its source lists are unavailable (a mirror
    # in the middle of a sync, say), not that the library changed: a built one is kept.
    local source
    for source in "$@"; do
        if [ -z "${source// /}" ] && [ -f "$stamps/$name" ]; then
            log "$name: apt offers no source version now; keeping the one built ($(sed -n 2p "$stamps/$name"))"
            return 0
        fi
    done
    log "$name: building"
    start=$(date +%s)
    rm -f "$stamps/$name"
    "$recipe"
    local version="$*"
    [ -f "$work/src-${name}/version" ] && version=$(cat "$work/src-${name}/version")
    printf '%s\n%s\n' "$key" "$version" >"$stamps/$name"
    log "$name: built in $(($(date +%s) - start)) s"
    rm -rf "$work"/build-* "$work"/src-*
}

dpkg_version() { dpkg-query -W -f '${Version}' "$1"; }

cached libzstd build_zstd "$(source_versions libzstd)"
cached zlib build_zlib "$(source_versions zlib)"
cached libpng1.6 build_libpng "$(source_versions libpng1.6)" "$(sed -n 1p "$stamps/zlib")"
cached libxml2 build_libxml2 "$(source_versions libxml2)"
cached googletest build_googletest "googletest $(dpkg_version googletest)"
cached headers build_headers "xxhash $(dpkg_version libxxhash-dev)" "cli11 $(dpkg_version libcli11-dev)" \
    "nlohmann-json $(dpkg_version nlohmann-json3-dev)"
log "prefix: $prefix"
