# skip_without(PROGRAM PACKAGE): ends the calling script, marked as skipped by
# the tests' SKIP_REGULAR_EXPRESSION, when PROGRAM is not installed.
macro(skip_without program package)
  find_program(found_${program} ${program})
  if(NOT found_${program})
    message("skipped: ${program} not found; install the Debian package ${package}")
    return()
  endif()
endmacro()
