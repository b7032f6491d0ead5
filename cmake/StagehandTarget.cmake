# Settings shared by every target of the project.
function(stagehand_target_defaults target)
  # The process-status calls resolve to kernel32's K32* entry points only with these two pinned;
  # the fault-injection tests patch those names in the import table.
  target_compile_definitions(${target} PRIVATE
    _WIN32_WINNT=0x0601 WINVER=0x0601 PSAPI_VERSION=2
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wno-cast-function-type -Wno-missing-field-initializers
    # __FILE__ in trace scopes names the file relative to the source tree.
    -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
endfunction()

# The mingw-w64 runtime DLLs that every binary of the project needs at run time.
set(STAGEHAND_MINGW_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "mingw-w64 runtime ${dll} not found")
  endif()
  list(APPEND STAGEHAND_MINGW_RUNTIME_DLLS "${path}")
  file(COPY "${path}" DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()

# A VERSIONINFO resource with the project's version for a DLL target.
function(stagehand_version_resource target description)
  set(STAGEHAND_RC_NAME ${target})
  set(STAGEHAND_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
