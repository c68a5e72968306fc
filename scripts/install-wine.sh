#!/usr/bin/env bash
# Installs Wine for running the 32-bit Windows build's programs and tests (only what is missing):
# Debian's wine with its 32-bit loader (wine32, from the i386 architecture).
#
# Where the kernel runs no 32-bit Linux programs (built with IA32 emulation off, or booted with
# ia32_emulation=off, as on the project's machines), wine32's own Linux side cannot start. There
# Debian's qemu-user-static runs it: the i386 ELF loader is registered with binfmt_misc, so that
# every 32-bit program Wine starts goes through qemu-i386-static. That is much slower than a
# native start (see docs/design.md, "Windows build").
set -euo pipefail
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_install() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    "$(dirname "$0")/apt-update.sh"
fi
missing=()
for p in wine wine32:i386; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt_install "${missing[@]}" || { "$(dirname "$0")/apt-update.sh" && apt_install "${missing[@]}"; }
fi

# Can this kernel start a 32-bit Linux program? The dynamic loader answers its own --version.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    exit 0
fi
echo "install-wine: this kernel runs no 32-bit programs; running them through qemu-i386-static" >&2
dpkg -s qemu-user-static >/dev/null 2>&1 || apt_install qemu-user-static
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/ks-qemu-i386" ]; then
    # i386 ELF executables and shared objects (e_machine 3); F: qemu is opened now, so the
    # handler works in any mount namespace.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":ks-qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" |
        "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
fi
/lib/ld-linux.so.2 --version >/dev/null
