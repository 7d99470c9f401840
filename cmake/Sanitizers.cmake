# Whole-build sanitizer flags; every target, plug-ins included, must carry them so
# that the runtime sees one consistent world.
if(PELMORA_SANITIZE)
  set(_san_flags -fsanitize=${PELMORA_SANITIZE} -fno-omit-frame-pointer -g)
  if(PELMORA_SANITIZE MATCHES "address|undefined")
    list(APPEND _san_flags -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_san_flags})
  add_link_options(-fsanitize=${PELMORA_SANITIZE})
endif()
