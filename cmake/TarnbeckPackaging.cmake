# What a user downloads: install rules and CPack settings. On Windows a zip
# holding tarnbeck.exe and the README; on Linux a Debian package with
# /usr/bin/tarnbeck, the systemd units and the README. The release presets
# build Release and package with the executable stripped.

set(CPACK_PACKAGE_NAME tarnbeck)
set(CPACK_PACKAGE_VENDOR Tarnbeck)
set(CPACK_PACKAGE_CONTACT "Tarnbeck <dev@tarnbeck.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Race statistics recorder for Live for Speed")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  # The zip unpacks into a folder of its own: the program keeps trbk.ini,
  # xmlstats and log.txt beside itself.
  install(TARGETS tarnbeck RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tarnbeck-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  # Debian's systemd looks for packaged units in /lib/systemd/system.
  set(TARNBECK_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE PATH
      "Where the systemd units are installed")
  install(TARGETS tarnbeck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/tarnbeck.service packaging/tarnbeck@.service
          DESTINATION ${TARNBECK_SYSTEMD_UNIT_DIR})
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarnbeck)

  set(CPACK_GENERATOR DEB)
  # The package installs with this build's prefix (the release-linux preset
  # sets /usr); the absolute unit folder lands inside the package, not on
  # this machine.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The summary above is the description's first line; this is the rest.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Tarnbeck follows the races of a Live for Speed game or dedicated server
over InSim, writes one XML stats file per race, uploads it by FTP and
reports in the game's chat. Run it as tarnbeck --folder DIR, or as the
service tarnbeck (folder /var/lib/tarnbeck) or tarnbeck@NAME (one folder
per server under /var/lib/tarnbeck).")
  # libcurl and the C++ runtime, as dpkg-shlibdeps finds them in the binary.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
