# Installs a program's engine as a C++ library: the static archive, its public
# headers (include/<name>/), a CMake package (find_package(<name> CONFIG)
# gives <name>::<name>) and a pkg-config file. The Debian package keeps only
# the programs: these go in the components "library" and "python", which
# only cmake --install takes.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# <target> is a static library with its headers under <include_dir>/<name>/.
function(exact_install_library target name include_dir)
  add_library(${name}::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} EXPORT_NAME ${name})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${include_dir}>
                                              $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS ${target} EXPORT ${name}Targets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)
  install(DIRECTORY ${include_dir}/${name} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library)
  set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
  install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${package_dir} COMPONENT library)
  set(generated ${CMAKE_BINARY_DIR}/packages/${name})
  file(WRITE ${generated}/${name}Config.cmake
       "include(\${CMAKE_CURRENT_LIST_DIR}/${name}Targets.cmake)\n")
  write_basic_package_version_file(${generated}/${name}ConfigVersion.cmake COMPATIBILITY SameMinorVersion)
  install(FILES ${generated}/${name}Config.cmake ${generated}/${name}ConfigVersion.cmake
          DESTINATION ${package_dir} COMPONENT library)
  # pkg-config: the prefix is taken from where the .pc file lies, so that a
  # DESTDIR or a moved prefix still works.
  file(RELATIVE_PATH up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  file(WRITE ${generated}/${name}.pc
"prefix=\${pcfiledir}/${up}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}

Name: ${name}
Description: ${ARGN}
Version: ${PROJECT_VERSION}
Cflags: -I\${includedir} -std=c++20
Libs: -L\${libdir} -l${name}
")
  install(FILES ${generated}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT library)
endfunction()
