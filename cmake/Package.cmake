# Installation and the Debian package (cpack -G DEB): both programs, their
# manual pages, and the documents under share/doc/gemprobe-motifscan/.
include(GNUInstallDirs)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/gemprobe-motifscan)

install(TARGETS gemprobe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET motifscan)
  install(TARGETS motifscan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Debian wants manual pages and changelogs compressed with gzip -9n (no name or
# time stamp inside, so the bytes depend only on the text).
# A shared address of the authors. lintian accepts it as it is; should a later
# lintian want more of it, only a real maintainer can give that, and the tag
# belongs in an override file installed as share/lintian/overrides/<package>.
set(CPACK_PACKAGE_CONTACT "The gemprobe and motifscan authors <maintainers@users.noreply.c-seed-81654c97.example>")
set(packaged ${CMAKE_BINARY_DIR}/packaged)
string(TIMESTAMP release_date "%a, %d %b %Y %H:%M:%S +0000" UTC)  # honours SOURCE_DATE_EPOCH
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${packaged}/changelog @ONLY)
set(compressed ${packaged}/gemprobe.1.gz ${packaged}/motifscan.1.gz ${packaged}/changelog.gz)
foreach(page gemprobe motifscan)
  add_custom_command(OUTPUT ${packaged}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${packaged}/${page}.1
    COMMAND gzip -9nf ${packaged}/${page}.1
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 VERBATIM)
endforeach()
add_custom_command(OUTPUT ${packaged}/changelog.gz
  COMMAND gzip -9nkf ${packaged}/changelog
  DEPENDS ${packaged}/changelog VERBATIM)
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

install(FILES ${packaged}/gemprobe.1.gz ${packaged}/motifscan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md NEWS.md LICENSE ${packaged}/changelog.gz packaging/copyright DESTINATION ${doc_dir})
install(DIRECTORY examples/ DESTINATION ${doc_dir}/examples)

set(CPACK_PACKAGE_NAME "gemprobe-motifscan")
set(CPACK_PACKAGE_VENDOR "the gemprobe and motifscan authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exact point-in-solid tests and non-overlapping pattern counts")
# One line per line of the control file; CPack indents them and marks the
# empty one as a paragraph break.
set(CPACK_PACKAGE_DESCRIPTION
    "Two stream filters that read test cases on standard input and print one
answer per case.

gemprobe tells, for each query point, whether it lies in a convex solid
given by its walls. Every sign is decided in x87 80-bit extended precision
in a fixed order, so the verdicts are the same to the last bit on every run.

motifscan counts, per task, the largest number of non-overlapping
occurrences of a set of patterns in a message, in one linear-time scan.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
# Depends is computed from the binaries by dpkg-shlibdeps (Debian package
# dpkg-dev), and the architecture by dpkg.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# The package holds the programs, their pages and documents; the libraries
# and the Python modules (components "library" and "python") install with
# cmake --install only.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified)
include(CPack)
