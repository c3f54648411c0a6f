# Installs the build into a fresh prefix and uses the libraries as an outside
# project would: examples/library is configured against the prefix with
# find_package, built and run; the same program is built again with the
# flags pkg-config gives; and the Python example runs on the installed
# modules, when they were built.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
file(READ ${EXAMPLE_DIR}/expected.out expected)

function(expect_output what)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT output STREQUAL expected)
    message(FATAL_ERROR "${what}: status ${status}\n${output}${errors}")
  endif()
endfunction()

function(run_step what)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${log}")
  endif()
endfunction()

run_step("configuring the example against the prefix"
         ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/consumer -DCMAKE_PREFIX_PATH=${prefix}
         -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run_step("building the example" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
expect_output("the example built with find_package" ${WORK_DIR}/consumer/library_example)

find_program(pkg_config pkg-config)
if(pkg_config)
  file(GLOB_RECURSE pc_files ${prefix}/*/gemprobe.pc)
  list(GET pc_files 0 pc_file)
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND ${pkg_config} --cflags --libs gemprobe motifscan OUTPUT_VARIABLE flags
                  RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config gemprobe motifscan failed")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run_step("building the example with pkg-config's flags"
           ${CXX_COMPILER} ${EXAMPLE_DIR}/main.cpp ${flags} -o ${WORK_DIR}/pkg_config_example)
  expect_output("the example built with pkg-config" ${WORK_DIR}/pkg_config_example)
else()
  message("pkg-config not found (Debian package pkgconf): that part is left out")
endif()

if(PYTHON)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  expect_output("the Python example on the installed modules" ${PYTHON} ${EXAMPLE_DIR}/example.py)
endif()
