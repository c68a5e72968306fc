# cmake -DOBJDUMP=... -DFILE=x.exe|x.dll [-DALLOW="a.dll;b.dll"] -P CheckWin32Imports.cmake
# Fails when FILE imports a DLL that is neither a Windows system DLL nor listed in ALLOW.
cmake_minimum_required(VERSION 3.25)
set(system_dlls
    advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dbghelp.dll gdi32.dll
    imagehlp.dll iphlpapi.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll psapi.dll
    rpcrt4.dll secur32.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll userenv.dll
    version.dll winmm.dll ws2_32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "${FILE}: no imported DLL found; is it a Windows program?")
endif()
string(TOLOWER "${ALLOW}" allowed)
set(foreign)
foreach(line IN LISTS lines)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    message(STATUS "imports ${dll}")
    if(NOT name IN_LIST system_dlls AND NOT name IN_LIST allowed AND NOT name MATCHES "^api-ms-win-")
        list(APPEND foreign ${dll})
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "${FILE} imports DLLs that are not part of Windows: ${foreign}")
endif()
