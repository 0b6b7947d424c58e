# Installation and packaging: the two tools, their manual pages and completions, and the core
# library with its headers and a CMake package config for find_package(r38).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS r38dec r38 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS r38core EXPORT r38Targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/r38)
foreach(layer decode extract encode)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${layer} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/r38
    FILES_MATCHING PATTERN "*.h")
endforeach()
install(EXPORT r38Targets NAMESPACE r38:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/r38)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/r38Config.cmake.in
  ${PROJECT_BINARY_DIR}/r38Config.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/r38)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/r38ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/r38Config.cmake ${PROJECT_BINARY_DIR}/r38ConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/r38)

# Manual pages: roff sources with the version filled in, compressed as Debian installs them.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(man_pages)
foreach(page r38dec r38)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${GZIP_EXECUTABLE} -9nf -k ${PROJECT_BINARY_DIR}/man/${page}.1
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1
    COMMENT "Compressing manual page ${page}(1)")
  list(APPEND man_pages ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/completions/r38.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME r38)
install(FILES ${PROJECT_SOURCE_DIR}/completions/_r38
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

# A Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME r38)
set(CPACK_PACKAGE_VENDOR "The r38 developers")
set(CPACK_PACKAGE_CONTACT "The r38 developers <r38@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cassette tape image converter and toolkit")
set(CPACK_PACKAGE_DESCRIPTION
  "r38dec converts cassette tape images back into the files recorded on them; r38 builds,\n lists and extracts tape images and converts them to and from audio recordings.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
