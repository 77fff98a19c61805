# Installation layout and the Debian package (cpack, or the "package" target).
#
# Installed, the programs live in <prefix>/bin and their read-only data (the
# database template, the ring tone) in <prefix>/share/korvianet, where the
# programs look for it; each user's own files stay in that user's folders.
include(GNUInstallDirs)

set(KORVIA_DATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/korvianet)

set(_kv_programs korvianet-cli korvianet-modem-sim)
if(TARGET korvianet)
  list(PREPEND _kv_programs korvianet)
endif()
install(TARGETS ${_kv_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_BINARY_DIR}/bin/WVL.MDB DESTINATION ${KORVIA_DATA_INSTALL_DIR})
# The ring tone the build always writes; the program looks for it there.
install(FILES ${CMAKE_BINARY_DIR}/bin/RingIn.mid DESTINATION ${KORVIA_DATA_INSTALL_DIR})

# udev only reads /usr/lib/udev/rules.d (and /etc); the package's prefix is
# /usr, a local install under another prefix puts the rule under it.
set(KORVIA_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Where the udev rule is installed, relative to the prefix")

add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvianet)
set(CPACK_PACKAGE_VENDOR "Korvianet developers")
set(CPACK_PACKAGE_CONTACT "Korvianet developers <maintainers@users.noreply.c-seed-17e3dcc0.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "connection manager for USB CDMA2000 and EV-DO modems")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link come from dpkg-shlibdeps; what they
# load or run without linking is named here: the synthesizer and a General
# MIDI sound font for the ring tone, pppd for the dial-up session. (libsystemd0,
# for the system bus, comes from dpkg-shlibdeps.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfluidsynth3, timgm6mb-soundfont | fluid-soundfont-gm, ppp")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The dial-up profiles under /etc are the administrator's to adjust.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
include(CPack)
