# What `cmake --install` puts where XDG expects it, and the .deb that CPack builds from it.
# The programs install themselves (their folders' install rules); this adds the manual,
# the man pages, the desktop entry, the MIME type of news collections and the icons.
include(GNUInstallDirs)

set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
# The desktop program finds its manual at <bindir>/../share/varnook/manual.html.
install(FILES ${CMAKE_SOURCE_DIR}/docs/manual.html DESTINATION ${CMAKE_INSTALL_DATADIR}/varnook)
install(FILES
  ${CMAKE_SOURCE_DIR}/docs/varnook.1
  ${CMAKE_SOURCE_DIR}/docs/varnook-batch.1
  ${CMAKE_SOURCE_DIR}/docs/varnook-archive.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_packaging}/varnook.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_packaging}/varnook-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME varnook.xml)
install(FILES ${_packaging}/icons/varnook.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_packaging}/icons/application-x-news-collection.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes)

# The .deb: `cpack -G DEB` in the build folder. Dependencies come from the programs' shared
# libraries (dpkg-shlibdeps); the MIME, desktop and icon caches are refreshed by the
# triggers of shared-mime-info, desktop-file-utils and the icon theme, so the package
# needs no scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnook")
set(CPACK_PACKAGE_CONTACT "Varnook maintainers <maintainers@varnook.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Usenet news search agent with its own archive server")
set(CPACK_PACKAGE_DESCRIPTION
  "Varnook searches Usenet archives, collects the articles of the result pages into news\
 collections (.vnk files) and shows them with coloured quotations and clickable links.\
 The package holds the desktop agent (varnook), the same agent for scripts\
 (varnook-batch) and an archive server that indexes mbox files, news spools and\
 Maildirs (varnook-archive).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION news)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
