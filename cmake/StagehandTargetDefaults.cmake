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
