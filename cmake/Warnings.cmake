# Warnings for every target of the project; KS_WERROR turns them into errors (CI sets it).
option(KS_WERROR "Treat compiler warnings as errors" OFF)

set(KS_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
                -Wnull-dereference)
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
