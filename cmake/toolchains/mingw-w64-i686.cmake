# Cross build for 32-bit Windows with Debian's mingw-w64 (posix thread model), run under Wine.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
#
# The third-party libraries built for Windows (scripts/win32-deps.sh) live in one prefix,
# KS_WIN32_DEPS_PREFIX (cache variable or environment variable; default .cache/win32-deps/prefix
# in the source tree). Only that prefix and the MinGW sysroot are searched for libraries,
# headers and packages, so nothing of the Linux host leaks into the build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KS_MINGW_TRIPLET i686-w64-mingw32)
# The -posix compilers use winpthreads, which std::thread, std::mutex and friends need; the
# -win32 variants have no std::thread in GCC 12.
find_program(CMAKE_C_COMPILER ${KS_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${KS_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${KS_MINGW_TRIPLET}-windres REQUIRED)
find_program(CMAKE_AR ${KS_MINGW_TRIPLET}-gcc-ar-posix)
find_program(CMAKE_RANLIB ${KS_MINGW_TRIPLET}-gcc-ranlib-posix)

if(NOT KS_WIN32_DEPS_PREFIX)
    if(DEFINED ENV{KS_WIN32_DEPS_PREFIX})
        set(KS_WIN32_DEPS_PREFIX "$ENV{KS_WIN32_DEPS_PREFIX}")
    else()
        get_filename_component(KS_WIN32_DEPS_PREFIX
            "${CMAKE_CURRENT_LIST_DIR}/../../.cache/win32-deps/prefix" ABSOLUTE)
    endif()
endif()
set(KS_WIN32_DEPS_PREFIX "${KS_WIN32_DEPS_PREFIX}" CACHE PATH
    "Prefix holding the third-party libraries built for Windows")
# try_compile() reads this file again in its own project: hand it the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KS_WIN32_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${KS_MINGW_TRIPLET} "${KS_WIN32_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees the prefix's .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${KS_WIN32_DEPS_PREFIX}/lib/pkgconfig:${KS_WIN32_DEPS_PREFIX}/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Floating point in SSE2 registers, as on 64-bit targets: the x87 unit's 80-bit intermediates
# would round coordinates differently from the 64-bit builds, so the same scan could give points
# one quantum apart. Every processor that runs a supported 32-bit Windows has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# No MinGW runtime DLL (libgcc_s_dw2-1, libstdc++-6, libwinpthread-1) has to sit beside what
# we build: libgcc and libstdc++ are linked statically, and -static makes the linker take
# winpthreads' archive too. Programs and DLLs then import Windows system DLLs only.
set(_ks_static_runtime "-static-libgcc -static-libstdc++ -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_ks_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_ks_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_ks_static_runtime}")

# Tests and other cross-built programs run through Wine, 32-bit, headless and quiet, in a Wine
# prefix of the build tree's own (KS_WINEPREFIX, default BUILD/wineprefix) so that nothing in
# $HOME is touched. Mono and Gecko are not wanted: console programs need neither, and without
# them a new prefix is made without asking to install them. Nor is winedbg: a program that
# crashes should end (and its test fail), not wait in a debugger.
find_program(KS_WINE_PROGRAM NAMES wine wine-stable)
if(KS_WINE_PROGRAM)
    if(NOT KS_WINEPREFIX)
        set(KS_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    endif()
    set(KS_WINEPREFIX "${KS_WINEPREFIX}" CACHE PATH "Wine prefix the cross-built programs run in")
    # The environment every Wine process of the build runs in; the test scripts that start
    # Wine themselves (tests/win32) run in it too.
    set(KS_WINE_ENVIRONMENT
        /usr/bin/env -u DISPLAY WINEPREFIX=${KS_WINEPREFIX} WINEARCH=win32 WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe,winemenubuilder.exe=d)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KS_WINE_ENVIRONMENT} ${KS_WINE_PROGRAM})
endif()
