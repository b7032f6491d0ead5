# A VERSIONINFO resource with the project's version for a DLL target.
function(stagehand_version_resource target description)
  set(STAGEHAND_RC_NAME ${target})
  set(STAGEHAND_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
