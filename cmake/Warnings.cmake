# Warnings every target of the project builds with.
function(pelmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(PELMORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
