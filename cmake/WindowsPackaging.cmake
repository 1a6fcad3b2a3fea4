# The Windows build's installation: the terminal front end and its copyright in one folder, as
# the installer (packaging/windows/installer.nsi) and the zip lay them out. Both are made by
# scripts/windows/build.sh; `cmake --install` gives the same folder for other packagers.
install(TARGETS vorloader-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION . RENAME copyright.txt)
