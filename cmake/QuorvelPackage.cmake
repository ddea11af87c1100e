# The Debian package, made by CPack from the install rules of a build tree:
#   cpack -G DEB --config <build>/CPackConfig.cmake   ->  quorvel_<version>_<arch>.deb
# Everything goes under /usr: the VST 2.4 plug-in in lib/vst, the LV2 bundle
# in lib/lv2, the renderer in bin with its manual page, and the README,
# copyright file and changelog in share/doc/quorvel. Dependencies are worked
# out from the binaries (dpkg-shlibdeps). cmake/deb_staging.cmake finishes the
# staged tree as Debian's policy wants it (compressed manual page and
# changelog, the copyright file) before it is packed.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Quorvel developers <developers@quorvel.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one-bit pulse synthesizer for VST 2.4 and LV2 hosts")
# The long description; CPack puts the summary above it.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quorvel is a software instrument: eight voices of one-bit pulse trains"
  "drive one shared output bit at eight sub-steps per sample, with pulse"
  "width, phase reset, detune, note cut, velocity routing, modulation-wheel"
  "vibrato and pitch bend."
  ""
  "The package holds the VST 2.4 plug-in (/usr/lib/vst/quorvel.so), the LV2"
  "bundle (/usr/lib/lv2/quorvel.lv2) and quorvel-render, which plays"
  "Standard MIDI files through the instrument into audio files.")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_SOURCE_DIR}/cmake/deb_staging.cmake")
set(CPACK_QUORVEL_SOURCE_DIR "${CMAKE_SOURCE_DIR}")
include(CPack)
