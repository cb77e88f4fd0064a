# The Quillomancer bundle (Quillomancer.aaxplugin): the description, the three components and
# everything they use, in one module whose only exports are the ACF* entry points.
if(COMMAND qm_aax_bundle)
  qm_aax_bundle(Quillomancer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine/src/QuillomancerHostDriver.cpp
    LIBS qm_engine qm_window)
  # The description is called from the framework's registration entry, linked after it.
  target_link_options(Quillomancer PRIVATE "LINKER:--undefined=GetEffectDescriptions")
endif()
