# The Debian package, built by `make package` (CPack): everything the install
# rules put under /usr, with dependencies on the libraries the programs link
# as dpkg-shlibdeps finds them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "swept resonant filter effect, its LV2 plug-in and a command-line host")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ZUR is a real-time audio effect: a swept resonant filter with one input\n\
and two outputs, 2-pole or 4-pole, whose frequency rests or sweeps by a\n\
triangle or a sine shape.\n\
.\n\
This package holds the effect module (/usr/lib/zur/zur.so), the same effect\n\
as an LV2 plug-in (/usr/lib/lv2/zur.lv2), and plughost, a command-line host\n\
that inspects modules, renders audio files through them and checks them.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The ZUR developers <developers@zur.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
