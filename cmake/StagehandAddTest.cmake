# stagehand_add_test(NAME name COMMAND program [argument...] [TIMEOUT seconds] [SPARE name...]
#                    [MODE adapter=WxH[@HZ]...])
#
# A CTest test that runs the program under `stagehand run`: on a prepared desktop, ended
# after TIMEOUT seconds (600 by default) with a screenshot, and with its JSON report, JUnit
# file and screenshot in a folder of its own, stagehand/NAME in the current binary folder,
# which is also its working folder. COMMAND may name an executable target; its arguments end
# at the next keyword. MODE is passed on as --mode, for a `stagehand run` that holds display
# modes.
function(stagehand_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;TIMEOUT" "COMMAND;SPARE;MODE")
  if(NOT ARG_NAME OR NOT ARG_COMMAND OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "stagehand_add_test(NAME name COMMAND program [argument...] [TIMEOUT seconds] "
                        "[SPARE name...] [MODE mode...]), not: ${ARGV}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/stagehand/${ARG_NAME}")
  file(MAKE_DIRECTORY "${folder}")
  list(POP_FRONT ARG_COMMAND program)
  if(TARGET "${program}")
    set(program "$<TARGET_FILE:${program}>")
  endif()
  set(run --name "${ARG_NAME}" --timeout ${ARG_TIMEOUT} --report "${folder}/report.json" --junit "${folder}/junit.xml"
          --screenshot "${folder}/screenshot.png")
  foreach(name IN LISTS ARG_SPARE)
    list(APPEND run --spare "${name}")
  endforeach()
  foreach(mode IN LISTS ARG_MODE)
    list(APPEND run --mode "${mode}")
  endforeach()
  add_test(NAME "${ARG_NAME}" COMMAND stagehand::tool run ${run} -- "${program}" ${ARG_COMMAND}
           WORKING_DIRECTORY "${folder}")
  # CTest's own timeout comes after the run's, which ends the program, saves the screen and
  # writes the reports. The desktop is one: no two such tests run at once, even with -j.
  math(EXPR limit "${ARG_TIMEOUT} + 30")
  set_tests_properties("${ARG_NAME}" PROPERTIES TIMEOUT ${limit} RESOURCE_LOCK stagehand.desktop
                       ATTACHED_FILES_ON_FAIL "${folder}/screenshot.png;${folder}/report.json")
endfunction()
