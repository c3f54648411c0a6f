# The Python modules are built for Debian's interpreter: the python3 first on
# PATH may be another build (pyenv, a virtual environment) without numpy, and
# the modules must load into the interpreter that their tests and users run.
# They need pybind11 (pybind11-dev) to build and numpy and pytest
# (python3-numpy, python3-pytest) to be tested; without them the programs and
# the C++ libraries build as usual and the Python tests say what is missing.
# Instrumented builds leave them out: a sanitized extension cannot load into
# a plain interpreter.
if(EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The interpreter the Python modules are built for")
endif()
set(EXACT_PYTHON_INSTALL_DIR lib/python3/dist-packages
    CACHE PATH "Where cmake --install puts the Python modules, under the prefix")

set(EXACT_WITH_PYTHON OFF)
set(EXACT_PYTHON_MISSING "")
if(NOT EXACT_SANITIZE AND NOT EXACT_FUZZ AND NOT EXACT_THREAD_SANITIZE)
  find_package(Python3 COMPONENTS Interpreter Development.Module)
  if(Python3_FOUND)
    find_package(pybind11 CONFIG QUIET)
  endif()
  if(NOT Python3_FOUND)
    set(EXACT_PYTHON_MISSING "python3-dev")
  elseif(NOT pybind11_FOUND)
    set(EXACT_PYTHON_MISSING "pybind11-dev")
  endif()
  if(Python3_FOUND)
    foreach(module_and_package numpy:python3-numpy pytest:python3-pytest)
      string(REPLACE ":" ";" module_and_package ${module_and_package})
      list(GET module_and_package 0 module)
      list(GET module_and_package 1 package)
      execute_process(COMMAND ${Python3_EXECUTABLE} -c "import ${module}" RESULT_VARIABLE status
                      OUTPUT_QUIET ERROR_QUIET)
      if(NOT status EQUAL 0)
        list(APPEND EXACT_PYTHON_MISSING ${package})
      endif()
    endforeach()
  endif()
  if(EXACT_PYTHON_MISSING STREQUAL "")
    set(EXACT_WITH_PYTHON ON)
  else()
    list(JOIN EXACT_PYTHON_MISSING ", " missing)
    message(STATUS "Python modules off: missing ${missing} (Debian packages); "
                   "the programs and the C++ libraries build as usual")
  endif()
endif()

# Where the built modules land, so that the tests import them from one folder.
set(EXACT_PYTHON_BUILD_DIR ${CMAKE_BINARY_DIR}/python)

# Builds the Python module <name> (imported as <name>) from its sources.
function(exact_add_python_module target name)
  # NO_EXTRAS: no link-time optimisation (the module is a thin layer over a
  # library built without it) and no stripping.
  pybind11_add_module(${target} NO_EXTRAS ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} LIBRARY_OUTPUT_DIRECTORY ${EXACT_PYTHON_BUILD_DIR})
  install(TARGETS ${target} LIBRARY DESTINATION ${EXACT_PYTHON_INSTALL_DIR} COMPONENT python)
endfunction()
