# The layering of the source folders, checked on every include line.
#
# Folders from the ground up; each may include only the folders listed for
# it (and itself). The engine's texts (res/, generated headers) sit beside
# every layer. Only platform/ may talk to the operating system and its
# libraries: SDL, FreeType, fontconfig, FFmpeg and POSIX headers, and Dear
# ImGui's SDL backends, stay behind that seam (ImGui's own API may be used
# by the subsystems that draw menus and dialogs).
#
#   cmake -DSOURCE_DIR=<tree> -P check_layering.cmake
set(_layers base platform core resources script graphics text sound persistence shell mahjong app)
set(_may_base)
set(_may_platform base)
set(_may_core base platform)
set(_may_resources base platform core)
set(_may_script base platform core resources)
set(_may_graphics base platform core resources script)
set(_may_text base platform core resources script graphics)
set(_may_sound base platform core resources script)
set(_may_persistence base platform core resources script graphics text sound)
set(_may_shell base platform core resources script graphics text sound persistence)
set(_may_mahjong base platform core resources script)
set(_may_app ${_layers})

set(_forbidden
  "<SDL" "<ft2build.h>" "<fontconfig/" "<libav" "<libsw" "<unistd.h>" "<dirent.h>"
  "<fcntl.h>" "<sys/" "<pthread.h>" "<iconv.h>" "<dlfcn.h>" "<spawn.h>" "<imgui_impl")

set(_bad "")
foreach(_folder IN LISTS _layers)
  file(GLOB_RECURSE _files ${SOURCE_DIR}/${_folder}/*.cpp ${SOURCE_DIR}/${_folder}/*.h)
  set(_allowed ${_folder} res ${_may_${_folder}})
  foreach(_file IN LISTS _files)
    file(RELATIVE_PATH _rel ${SOURCE_DIR} ${_file})
    file(STRINGS ${_file} _includes REGEX "^[ \t]*#[ \t]*include")
    foreach(_line IN LISTS _includes)
      if(NOT _folder STREQUAL "platform")
        foreach(_header IN LISTS _forbidden)
          string(FIND "${_line}" "${_header}" _at)
          if(NOT _at EQUAL -1)
            list(APPEND _bad "${_rel}: ${_line} (operating-system headers belong in platform/)")
          endif()
        endforeach()
      endif()
      if(_line MATCHES "#[ \t]*include[ \t]*\"([a-z_]+)/")
        set(_target ${CMAKE_MATCH_1})
        list(FIND _layers ${_target} _is_layer)
        list(FIND _allowed ${_target} _ok)
        if(NOT _is_layer EQUAL -1 AND _ok EQUAL -1)
          list(APPEND _bad "${_rel}: ${_line} (${_folder}/ may not include ${_target}/)")
        elseif(_target STREQUAL "tools" OR _target STREQUAL "tests")
          list(APPEND _bad "${_rel}: ${_line} (${_folder}/ may not include ${_target}/)")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()
if(_bad)
  list(JOIN _bad "\n  " _text)
  message(FATAL_ERROR "includes that break the layering:\n  ${_text}")
endif()
