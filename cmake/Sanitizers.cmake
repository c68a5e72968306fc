# Address and undefined-behaviour sanitizers for the whole build (-DKS_SANITIZE=ON).
option(KS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(KS_SANITIZE)
    set(_ks_san_flags -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${_ks_san_flags})
    add_link_options(-fsanitize=address,undefined)
endif()
