# Address and undefined-behaviour sanitizers for the whole build (-DKS_SANITIZE=ON).
option(KS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(KS_SANITIZE)
    set(_ks_san_flags -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${_ks_san_flags})
    add_link_options(-fsanitize=address,undefined)
    # Readers take small steps in this build (see handler_rxp.h): fuzz inputs are small.
    add_compile_definitions(KS_FUZZING_BUILD)
endif()

# The thread sanitizer, for the cancel tests (-DKS_SANITIZE_THREAD=ON); it cannot be combined
# with the address sanitizer.
option(KS_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(KS_SANITIZE_THREAD)
    if(KS_SANITIZE)
        message(FATAL_ERROR "KS_SANITIZE and KS_SANITIZE_THREAD cannot be combined")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Fuzzing build (clang only, -DKS_FUZZ=ON): coverage instrumentation for libFuzzer everywhere,
# with the address and undefined-behaviour sanitizers; the targets live in tests/fuzz.
option(KS_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(KS_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KS_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    # Readers take small steps in this build (see handler_rxp.h): fuzz inputs are small.
    add_compile_definitions(KS_FUZZING_BUILD)
endif()
