# cmake --install: the programs in bin/, their helpers in libexec/, the program folder
# (Media/, Languages/) in share/vantrel/ where the programs look for it, and the
# desktop files (data/CMakeLists.txt) in their standard places. cpack -G DEB makes a
# Debian package of the same tree.
include(GNUInstallDirs)

set(vantrel_share ${CMAKE_INSTALL_DATADIR}/vantrel)
if(TARGET vantrel)
  install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS vantrel-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vantrel-tool-engine)
  install(TARGETS vantrel-tool-engine RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantrel)
endif()
if(TARGET vantrel-saver)
  # XScreenSaver runs its modules from here.
  install(TARGETS vantrel-saver RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
endif()
if(TARGET vantrel-projector)
  # The stripped copy every built projector starts with (src/app/projector).
  install(PROGRAMS ${vantrel_projector_stub} DESTINATION ${vantrel_share}/Media/Binary)
endif()
install(DIRECTORY ${PROJECT_BINARY_DIR}/Media/ DESTINATION ${vantrel_share}/Media
        PATTERN Binary EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Languages/ DESTINATION ${vantrel_share}/Languages)

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <vantrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player and tool kit for Flash movies, videos and projectors")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel plays Flash movies (SWF), Flash videos (FLV), projectors and playlists in its own engine,\n"
    "and offers the tools around them: identify, decompress, unpack or build projectors, extract\n"
    "images and sounds. It comes with a Flash screen saver and the Flash desktop.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
include(CPack)
