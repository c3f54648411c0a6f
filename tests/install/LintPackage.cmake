# Debian's package checker must find no error and no warning in the package
# that install.debian_package built (tags of lesser severity are allowed).
include(${CMAKE_CURRENT_LIST_DIR}/SkipWithout.cmake)
skip_without(lintian lintian)
file(GLOB packages ${WORK_DIR}/*.deb)
if(NOT packages)
  message("skipped: no package to check; install.debian_package says why")
  return()
endif()
execute_process(COMMAND lintian --fail-on error,warning --tag-display-limit 0 ${packages}
                RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
message("${report}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian: status ${status}")
endif()
