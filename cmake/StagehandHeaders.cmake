# The header-only libraries of scripts/headers, for the tool and the tests: each is copied
# from the host's /usr/include into a folder of the build that holds nothing else, which the
# target stagehand::third_party puts on the include path. The host's /usr/include itself
# never joins the cross build's include path: glibc's headers would shadow mingw-w64's.
set(STAGEHAND_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/headers rows REGEX "^[^#]")
foreach(row IN LISTS rows)
  string(REGEX MATCHALL "[^ \t]+" fields "${row}")
  list(GET fields 1 path)
  list(GET fields 2 package)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "${path} not found: it comes with the Debian package ${package} (scripts/install-deps installs it)")
  endif()
  file(RELATIVE_PATH relative /usr/include ${path})
  get_filename_component(into ${STAGEHAND_THIRD_PARTY_INCLUDE}/${relative} DIRECTORY)
  file(COPY ${path} DESTINATION ${into})
endforeach()
add_library(stagehand_third_party INTERFACE)
add_library(stagehand::third_party ALIAS stagehand_third_party)
target_include_directories(stagehand_third_party SYSTEM INTERFACE ${STAGEHAND_THIRD_PARTY_INCLUDE})
