# A test that a shared library exports its own interface and nothing else: no name of a library
# linked into it, and every function its interface declares (CheckExports.cmake). The same test
# runs for the Linux and the Windows build.
#
#   ks_add_exports_test(TARGET [NAMES name...] [C_HEADERS header... C_PATTERN regex]
#                       [CXX_HEADERS header... MACRO macro NAMESPACE ns] [SAME_AS library])
set(KS_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)
if(WIN32)
    set(KS_EXPORTS_FORMAT pe)
    set(KS_EXPORTS_LISTER ${CMAKE_OBJDUMP})
else()
    set(KS_EXPORTS_FORMAT elf)
    set(KS_EXPORTS_LISTER ${CMAKE_NM})
endif()
# The host's demangler for both builds: the cross one expects the extra leading underscore of
# 32-bit Windows symbols, which export tables do not carry.
find_program(KS_HOST_CXXFILT NAMES c++filt REQUIRED)

function(ks_add_exports_test target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "C_PATTERN;MACRO;NAMESPACE;SAME_AS"
                          "NAMES;C_HEADERS;CXX_HEADERS")
    if(NOT KS_EXPORTS_LISTER)
        message(FATAL_ERROR "ks_add_exports_test: no nm or objdump for the target toolchain")
    endif()
    set(same_as)
    if(arg_SAME_AS)
        # The other build is a Linux one: its names come from the host's nm.
        find_program(KS_HOST_NM nm REQUIRED)
        set(same_as -DSAME_AS=${arg_SAME_AS} -DSAME_AS_FORMAT=elf -DSAME_AS_LISTER=${KS_HOST_NM})
    endif()
    add_test(NAME ${target}.exports_own_interface_only
             COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}>
                     -DFORMAT=${KS_EXPORTS_FORMAT} -DLISTER=${KS_EXPORTS_LISTER}
                     -DDEMANGLER=${KS_HOST_CXXFILT} "-DNAMES=${arg_NAMES}"
                     "-DC_HEADERS=${arg_C_HEADERS}" "-DC_PATTERN=${arg_C_PATTERN}"
                     "-DCXX_HEADERS=${arg_CXX_HEADERS}" -DMACRO=${arg_MACRO}
                     -DNAMESPACE=${arg_NAMESPACE} ${same_as} -P ${KS_EXPORTS_SCRIPT})
endfunction()
