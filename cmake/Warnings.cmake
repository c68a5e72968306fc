# Warnings for every target of the project; KS_WERROR turns them into errors (CI sets it).
option(KS_WERROR "Treat compiler warnings as errors" OFF)

function(ks_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(KS_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
