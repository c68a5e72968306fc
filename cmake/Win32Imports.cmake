# Windows builds: a test that a program or DLL imports Windows system DLLs only (and the DLLs
# named in ALLOW), so that it runs where nothing but it was copied, without the MinGW runtime
# DLLs or third-party DLLs beside it.
#
#   ks_add_win32_imports_test(TARGET [FILE file] [ALLOW name.dll...])
#
# FILE names the file when TARGET is a custom target (a program built by other tools).
set(KS_WIN32_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckWin32Imports.cmake)

function(ks_add_win32_imports_test target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FILE" "ALLOW")
    set(file $<TARGET_FILE:${target}>)
    if(arg_FILE)
        set(file ${arg_FILE})
    endif()
    if(NOT CMAKE_OBJDUMP)
        message(FATAL_ERROR "ks_add_win32_imports_test: no objdump for the target toolchain")
    endif()
    add_test(NAME ${target}.imports_system_dlls_only
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=${file}
                     "-DALLOW=${arg_ALLOW}" -P ${KS_WIN32_IMPORTS_SCRIPT})
endfunction()
