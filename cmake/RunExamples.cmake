# Runs each examples/<program>/*.in through the built <program> and prints
# the input, then the answers (and any warning), so a newcomer sees what the
# tools do.
file(GLOB programs LIST_DIRECTORIES true RELATIVE ${EXAMPLES_DIR} ${EXAMPLES_DIR}/*)
foreach(program IN LISTS programs)
  if(NOT IS_DIRECTORY ${EXAMPLES_DIR}/${program} OR NOT EXISTS ${BIN_DIR}/${program})
    continue()
  endif()
  file(GLOB inputs ${EXAMPLES_DIR}/${program}/*.in)
  foreach(input IN LISTS inputs)
    get_filename_component(name ${input} NAME)
    file(READ ${input} text)
    message("==> ${program} < examples/${program}/${name}\n${text}--> answers")
    execute_process(COMMAND ${BIN_DIR}/${program} INPUT_FILE ${input}
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    message("${out}${err}(exit status ${status})\n")
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${program} failed on ${name}")
    endif()
  endforeach()
endforeach()
