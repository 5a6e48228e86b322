# The Debian package: `cpack -G DEB` in the build folder writes
# quorel_<version>_<arch>.deb, which `apt install ./quorel_*.deb` installs
# with everything it needs on a fresh Debian 12.
set(CPACK_PACKAGE_NAME quorel)
set(CPACK_PACKAGE_VENDOR "The Quorel project")
set(CPACK_PACKAGE_CONTACT "Quorel maintainers <quorel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "runtime for Japanese visual novels, with a demo game and modding tools")
# In lines of at most 80 characters, as the package's control file wants.
set(CPACK_PACKAGE_DESCRIPTION "\
Quorel runs visual novels made for a Japanese bytecode script engine:
scripts with cooperative threads, pages and sprites, a message window for
Shift-JIS text, music, voices, movies, saved games and settings. The package
holds the program, a demo game (started from the menu with quorel-demo),
and the tools for modders and translators.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress-man-pages.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps; what is only
# loaded on demand has to be named: SDL opens the OpenGL and EGL libraries
# for the GPU renderer and libudev to find gamepads, and the message window
# needs the Japanese font fontconfig resolves its default face to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# FFmpeg too: the program opens it when the first movie plays (the sonames
# of the major versions it was built against, in Debian's package names).
set(_ffmpeg_packages)
foreach(_lib avformat avcodec swscale swresample avutil)
  string(REGEX MATCH "^[0-9]+" _major "${FFMPEG_lib${_lib}_VERSION}")
  if(NOT _major)
    message(FATAL_ERROR "no version for lib${_lib} (pkg-config)")
  endif()
  string(APPEND _ffmpeg_packages ", lib${_lib}${_major}")
endforeach()
# Self-voicing (--speak, Alt+S) opens libspeechd when it is turned on: a
# small library, so it is always there; the speech server it talks to, and
# its voices, are the player's choice.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libgl1, libegl1, libudev1, fonts-ipafont-gothic${_ffmpeg_packages}, libspeechd2")
# xdg-open shows files and addresses on the desktop: the help and the debug
# log from the menus, the link in the About box, the shell_open built-in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-mincho, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "speech-dispatcher")

include(CPack)
