# pelmora_plugin_bundle(<target> BUNDLE <Name> PRINCIPAL <class> SOURCES ...)
# Builds a decoder plug-in as <build>/plugins/<Name>.plugin/<Name>.so with its Info.plist.
function(pelmora_plugin_bundle target)
  cmake_parse_arguments(ARG "" "BUNDLE;PRINCIPAL;OUTPUT_DIR" "SOURCES" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR ${PELMORA_BUILD_PLUGIN_DIR})
  endif()
  set(bundle_dir ${ARG_OUTPUT_DIR}/${ARG_BUNDLE}.plugin)
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_BUNDLE}
    LIBRARY_OUTPUT_DIRECTORY ${bundle_dir}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    # It links none of the project's libraries: the programs' search path is not its.
    INSTALL_RPATH "")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include)
  # A plug-in takes nothing from the engine but what the host hands it at load.
  if(NOT PELMORA_SANITIZE AND NOT PELMORA_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  pelmora_warnings(${target})
  set(PLUGIN_EXECUTABLE ${ARG_BUNDLE}.so)
  set(PLUGIN_PRINCIPAL ${ARG_PRINCIPAL})
  set(PLUGIN_VERSION ${PROJECT_VERSION})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/Info.plist.in ${bundle_dir}/Info.plist @ONLY)
  install(TARGETS ${target} LIBRARY DESTINATION lib/pelmora/plugins/${ARG_BUNDLE}.plugin)
  install(FILES ${bundle_dir}/Info.plist DESTINATION lib/pelmora/plugins/${ARG_BUNDLE}.plugin)
endfunction()
