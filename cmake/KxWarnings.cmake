# Warning flags for the project's own targets (never for third-party code).
function(kx_target_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${KX_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
      $<$<BOOL:${KX_WERROR}>:-Werror>)
  endif()
endfunction()
