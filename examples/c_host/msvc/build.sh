#!/usr/bin/env bash
# Builds the example for Microsoft's ABI (i686-pc-windows-msvc), as a host built with Microsoft's
# toolchain links the library: clang compiles, lld-link links, against an import library made
# from the DLL's exported ksf_ names (llvm-dlltool from a .def file). The program has no C
# runtime of its own: msvcrt.dll's, through the headers in crt/ and mingw-w64's import library,
# and its own entry (startup.c).
#
#   build.sh DLL MINGW_LIB OUT_DIR    writes OUT_DIR/convert_project_msvc.exe
#
# DLL is NOXFormats_32_Ext.dll, MINGW_LIB the folder of mingw-w64's libmsvcrt.a. With
# Microsoft's own tools the same steps are: cl /c, "lib /def:ksf.def /machine:x86", link.
set -euo pipefail
dll=${1:?NOXFormats_32_Ext.dll} mingw_lib=${2:?mingw-w64 lib folder} out=${3:?output folder}
here=$(cd "$(dirname "$0")" && pwd)
include=$(cd "$here/../../../include" && pwd)
mkdir -p "$out"
target=(--target=i686-pc-windows-msvc -ffreestanding -O2 -isystem "$here/crt" -I"$include")
clang "${target[@]}" -std=c99 -Wall -Wextra -pedantic -Werror \
    -c "$here/../convert_project.c" -o "$out/convert_project.obj"
clang "${target[@]}" -c "$here/startup.c" -o "$out/startup.obj"
# The import library: every ksf_ name in the DLL's export table.
{
    echo "LIBRARY $(basename "$dll")"
    echo "EXPORTS"
    ${OBJDUMP:-i686-w64-mingw32-objdump} -p "$dll" |
        awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next } table && $NF ~ /^ksf_/ { print $NF }'
} >"$out/ksf.def"
grep -q ksf_convert "$out/ksf.def" || { echo "no ksf_ functions in $dll" >&2; exit 1; }
llvm-dlltool -m i386 -d "$out/ksf.def" -l "$out/NOXFormats_32_Ext.lib"
lld-link /nologo /entry:mainCRTStartup /subsystem:console /nodefaultlib /safeseh:no \
    /out:"$out/convert_project_msvc.exe" "$out/convert_project.obj" "$out/startup.obj" \
    "$out/NOXFormats_32_Ext.lib" "$mingw_lib/libmsvcrt.a"
