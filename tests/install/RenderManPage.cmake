# Renders a manual page as man(1) would; any warning fails the test.
include(${CMAKE_CURRENT_LIST_DIR}/SkipWithout.cmake)
skip_without(groff groff-base)
execute_process(COMMAND groff -man -Tutf8 -ww ${PAGE}
                OUTPUT_VARIABLE rendered ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "" OR NOT rendered MATCHES "\\(1\\)")
  message(FATAL_ERROR "groff on ${PAGE}: status ${status}\n${warnings}")
endif()
