# Warnings every target of the project builds with.
function(pelmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports false positives inside std::variant and std::optional moves.
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
  if(PELMORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
