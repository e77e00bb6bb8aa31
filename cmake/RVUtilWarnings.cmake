# Warnings are added per target, never through global flags, so that a host project that
# pulls RVUtil in with add_subdirectory keeps its own settings.
function(rvutil_enable_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                           $<$<BOOL:${RVUTIL_WERROR}>:-Werror>)
endfunction()
