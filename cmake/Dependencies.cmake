# Libraries from the operating system (installed by setup.sh).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET ogg vorbis)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libswscale libswresample libavutil)
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)

# The Ogg Vorbis encoder makes the demo's music and the tests' sound files.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc)
if(QUOREL_TESTS OR QUOREL_BENCH)
  find_package(GTest REQUIRED)
endif()
if(QUOREL_BENCH)
  find_package(benchmark REQUIRED)
  pkg_check_modules(LUA REQUIRED IMPORTED_TARGET lua5.4)
  pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
  pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
endif()
