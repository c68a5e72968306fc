# Warnings for every target of the project; KS_WERROR turns them into errors (CI sets it).
option(KS_WERROR "Treat compiler warnings as errors" OFF)

set(KS_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
# GCC 12 reports a potential null dereference inside libstdc++'s relocation of
# std::vector<std::string>, inlined into CLI11's parser, and inside libstdc++'s hash tables and
# vectors inlined into pybind11's type registry: false positives in code that is not ours, so
# targets that parse command lines with CLI11 (KS_USES_CLI11) or are Python modules built with
# pybind11 (KS_USES_PYBIND11) go without that one check.
list(APPEND KS_WARNINGS
     $<$<NOT:$<OR:$<BOOL:$<TARGET_PROPERTY:KS_USES_CLI11>>,$<BOOL:$<TARGET_PROPERTY:KS_USES_PYBIND11>>>>:-Wnull-dereference>)
# These two exist in GCC only; clang builds the fuzz targets.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND KS_WARNINGS -Wduplicated-cond -Wlogical-op)
endif()

function(ks_set_warnings target)
    target_compile_options(${target} PRIVATE ${KS_WARNINGS})
    if(KS_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Links CLI11 for a command-line tool (see KS_USES_CLI11 above).
function(ks_link_cli11 target)
    find_package(CLI11 CONFIG REQUIRED)
    target_link_libraries(${target} PRIVATE CLI11::CLI11)
    set_target_properties(${target} PROPERTIES KS_USES_CLI11 ON)
endfunction()
