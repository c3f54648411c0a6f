# Writes WORK_DIR/pathological.in and runs PROGRAM on it. The patterns are
# A^1000 B, A^500 C and (AB)^300 D; the message is 1000 runs of A^1000 B (each
# completes the first pattern), 1000 runs of A^999 B (none completes), a
# million bytes of ABAB... and one (AB)^300 D at the end: 1001 completions.
# A scan that keeps every partial match alive does about 1500 steps per byte
# of this message; a linear one does one.
string(REPEAT "A" 1000 a1000)
string(REPEAT "A" 999 a999)
string(REPEAT "A" 500 a500)
string(REPEAT "AB" 300 ab300)
string(REPEAT "${a1000}B" 1000 completing)
string(REPEAT "${a999}B" 1000 missing)
string(REPEAT "AB" 500000 periodic)
set(input ${WORK_DIR}/pathological.in)
file(WRITE ${input} "1\n3\n${a1000}B\n${a500}C\n${ab300}D\n${completing}${missing}${periodic}${ab300}D\n")
execute_process(COMMAND ${PROGRAM} INPUT_FILE ${input}
                OUTPUT_VARIABLE actual_out ERROR_VARIABLE actual_err RESULT_VARIABLE actual_status)
if(NOT actual_out STREQUAL "1001\n" OR NOT actual_status STREQUAL "0")
  message(FATAL_ERROR "expected 1001 and exit status 0, "
                      "got \"${actual_out}\", exit status ${actual_status}, ${actual_err}")
endif()
