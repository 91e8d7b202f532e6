# What an installation holds and the packages CPack makes of it: from the
# Windows build a zip for administrators (the program, the README and a sample
# package descriptor), from the POSIX build a Debian package (the program in
# /usr/bin, its manual page, the README and the sample descriptor as
# documentation).
#
#   cpack --config <build dir>/CPackConfig.cmake -B <output dir>
#
# Only the component "product" is packaged, so that nothing a test or a
# third-party library might install ever lands in a package.

set(ZENTAVOR_SAMPLE_DESCRIPTOR ${CMAKE_SOURCE_DIR}/packaging/NICFWData.xml)

if(WIN32)
  install(TARGETS zentavor RUNTIME DESTINATION . COMPONENT product)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${ZENTAVOR_SAMPLE_DESCRIPTOR}
          DESTINATION . COMPONENT product)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "zentavor-${PROJECT_VERSION}-win64")
else()
  # Debian keeps manual pages and longer documents compressed with gzip -9,
  # without the name and time stamp that would make two builds of one file
  # differ.
  set(compressed)
  foreach(source docs/zentavor.1 README.md)
    get_filename_component(name ${source} NAME)
    set(copy ${CMAKE_BINARY_DIR}/packaging/${name})
    add_custom_command(
      OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${copy}
      COMMAND gzip -9nf ${copy}
      DEPENDS ${CMAKE_SOURCE_DIR}/${source}
      COMMENT "Compressing ${source} for the Debian package"
      VERBATIM)
    list(APPEND compressed ${copy}.gz)
  endforeach()
  add_custom_target(zentavor_compressed_docs ALL DEPENDS ${compressed})

  install(TARGETS zentavor RUNTIME DESTINATION bin COMPONENT product)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/zentavor.1.gz DESTINATION share/man/man1
          COMPONENT product)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.md.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
          DESTINATION share/doc/zentavor COMPONENT product)
  install(FILES ${ZENTAVOR_SAMPLE_DESCRIPTOR} DESTINATION share/doc/zentavor/examples
          COMPONENT product)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are what the program links against (libc, libstdc++),
  # as dpkg-shlibdeps finds them; nothing else is needed at run time.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER
      "Zentavor maintainers <maintainers@users.noreply.c-seed-1ee1f3f4.example>")
endif()

set(CPACK_PACKAGE_NAME zentavor)
set(CPACK_PACKAGE_VENDOR "Zentavor maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "online boot-ROM firmware update for P3P-series network adapters")
# One paragraph, wrapped as a Debian control file wants its long description.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Zentavor updates the boot-ROM firmware of P3P-series server network\n"
  "adapters while the server stays online, by driving the adapter vendor's\n"
  "command-line utility netscli. It shows the installed and available\n"
  "firmware, recommends updates, flashes outdated ports interactively or\n"
  "unattended, and reports its outcome by exit code and in a log.")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};zentavor;product;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

include(CPack)
