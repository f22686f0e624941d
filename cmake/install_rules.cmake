# What `cmake --install <build> --prefix <prefix>` puts in place: the programs, the shared
# library with its header, a pkg-config file and a CMake package, a manual page for each
# program and one for the library's C interface.
include(CMakePackageConfigHelpers)

set(LF_PROGRAMS letterforge cutframe letterforge-batch)
install(TARGETS ${LF_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS letterforge_library EXPORT letterforgeTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES letterforge/library/letterforge.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(LF_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/letterforge)
install(EXPORT letterforgeTargets NAMESPACE letterforge:: DESTINATION ${LF_CMAKE_PACKAGE_DIR})
configure_package_config_file(cmake/letterforgeConfig.cmake.in
  ${CMAKE_BINARY_DIR}/install/letterforgeConfig.cmake INSTALL_DESTINATION ${LF_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/letterforgeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/letterforgeConfig.cmake
  ${CMAKE_BINARY_DIR}/install/letterforgeConfigVersion.cmake DESTINATION ${LF_CMAKE_PACKAGE_DIR})

# The prefix is found from the .pc file's own place, so that a prefix given at install time
# (`--prefix`) holds as well as the one configured.
file(RELATIVE_PATH LF_PKGCONFIG_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" LF_PKGCONFIG_TO_PREFIX "${LF_PKGCONFIG_TO_PREFIX}")
configure_file(cmake/letterforge.pc.in ${CMAKE_BINARY_DIR}/install/letterforge.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/letterforge.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(LF_MAN_PAGES)
foreach(page ${LF_PROGRAMS})
  configure_file(man/${page}.1.in ${CMAKE_BINARY_DIR}/install/${page}.1 @ONLY)
  list(APPEND LF_MAN_PAGES ${CMAKE_BINARY_DIR}/install/${page}.1)
endforeach()
install(FILES ${LF_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
configure_file(man/letterforge.3.in ${CMAKE_BINARY_DIR}/install/letterforge.3 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/letterforge.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
