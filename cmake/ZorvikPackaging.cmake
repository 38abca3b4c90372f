# A Debian package of the installed files (cpack -G DEB), its dependencies found by
# dpkg-shlibdeps from the programs themselves.
set(CPACK_PACKAGE_NAME zorvik-remote-control)
set(CPACK_PACKAGE_VENDOR Zorvik)
set(CPACK_PACKAGE_CONTACT "Zorvik <support@zorvik.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Panel of the Talmek antenna switch: two radios, six antennas")
set(CPACK_PACKAGE_DESCRIPTION
    "See and change which of six antennas each of two radios is connected to, through a Talmek
antenna switch box reached over a serial port or UDP on the local network. Includes
talmek-sim, a stand-in for the box to try the panel without one.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zorvik.net/")
# Band follow reads the radios through rigctld; the panel runs without it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libhamlib-utils)
include(CPack)
