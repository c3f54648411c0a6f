# Runs PROGRAM with its standard output on /dev/full: the program must exit 1
# with one line "<program>: write error: No space left on device".
# With LARGE_INPUT set, INPUT is first written there repeated REPEAT times, so
# that the output fills the buffer and the failure shows in mid-run.
set(input_file ${INPUT})
if(DEFINED LARGE_INPUT)
  file(READ ${INPUT} head)
  file(READ ${BODY} body)
  string(REPEAT "${body}" ${REPEAT} repeated)
  file(WRITE ${LARGE_INPUT} "${head}${repeated}")
  set(input_file ${LARGE_INPUT})
endif()
execute_process(COMMAND ${PROGRAM} INPUT_FILE ${input_file} OUTPUT_FILE /dev/full
                ERROR_VARIABLE err RESULT_VARIABLE status)
get_filename_component(name ${PROGRAM} NAME)
if(NOT status EQUAL 1 OR NOT err STREQUAL "${name}: write error: No space left on device\n")
  message(FATAL_ERROR "expected exit 1 and a write error, got ${status}: ${err}")
endif()
