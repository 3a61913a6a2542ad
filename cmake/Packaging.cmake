# `cpack --preset package` (or `cpack -G DEB` in a build folder) makes
# quillarc_<version>_<arch>.deb from what `cmake --install` installs: the
# programs, the desktop entry, the AppStream file and the icons. Its library
# dependencies come from dpkg-shlibdeps.

# The coil simulator is a program of its own folder; it is installed with the
# others whenever it is built.
if(TARGET quillarc-coil)
  install(TARGETS quillarc-coil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_PACKAGE_NAME quillarc)
set(CPACK_PACKAGE_VENDOR "Quillarc")
set(CPACK_PACKAGE_CONTACT "Quillarc developers <quillarc@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for a musical Tesla coil")
set(CPACK_PACKAGE_DESCRIPTION
  "Plays Standard MIDI Files on a musical Tesla coil through its USB MIDI\n"
  "controller, with a playlist, fixed mode, options and analysis windows;\n"
  "quillarc-cli, a headless front end over the same core, and quillarc-coil,\n"
  "a simulator of the coil's controller on JACK.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
