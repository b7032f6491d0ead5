# The programs of scripts/programs, for the build: stagehand_program(NAME VAR) sets VAR to
# NAME's absolute path and VAR_PACKAGE to the Debian package that provides it.
function(stagehand_program name var)
  file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/programs lines REGEX "^${name}[ \t]")
  if(NOT lines)
    message(FATAL_ERROR "no program '${name}' in scripts/programs")
  endif()
  string(REGEX MATCHALL "[^ \t]+" fields "${lines}")
  list(GET fields 1 path)
  list(GET fields 2 package)
  set(${var} ${path} PARENT_SCOPE)
  set(${var}_PACKAGE ${package} PARENT_SCOPE)
endfunction()

# Windows programs run under Wine; the scripts provide the display and the prefix. The build
# itself needs no Wine.
stagehand_program(wine64 STAGEHAND_WINE64)
if(NOT EXISTS ${STAGEHAND_WINE64})
  message(WARNING "${STAGEHAND_WINE64} not found: the tests need the Debian package ${STAGEHAND_WINE64_PACKAGE} (scripts/install-deps)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${STAGEHAND_WINE64})
stagehand_program(mingw-objdump STAGEHAND_OBJDUMP)
stagehand_program(mingw-cxxfilt STAGEHAND_CXXFILT)
stagehand_program(mingw-dlltool STAGEHAND_DLLTOOL)
# MSVC's own import-library format, and what the test of it builds with.
stagehand_program(llvm-dlltool STAGEHAND_LLVM_DLLTOOL)
stagehand_program(lld-link STAGEHAND_LLD_LINK)
stagehand_program(clang STAGEHAND_CLANG)
