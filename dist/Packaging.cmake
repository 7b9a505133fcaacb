# The Debian package: `cpack -G DEB` in the build folder makes velmor_<version>-1_<arch>.deb with the
# installed layout below /usr. dpkg-shlibdeps (package dpkg-dev) finds the libraries the programs link
# (Qt 6, the C++ runtime) and names their packages as dependencies.
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VENDOR "Velmor")
set(CPACK_PACKAGE_CONTACT "Velmor <velmor@velmor.de>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Move EXF data into a new EPLAN 5 project")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmor takes an EXF data set (exchange header, pages, bitmaps, symbol files and plot frames) into a new
project of EPLAN 5 running in a Wine prefix. It reads the station's EPLAN configuration, creates the
project folder from a sample project, copies the data in, backs up and replaces the symbol files and
tells EPLAN the new project's name. Its window (Kelvra nach EPLAN) and the command-line program
velmorctl do the same work.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMOR_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, so dpkg-shlibdeps cannot see them: the window's icons and Qt's German standard texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, qt6-translations-l10n | qttranslations6-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
include(CPack)
