#!/usr/bin/env bash
# Sets up this Debian 12 machine for the project's builds and tests. It installs only what is
# missing, so a second run only checks. The scripts that build and test install nothing: they run
# `scripts/setup.sh --check PART...` and stop, naming the setup command, when something is missing.
#
#   scripts/setup.sh                      every part (KS_WINDOWS=0: all but windows and wine)
#   scripts/setup.sh build view           only the parts named
#   scripts/setup.sh --check [PART...]    installs nothing: names what is missing, exit 1 if any
#
# Parts:
#   build    the Debian packages of the Linux builds and their tests (the release, asan and tsan
#            presets, the main job)
#   view     the view page's npm packages (tools/noxconvert/view/page) in npm's cache, from
#            which the build's `npm ci` installs them without the network; needs the build part
#   fuzz     clang with its fuzzer and sanitizer runtimes (the fuzz preset)
#   windows  the mingw-w64 cross toolchain and what scripts/win32-deps.sh builds from, and deb-src
#            entries for its `apt-get source` (the win32 preset, scripts/build-windows.sh)
#   wine     Wine with its 32-bit side; where the kernel runs no 32-bit programs, qemu's user
#            emulation registered to run them (see docs/design.md, "Wine on these machines")
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: scripts/setup.sh [--check] [build|view|fuzz|windows|wine]..." >&2
    exit 2
}
check_only=0
parts=()
for arg in "$@"; do
    case $arg in
        --check) check_only=1 ;;
        build | view | fuzz | windows | wine) parts+=("$arg") ;;
        *) usage ;;
    esac
