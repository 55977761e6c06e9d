# Strict warnings for every target the project builds; errors when ZENTRIQ_WERROR is on (CI and presets).
function(zentriq_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- $<$<BOOL:${ZENTRIQ_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow
            $<$<BOOL:${ZENTRIQ_WERROR}>:-Werror>)
    endif()
endfunction()
