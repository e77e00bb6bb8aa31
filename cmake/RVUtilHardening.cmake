# The hardening Debian asks of the binaries it ships (dpkg-buildflags' "hardening=+all"):
# checked string and memory calls (_FORTIFY_SOURCE, which needs an optimising build),
# stack protectors, and relocations made read-only (relro) after all of them are bound at
# start-up (now). Added per target like the warnings; sanitizer and fuzzing trees go
# without, as their run-times intercept the same calls.
function(rvutil_harden target)
    if(RVUTIL_SANITIZE OR RVUTIL_FUZZ)
        return()
    endif()
    # -U first: some compilers define their own level already.
    target_compile_options(${target} PRIVATE -fstack-protector-strong
        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY")
        target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
    endif()
endfunction()
