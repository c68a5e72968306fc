# Windows builds: a test that a program or DLL imports Windows system DLLs only (and the DLLs
# named in ALLOW), so that it runs where nothing but it was copied, without the MinGW runtime
# DLLs or third-party DLLs beside it.
#
#   ks_add_win32_imports_test(TARGET [ALLOW name.dll...])
set(KS_WIN32_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckWin32Imports.cmake)

function(ks_add_win32_imports_test target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ALLOW")
    if(NOT CMAKE_OBJDUMP)
        message(FATAL_ERROR "ks_add_win32_imports_test: no objdump for the target toolchain")
    endif()
    add_test(NAME ${target}.imports_system_dlls_only
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
                     "-DALLOW=${arg_ALLOW}" -P ${KS_WIN32_IMPORTS_SCRIPT})
endfunction()
