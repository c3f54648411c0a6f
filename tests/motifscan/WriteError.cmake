# Runs PROGRAM with INPUT on standard input and /dev/full as standard output:
# the counts cannot be written, which must be reported with exit status 1.
execute_process(COMMAND ${PROGRAM} INPUT_FILE ${INPUT} OUTPUT_FILE /dev/full
                ERROR_VARIABLE actual_err RESULT_VARIABLE actual_status)
set(expected_err "motifscan: write error: No space left on device\n")
if(NOT actual_err STREQUAL expected_err OR NOT actual_status STREQUAL "1")
  message(FATAL_ERROR "expected exit status 1 and ${expected_err}"
                      "got exit status ${actual_status} and ${actual_err}")
endif()
