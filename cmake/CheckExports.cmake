# Fails when a shared library's export table holds a name that is not part of its own interface,
# or lacks a function its interface declares.
#
#   cmake -DFILE=lib.so|x.dll -DFORMAT=elf|pe -DLISTER=nm|objdump -DDEMANGLER=c++filt
#         [-DNAMES="a;b"]                       exact C names
#         [-DC_HEADERS="h..." -DC_PATTERN=re]   C functions declared in headers: every name the
#                                               pattern's first group catches
#         [-DCXX_HEADERS="h..." -DMACRO=KS_API -DNAMESPACE=ks_formats]
#                                               C++ names: the functions and classes the headers
#                                               mark with MACRO, in NAMESPACE
#         [-DSAME_AS=other.so -DSAME_AS_FORMAT=elf -DSAME_AS_LISTER=nm]
#                                               the other build's library: both must export the
#                                               same qualified names (parameter types aside)
#         -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)

# The exported names of a library: nm -D for ELF (defined symbols only), the name table of
# objdump -p for PE.
function(exported_names file format lister out)
    if(format STREQUAL "elf")
        execute_process(COMMAND ${lister} -D --defined-only ${file}
                        OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
        set(line_pattern "^[0-9a-fA-F]* *[A-Za-z] ([^ @]+)")
    else()
        execute_process(COMMAND ${lister} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
        # Brackets would keep CMake's list from splitting: the name table's "[   3] name" lines
        # become "<   3> name". The address table's lines ("<   3> +base<   4> 1a2b Export RVA")
        # hold more than a name.
        string(REPLACE "[" "<" dump "${dump}")
        string(REPLACE "]" ">" dump "${dump}")
        set(line_pattern "^[ \t]*< *[0-9]+> ([^ \t+<][^ \t]*)[ \t]*$")
    endif()
    if(failed)
        message(FATAL_ERROR "${lister} could not read ${file}")
    endif()
    string(REPLACE ";" "\\;" dump "${dump}")
    string(REGEX REPLACE "\r?\n" ";" lines "${dump}")
    set(names)
    foreach(line IN LISTS lines)
        if(line MATCHES "${line_pattern}")
            list(APPEND names "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES names)
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Demangled forms, one per name and in the same order (a C name stays as it is).
function(demangled names out)
    if(NOT names)
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    string(REPLACE ";" "\n" text "${names}")
    string(RANDOM LENGTH 8 tag)
    set(list_file "${CMAKE_CURRENT_BINARY_DIR}/exports-${tag}.txt")
    file(WRITE "${list_file}" "${text}\n")
    execute_process(COMMAND ${DEMANGLER} INPUT_FILE "${list_file}" OUTPUT_VARIABLE plain
                    RESULT_VARIABLE failed)
    file(REMOVE "${list_file}")
    if(failed)
        message(FATAL_ERROR "${DEMANGLER} failed")
    endif()
    string(REPLACE ";" "\\;" plain "${plain}")
    string(REGEX REPLACE "\n$" "" plain "${plain}")
    string(REPLACE "\n" ";" plain "${plain}")
    set(${out} "${plain}" PARENT_SCOPE)
endfunction()

# A demangled C++ name without its parameters and without a vtable or type-information prefix:
# "ks_formats::ImportBatch::addImportFile".
function(qualified_name name out)
    string(REGEX REPLACE "^(typeinfo name for |typeinfo for |vtable for )" "" name "${name}")
    string(REGEX REPLACE "\\(.*$" "" name "${name}")
    set(${out} "${name}" PARENT_SCOPE)
endfunction()

function(names_in_headers headers pattern out)
    set(found)
    foreach(header IN LISTS headers)
        file(READ "${header}" text)
        string(REGEX MATCHALL "${pattern}" hits "${text}")
        foreach(hit IN LISTS hits)
            string(REGEX MATCH "${pattern}" hit "${hit}")
            list(APPEND found "${CMAKE_MATCH_1}")
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES found)
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(c_names ${NAMES})
if(C_HEADERS)
    names_in_headers("${C_HEADERS}" "${C_PATTERN}" from_headers)
    list(APPEND c_names ${from_headers})
endif()
set(identifier "[A-Za-z_][A-Za-z0-9_]*")
set(cxx_functions)
set(cxx_owners)
if(CXX_HEADERS)
    names_in_headers("${CXX_HEADERS}"
        "${MACRO}[^;{()]*[ \t*&](${identifier})[ \t]*\\(" cxx_functions)
    set(cxx_classes)
    foreach(header IN LISTS CXX_HEADERS)
        file(READ "${header}" text)
        string(REGEX MATCHALL "(class|struct)[ \t]+${MACRO}[ \t]+${identifier}" hits "${text}")
        foreach(hit IN LISTS hits)
            string(REGEX REPLACE "^.*[ \t]" "" hit "${hit}")
            list(APPEND cxx_classes "${hit}")
        endforeach()
    endforeach()
    set(cxx_owners ${cxx_functions} ${cxx_classes})
endif()

exported_names("${FILE}" "${FORMAT}" "${LISTER}" exports)
if(NOT exports)
    message(FATAL_ERROR "${FILE}: no exported name found; is it a shared library?")
endif()
demangled("${exports}" plain_exports)

set(foreign)
set(present)
foreach(name plain IN ZIP_LISTS exports plain_exports)
    if(name IN_LIST c_names)
        list(APPEND present "${name}")
        continue()
    endif()
    qualified_name("${plain}" qualified)
    if(NAMESPACE AND qualified MATCHES "^${NAMESPACE}::(${identifier})")
        if(CMAKE_MATCH_1 IN_LIST cxx_owners)
            list(APPEND present "${CMAKE_MATCH_1}")
            continue()
        endif()
    endif()
    list(APPEND foreign "${plain}")
endforeach()

set(missing)
foreach(name IN LISTS c_names cxx_functions)
    if(NOT name IN_LIST present)
        list(APPEND missing "${name}")
    endif()
endforeach()

list(LENGTH exports count)
message(STATUS "${FILE}: ${count} exported names")
set(problems)
if(foreign)
    list(LENGTH foreign foreign_count)
    list(SUBLIST foreign 0 20 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    string(APPEND problems
        "${foreign_count} exported names are not part of the library's interface, among them:\n  ${shown}\n")
endif()
if(missing)
    string(REPLACE ";" ", " missing "${missing}")
    string(APPEND problems "declared in the interface but not exported: ${missing}\n")
endif()

# The other build of the same library exports the same names, qualified names compared (the
# parameter types differ where a type's width does, size_t say).
if(SAME_AS)
    exported_names("${SAME_AS}" "${SAME_AS_FORMAT}" "${SAME_AS_LISTER}" other)
    demangled("${other}" plain_other)
    foreach(side IN ITEMS plain_exports plain_other)
        set(${side}_qualified)
        foreach(plain IN LISTS ${side})
            qualified_name("${plain}" qualified)
            list(APPEND ${side}_qualified "${qualified}")
        endforeach()
        list(REMOVE_DUPLICATES ${side}_qualified)
    endforeach()
    set(only_here ${plain_exports_qualified})
    list(REMOVE_ITEM only_here ${plain_other_qualified})
    set(only_there ${plain_other_qualified})
    list(REMOVE_ITEM only_there ${plain_exports_qualified})
    if(only_here OR only_there)
        string(REPLACE ";" ", " only_here "${only_here}")
        string(REPLACE ";" ", " only_there "${only_there}")
        string(APPEND problems "the two builds export different names:\n"
            "  only in ${FILE}: ${only_here}\n  only in ${SAME_AS}: ${only_there}\n")
    endif()
endif()

if(problems)
    message(FATAL_ERROR "${FILE}:\n${problems}")
endif()
