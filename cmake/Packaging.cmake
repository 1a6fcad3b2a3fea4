# Installation and the Debian package: the window, the terminal front end, the desktop entry,
# the icon and the man page, each in its usual place below the prefix. Programs that are not
# part of this build are left out.
include(GNUInstallDirs)

foreach(program vorloader vorloader-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET vorloader)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vorloader.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(VOR_ICON ${PROJECT_SOURCE_DIR}/resources/icons/vorloader-48.png)
  if(EXISTS ${VOR_ICON})
    install(FILES ${VOR_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
            RENAME vorloader.png)
  endif()
endif()

if(TARGET vorloader-cli)
  # The man page carries the version; it is installed compressed, as Debian keeps man pages.
  set(VOR_MAN_PAGE ${PROJECT_BINARY_DIR}/packaging/vorloader-cli.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/vorloader-cli.1 ${VOR_MAN_PAGE} @ONLY)
  add_custom_command(
    OUTPUT ${VOR_MAN_PAGE}.gz
    COMMAND gzip -9 -n -c ${VOR_MAN_PAGE} > ${VOR_MAN_PAGE}.gz
    DEPENDS ${VOR_MAN_PAGE}
    COMMENT "Compressing the vorloader-cli man page")
  add_custom_target(vor_man_pages ALL DEPENDS ${VOR_MAN_PAGE}.gz)
  install(FILES ${VOR_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Loaded on demand by bash-completion from its completions folder, by the command's name.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/vorloader-cli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornet-loader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VORnet")
set(CPACK_PACKAGE_CONTACT "VORnet Loader maintainers <loader@vornet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware loader for VORnet networked audio devices")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds a VORnet device on a serial port, identifies and authenticates it, and programs\n"
    "it with the firmware that belongs to it, keeping its firmware folder up to date from\n"
    "the maker's support web server. Comes as a window (vorloader) and a terminal front end\n"
    "(vorloader-cli).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime dependencies (Qt, libcurl, the C++ library) are read off the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
