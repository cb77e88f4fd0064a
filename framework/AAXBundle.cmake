# qm_aax_bundle(<Name> SOURCES <files...> LIBS <targets...>)
# Builds a plug-in bundle: a shared module with hidden visibility whose only exported
# symbols are the ACF* entry points and the identifier constants, laid out as
#   <build>/<Name>.aaxplugin/Contents/x86_64-linux/<Name>.so
# The entry points come from qm_framework; the LIBS provide GetEffectDescriptions. The system
# stand-ins the module links (libqm_platform.so, libqm_ui.so) are found through its run path,
# relative to the module, in <build>/lib: the copy the host stand-in has loaded already.
# qm_aax_bundle_resources(<Name> <files...>) copies files into <Name>.aaxplugin/Contents/Resources
# whenever the bundle builds (where the bundle's code finds them through its own location).
set(QM_AAX_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/AAXExports.map CACHE INTERNAL "")

function(qm_aax_bundle name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  qm_target_defaults(${name})
  set(contents ${CMAKE_BINARY_DIR}/${name}.aaxplugin/Contents)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${contents}/x86_64-linux
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${QM_AAX_EXPORTS_MAP})
  file(RELATIVE_PATH to_libraries ${contents}/x86_64-linux ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set_target_properties(${name} PROPERTIES BUILD_RPATH "$ORIGIN/${to_libraries}")
  # The entry points live in a static library: name them so the linker keeps them. The
  # description (GetEffectDescriptions(AAX_ICollection*)) is named too, so that it is found
  # in whichever of the LIBS defines it, whatever their order.
  set(keep "")
  foreach(symbol ACFStartup ACFGetSDKVersion ACFRegisterPlugin ACFRegisterComponent ACFGetClassFactory
                 ACFCanUnloadNow ACFShutdown ACFInterlockedIncrement ACFInterlockedDecrement IID_IACFUnknown
                 _Z21GetEffectDescriptionsP15AAX_ICollection)
    list(APPEND keep "LINKER:--undefined=${symbol}")
  endforeach()
  target_link_options(${name} PRIVATE ${keep} "LINKER:--version-script=${QM_AAX_EXPORTS_MAP}"
                      "LINKER:--no-undefined")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} qm_framework)
endfunction()

function(qm_aax_bundle_resources name)
  set(resources ${CMAKE_BINARY_DIR}/${name}.aaxplugin/Contents/Resources)
  set(copies "")
  foreach(resource ${ARGN})
    get_filename_component(file ${resource} NAME)
    add_custom_command(OUTPUT ${resources}/${file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${resources}
      COMMAND ${CMAKE_COMMAND} -E copy ${resource} ${resources}/${file}
      DEPENDS ${resource}
      COMMENT "Copying ${file} into ${name}.aaxplugin"
      VERBATIM)
    list(APPEND copies ${resources}/${file})
  endforeach()
  if(copies)
    target_sources(${name} PRIVATE ${copies})
  endif()
endfunction()
