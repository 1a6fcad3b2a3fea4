# Installation and the Debian package: the window, the terminal front end, the desktop entry,
# the icons, the AppStream metadata, the man pages, and the copyright file and changelog a
# Debian package carries, each in its usual place below the prefix. Programs that are not part
# of this build are left out.
include(GNUInstallDirs)

set(VOR_PACKAGE_NAME vornet-loader)
set(VOR_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VOR_PACKAGE_NAME})

# A text file compressed as Debian keeps man pages and changelogs (gzip -9, no name or time
# stamp, so the package builds the same twice).
function(vor_gzip_file target source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# A man page with the version filled in, compressed, installed in section 1.
function(vor_man_page program)
  set(page ${PROJECT_BINARY_DIR}/packaging/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${program}.1 ${page} @ONLY)
  vor_gzip_file(vor_man_${program} ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

foreach(program vorloader vorloader-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET vorloader)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vorloader.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/example.vornet.vorloader.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon at every size desktops look for, drawn by resources/artwork/draw_artwork.cpp.
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/vorloader-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vorloader.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/vorloader.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  vor_man_page(vorloader)
endif()

if(TARGET vorloader-cli)
  vor_man_page(vorloader-cli)
  # Loaded on demand by bash-completion from its completions folder, by the command's name.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/vorloader-cli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

# What every Debian package carries: its copyright in the machine-readable format, its
# changelog, and the lintian tags it accepts, each with the reason beside it.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${VOR_PACKAGE_DOC_DIR})
vor_gzip_file(vor_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${VOR_PACKAGE_DOC_DIR})
# The record database's table and its upgrades, for the site's database owner to run.
file(GLOB VOR_RECORD_DB_SQL ${PROJECT_SOURCE_DIR}/packaging/sql/*.sql)
install(FILES ${VOR_RECORD_DB_SQL} DESTINATION ${VOR_PACKAGE_DOC_DIR}/sql)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${VOR_PACKAGE_NAME})

# The programs resolve their symbols at start-up so their relocation tables can be read-only,
# as Debian builds programs.
foreach(program vorloader vorloader-cli)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VOR_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VORnet")
set(CPACK_PACKAGE_CONTACT "VORnet Loader maintainers <loader@vornet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware loader for VORnet networked audio devices")
# The long description as Debian shows it: lines of at most 79 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Finds a VORnet device on a serial port, identifies and authenticates it,\n"
    "and programs it with the firmware that belongs to it, keeping its firmware\n"
    "folder up to date from the maker's support web server. Comes as a window\n"
    "(vorloader) and a terminal front end (vorloader-cli).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime dependencies (Qt, libcurl, the C++ library) are read off the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The terminal front end ships a completion script, which needs bash-completion to be loaded.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
include(CPack)