done
if [ ${#parts[@]} -eq 0 ]; then
    parts=(build view fuzz)
    [ "${KS_WINDOWS:-1}" = 0 ] || parts+=(windows wine)
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# --- what each part needs --------------------------------------------------------------------

build_packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libzstd-dev libxml2-dev
                libcli11-dev zstd libxxhash-dev libpng-dev nlohmann-json3-dev clang-format
                # The Python package (python/): bindings, numpy, Dask and the test runner, all
                # for Debian's /usr/bin/python3.
                python3-dev pybind11-dev python3-pybind11 python3-numpy python3-distributed
                python3-pytest python3-psutil
                # noxconvert view: the HTTP server library, and Chromium for the page's browser
                # tests.
                libcpp-httplib-dev chromium)
# The view page is built with Node.js and npm; a machine that has them (from any source) keeps
# them, one without gets Debian's. The same goes for clang.
command -v node >/dev/null 2>&1 || build_packages+=(nodejs)
command -v npm >/dev/null 2>&1 || build_packages+=(npm)
fuzz_packages=(libclang-rt-14-dev)
command -v clang++ >/dev/null 2>&1 || fuzz_packages+=(clang)
# The cross compilers, and what win32-deps.sh takes its sources and headers from; clang, lld
# and llvm-dlltool build the C host example for Microsoft's ABI.
windows_packages=(cmake ninja-build pkg-config dpkg-dev xz-utils make
                  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
                  googletest libxxhash-dev libcli11-dev nlohmann-json3-dev lld llvm)
command -v clang >/dev/null 2>&1 || windows_packages+=(clang)
wine_packages=(wine wine32:i386)
page=tools/noxconvert/view/page

# --- checks: each fills $missing with what its part lacks -------------------------------------

missing=()
missing_packages() {
    local p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
}

# npm ci of the view page into a scratch folder, with the options given: offline, it tells
# whether npm's cache holds every package of the lock file; otherwise it fills the cache. Scripts
# of the packages are not run: only their files are wanted.
page_npm_ci() {
    local dir rc=0
    dir=$(mktemp -d)
    cp "$page/package.json" "$page/package-lock.json" "$dir/"
    (cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error "$@") || rc=$?
    rm -rf "$dir"
    return "$rc"
}

check_build() { missing_packages "${build_packages[@]}"; }
check_view() {
    if ! command -v npm >/dev/null 2>&1; then
        missing+=("npm (the build part installs it)")
    elif ! page_npm_ci --offline >/dev/null 2>&1; then
        missing+=("the view page's npm packages in npm's cache")
    fi
}
check_fuzz() { missing_packages "${fuzz_packages[@]}"; }

# grep without -q reads to the end: one that stopped at the first match could leave apt-cache
# writing into a closed pipe, and pipefail would take that for a failure.
has_deb_src() { apt-cache showsrc libzstd 2>/dev/null | grep '^Package:' >/dev/null; }
check_windows() {
    missing_packages "${windows_packages[@]}"
    has_deb_src || missing+=("deb-src entries in apt's sources")
}

has_i386() { dpkg --print-foreign-architectures | grep -x i386 >/dev/null; }
# Can this kernel start a 32-bit Linux program? The dynamic loader answers its own --version.
runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
check_wine() {
    has_i386 || missing+=("the i386 architecture in dpkg")
    missing_packages "${wine_packages[@]}"
    if [ ${#missing[@]} -eq 0 ] && ! runs_32bit; then
        missing+=("a way to start 32-bit programs (qemu-i386-static in binfmt_misc)")
    fi
}

# --- installing --------------------------------------------------------------------------------

# apt's lists are updated once per run, before the first install, and again after a change of
# the sources or architectures.
lists_fresh=0
apt_update() {
    scripts/apt-update.sh
    lists_fresh=1
}
apt_install() {  # [apt-get install options] PACKAGE...
    [ "$lists_fresh" = 1 ] || apt_update
    # env after sudo: sudo's own environment reset would drop DEBIAN_FRONTEND.
    local cmd=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@")
    # A mirror in the middle of a sync can fail one install; new lists usually mend it.
    "${cmd[@]}" || { apt_update && "${cmd[@]}"; }
}
# Installs those of the packages that are missing.
install_missing() {  # [apt-get install options] -- PACKAGE...
    local options=()
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    missing=()
    missing_packages "$@"
    [ ${#missing[@]} -eq 0 ] || apt_install "${options[@]}" "${missing[@]}"
}

install_build() { install_missing -- "${build_packages[@]}"; }
install_view() {
    if ! command -v npm >/dev/null 2>&1; then
        echo "setup: the view part needs npm, which the build part installs: scripts/setup.sh build view" >&2
        exit 1
    fi
    page_npm_ci --offline=false --prefer-offline >/dev/null
}

install_fuzz() { install_missing -- "${fuzz_packages[@]}"; }

install_windows() {
    install_missing --no-install-recommends -- "${windows_packages[@]}"
    has_deb_src && return 0
    # Debian's source packages, for win32-deps.sh's `apt-get source`: the same archives and suites
    # as apt's binary entries, written beside them.
    local src_list=/etc/apt/sources.list.d/ks-debian-src.sources f
    {
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            # deb822 stanzas of type deb from Debian's archive, as deb-src
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 /(^|\n)Types:[^\n]*deb([ \n]|$)/ && /(^|\n)URIs:[^\n]*debian/ {
                     gsub(/(^|\n)#[^\n]*/, "")
                     sub(/Types:[^\n]*/, "Types: deb-src")
                     print
                 }' "$f"
        done
        if [ -f /etc/apt/sources.list ]; then
            # one-line entries, "deb [OPTIONS] URI SUITE COMPONENT...", in deb822 form
            awk '$1 == "deb" {
                     i = 2
                     if ($2 ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                     if ($i !~ /debian/) next
                     comps = ""
                     for (j = i + 2; j <= NF; j++) comps = comps " " $j
                     printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", $i, $(i + 1), comps
                 }' /etc/apt/sources.list
        fi
    } | "${sudo_cmd[@]}" tee "$src_list" >/dev/null
    echo "setup: wrote $src_list"
    apt_update
}

install_wine() {
    if ! has_i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
        lists_fresh=0
    fi
    install_missing --no-install-recommends -- "${wine_packages[@]}"
    runs_32bit && return 0
    # Where the kernel runs no 32-bit Linux programs (built with IA32 emulation off, or booted
    # with ia32_emulation=off, as on the project's machines), wine32's own Linux side cannot
    # start. There qemu-user-static runs it: the i386 ELF loader is registered with binfmt_misc,
    # so every 32-bit program Wine starts goes through qemu-i386-static. The registration does
    # not outlive a reboot; --check then finds it missing.
    echo "setup: this kernel runs no 32-bit programs; running them through qemu-i386-static" >&2
    install_missing --no-install-recommends -- qemu-user-static
    local binfmt=/proc/sys/fs/binfmt_misc
    if [ ! -e "$binfmt/register" ]; then
        "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
    fi
    if [ ! -e "$binfmt/ks-qemu-i386" ]; then
        # i386 ELF executables and shared objects (e_machine 3); F: qemu is opened now, so the
        # handler works in any mount namespace.
        local magic mask
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":ks-qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" |
            "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
    fi
}

# --- each part: check; install what is missing, then check again ---------------------------

failed=()
for part in "${parts[@]}"; do
    missing=()
    "check_$part"
    [ ${#missing[@]} -eq 0 ] && continue
    if [ "$check_only" = 0 ]; then
        echo "setup: $part: installing what is missing: ${missing[*]}"
        "install_$part"
        missing=()
        "check_$part"
        [ ${#missing[@]} -eq 0 ] && continue
    fi
    list=${missing[0]}
    for item in "${missing[@]:1}"; do list+=", $item"; done
    echo "setup: $part part: missing $list" >&2
    failed+=("$part")
done
if [ ${#failed[@]} -gt 0 ]; then
    if [ "$check_only" = 1 ]; then
        echo "setup: this machine is not set up for that; run: scripts/setup.sh ${failed[*]}" >&2
    else
        echo "setup: installing did not give everything the ${failed[*]} part(s) need" >&2
    fi
    exit 1
fi
