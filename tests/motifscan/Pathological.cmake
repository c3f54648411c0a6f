# Writes WORK_DIR/pathological.in and runs PROGRAM on it. The patterns are
# A^5000 B, A^4000 C and (AB)^1500 D; the message is 300 runs of A^5000 B
# (each completes the first pattern), 300 runs of A^4999 B (none completes),
# a million bytes of ABAB... and one (AB)^1500 D at the end: 301 completions.
# A scan that keeps every partial match alive does thousands of steps per
# byte of this message, over a minute in all; a linear one does one step per byte.
string(REPEAT "A" 5000 a5000)
string(REPEAT "A" 4999 a4999)
string(REPEAT "A" 4000 a4000)
string(REPEAT "AB" 1500 ab1500)
string(REPEAT "${a5000}B" 300 completing)
string(REPEAT "${a4999}B" 300 missing)
string(REPEAT "AB" 500000 periodic)
set(input ${WORK_DIR}/pathological.in)
file(WRITE ${input} "1\n3\n${a5000}B\n${a4000}C\n${ab1500}D\n${completing}${missing}${periodic}${ab1500}D\n")
execute_process(COMMAND ${PROGRAM} INPUT_FILE ${input}
                OUTPUT_VARIABLE actual_out ERROR_VARIABLE actual_err RESULT_VARIABLE actual_status)
if(NOT actual_out STREQUAL "301\n" OR NOT actual_status STREQUAL "0")
  message(FATAL_ERROR "expected 301 and exit status 0, "
                      "got \"${actual_out}\", exit status ${actual_status}, ${actual_err}")
endif()
