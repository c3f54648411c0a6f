# Builds the Debian package and checks its contents and its computed fields
# (the programs carry their own C++ runtime, so the C library is what they
# depend on).
include(${CMAKE_CURRENT_LIST_DIR}/SkipWithout.cmake)
skip_without(dpkg-deb dpkg)
skip_without(dpkg-shlibdeps dpkg-dev)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND cpack -G DEB -B ${WORK_DIR} --config ${BUILD_DIR}/CPackConfig.cmake
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB packages ${WORK_DIR}/*.deb)
if(NOT status EQUAL 0 OR NOT packages)
  message(FATAL_ERROR "cpack failed: ${log}")
endif()
execute_process(COMMAND dpkg-deb --contents ${packages} OUTPUT_VARIABLE contents)
set(doc ./usr/share/doc/gemprobe-motifscan)
foreach(file ./usr/bin/gemprobe ./usr/bin/motifscan ./usr/share/man/man1/gemprobe.1.gz
             ./usr/share/man/man1/motifscan.1.gz ${doc}/copyright ${doc}/changelog.gz ${doc}/LICENSE
             ${doc}/NEWS.md ${doc}/README.md ${doc}/examples/README.md ${doc}/examples/motifscan/counting.in)
  string(FIND "${contents}" "${file}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${file}:\n${contents}")
  endif()
endforeach()
# The libraries and the Python modules install with cmake --install only.
if(contents MATCHES "\\./usr/include/|\\./usr/lib/")
  message(FATAL_ERROR "the package holds the libraries:\n${contents}")
endif()
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND dpkg-deb --field ${packages} Package Version Architecture Depends OUTPUT_VARIABLE fields)
if(NOT fields MATCHES "Package: gemprobe-motifscan\nVersion: ${VERSION}\nArchitecture: ${architecture}\n"
   OR NOT fields MATCHES "Depends: [^\n]*libc6 \\(>= ")
  message(FATAL_ERROR "package fields:\n${fields}")
endif()
