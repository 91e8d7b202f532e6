# What an installation holds and the packages CPack makes of it: from the
# Windows build a zip for administrators (the program, the README and the
# licence at the top with Windows line ends, a sample package descriptor under
# examples\, the result file's JSON Schema under docs\), from the POSIX build
# a Debian package (the program in /usr/bin, its manual page, the README,
# changelog, copyright and sample descriptor as documentation, the result
# file's JSON Schema in /usr/share/zentavor, a logrotate configuration for the
# log, and a postrm that takes the log away on purge).
#
#   cmake --workflow --preset package-posix      # or package-windows
#
# builds the program without its tests and leaves the package in
# <build dir>/packages. Only the component "product" is packaged, so that
# nothing a test or a third-party library might install ever lands in a
# package. The target zentavor_package_files makes every file the packages
# take from the build.

set(ZENTAVOR_SAMPLE_DESCRIPTOR ${CMAKE_SOURCE_DIR}/packaging/NICFWData.xml)
set(ZENTAVOR_LICENSE ${CMAKE_SOURCE_DIR}/packaging/LICENSE.txt)
set(ZENTAVOR_SCHEMA ${CMAKE_SOURCE_DIR}/docs/result-file.schema.json)
set(ZENTAVOR_MAINTAINER "Zentavor maintainers <maintainers@users.noreply.c-seed-1ee1f3f4.example>")
set(package_files ${CMAKE_BINARY_DIR}/packaging)

if(WIN32)
  # Unpacked, the folder must not look like a firmware package: the sample
  # descriptor beside zentavor.exe would make a run there start a discovery.
  # The texts an administrator opens in Notepad get Windows line ends.
  set(texts)
  foreach(source ${CMAKE_SOURCE_DIR}/README.md ${ZENTAVOR_LICENSE})
    get_filename_component(name ${source} NAME)
    add_custom_command(
      OUTPUT ${package_files}/${name}
      COMMAND ${CMAKE_COMMAND} -D input=${source} -D output=${package_files}/${name}
              -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${source} ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      COMMENT "Giving ${name} Windows line ends for the zip"
      VERBATIM)
    list(APPEND texts ${package_files}/${name})
  endforeach()
  add_custom_target(zentavor_package_files ALL DEPENDS ${texts})

  install(TARGETS zentavor RUNTIME DESTINATION . COMPONENT product)
  install(FILES ${texts} DESTINATION . COMPONENT product)
  install(FILES ${ZENTAVOR_SAMPLE_DESCRIPTOR} DESTINATION examples COMPONENT product)
  # Beside the README as in the source tree, so that the README's link to it
  # holds in the unpacked zip too.
  install(FILES ${ZENTAVOR_SCHEMA} DESTINATION docs COMPONENT product)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "zentavor-${PROJECT_VERSION}-win64")
else()
  # The copyright file in Debian's machine-readable form, its licence
  # paragraph being LICENSE.txt: one line in, one indented line out, an empty
  # line as " .".
  file(READ ${ZENTAVOR_LICENSE} license)
  string(REGEX REPLACE "\n+$" "" license "${license}")
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " license "${license}")
  set(ZENTAVOR_LICENSE_PARAGRAPH " ${license}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${package_files}/copyright @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZENTAVOR_LICENSE})

  # Debian keeps manual pages, changelogs and longer documents compressed with
  # gzip -9, without the name and time stamp that would make two builds of one
  # file differ.
  set(compressed)
  foreach(source docs/zentavor.1 README.md packaging/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${package_files}/${name})
    add_custom_command(
      OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${copy}
      COMMAND gzip -9nf ${copy}
      DEPENDS ${CMAKE_SOURCE_DIR}/${source}
      COMMENT "Compressing ${source} for the Debian package"
      VERBATIM)
    list(APPEND compressed ${copy}.gz)
  endforeach()
  add_custom_target(zentavor_package_files ALL DEPENDS ${compressed})

  install(TARGETS zentavor RUNTIME DESTINATION bin COMPONENT product)
  # Debian ships no .comment section (the compiler's version strings) in a
  # program; strip leaves it, so it goes once the program is installed.
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/zentavor\"
                  COMMAND_ERROR_IS_FATAL ANY)"
          COMPONENT product)
  install(FILES ${package_files}/zentavor.1.gz DESTINATION share/man/man1 COMPONENT product)
  install(FILES ${package_files}/README.md.gz ${package_files}/changelog.gz
                ${package_files}/copyright
          DESTINATION share/doc/zentavor COMPONENT product)
  install(FILES ${ZENTAVOR_SAMPLE_DESCRIPTOR} DESTINATION share/doc/zentavor/examples
          COMPONENT product)
  # Not under /usr/share/doc: a tool that validates result files relies on the
  # schema, and Debian lets an installation leave /usr/share/doc out (and
  # would have it compressed there, being over 4 kB).
  install(FILES ${ZENTAVOR_SCHEMA} DESTINATION share/zentavor COMPONENT product)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
          RENAME zentavor COMPONENT product)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/logrotate DESTINATION /etc/logrotate.d
          RENAME zentavor COMPONENT product)
  # A file in /etc belongs to the administrator once installed: dpkg keeps
  # their changes on upgrade only for the files listed as conffiles.
  file(WRITE ${package_files}/conffiles "/etc/logrotate.d/zentavor\n")

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are what the program links against (libc, libstdc++),
  # as dpkg-shlibdeps finds them; nothing else is needed at run time.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZENTAVOR_MAINTAINER}")
  # postrm: purging the package takes the log away, removing it does not.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_files}/conffiles
      ${CMAKE_SOURCE_DIR}/packaging/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
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
