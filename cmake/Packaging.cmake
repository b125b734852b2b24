# The Debian package (scripts/package.sh): `cpack -G DEB` in the normal build
# packs what `cmake --install` installs, under /usr, plus the files only a
# package carries.
include(GNUInstallDirs)

# One version: the version block's. The project() version must agree with it.
if(NOT QUORVEL_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "project() says version ${PROJECT_VERSION}, "
                      "src/AppVersion/VersionInfo.txt says FileVersion=${QUORVEL_VERSION}: make them agree")
endif()

set(QUORVEL_MAINTAINER "Orvane <packages@quorvel.org>" CACHE STRING "Maintainer field of the Debian package")

# Files a Debian package must carry in its documentation folder.
set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
configure_file(${_pkg}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${_changelog}
  COMMAND gzip -9 -n -c ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog > ${_changelog}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(package_changelog ALL DEPENDS ${_changelog})
install(FILES ${_pkg}/copyright ${_changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
install(FILES ${_pkg}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quorvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${QUORVEL_VERSION})
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT ${QUORVEL_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "S-meter logger and chart for the K4 radio transceiver")
# CPack puts the summary first and indents these lines; the empty line
# becomes the paragraph mark " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Quorvel connects over the local network to the control port of a K4 radio
transceiver, polls its S-meter once a second and shows the reading on a
meter bar. On request it averages the readings over an integration period,
appends one comma-separated record per period to a capture file and plots
the level on a chart that can be printed.

The package also carries quorvel-k4sim, a stand-in for the radio on the
loopback address, for trying Quorvel out without a radio.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORVEL_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUORVEL_HOMEPAGE})
# Runtime dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugins at run time, out of dpkg-shlibdeps' sight.
# The X11 one comes with libqt6gui6; the native Wayland one is optional
# (without it the window opens through XWayland).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
