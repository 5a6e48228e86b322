# The layering check must refuse an include that points up: plant one in a
# scratch tree and expect the check to fail, naming the file.
set(_tree ${WORK_DIR}/layering_fixture)
file(REMOVE_RECURSE ${_tree})
file(WRITE ${_tree}/core/fine.h "#include \"base/sjis.h\"\n#include \"platform/files.h\"\n")
file(WRITE ${_tree}/script/fine.cpp "#include \"core/engine.h\"\n#include \"res/runtime.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${_tree} -P ${CHECK}
  RESULT_VARIABLE _clean_result ERROR_VARIABLE _clean_out)
if(NOT _clean_result EQUAL 0)
  message(FATAL_ERROR "the check refused a tree whose includes all point down:\n${_clean_out}")
endif()
foreach(_plant "base/up.h|#include \"core/engine.h\""
               "script/up.cpp|#include \"graphics/page.h\""
               "sound/up.cpp|#include \"shell/input.h\""
               "graphics/os.cpp|#include <SDL2/SDL.h>"
               "mahjong/up.cpp|#include \"app/program.h\"")
  string(REPLACE "|" ";" _parts "${_plant}")
  list(GET _parts 0 _file)
  list(GET _parts 1 _line)
  file(WRITE ${_tree}/${_file} "${_line}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${_tree} -P ${CHECK}
    RESULT_VARIABLE _result ERROR_VARIABLE _out)
  if(_result EQUAL 0)
    message(FATAL_ERROR "the check accepted ${_file}: ${_line}")
  endif()
  string(FIND "${_out}" "${_file}" _named)
  if(_named EQUAL -1)
    message(FATAL_ERROR "the refusal of ${_file} does not name it:\n${_out}")
  endif()
  file(REMOVE ${_tree}/${_file})
endforeach()
file(REMOVE_RECURSE ${_tree})
