# Build conventions shared by every target of the project.

add_library(quorel_options INTERFACE)
target_compile_features(quorel_options INTERFACE cxx_std_20)
target_include_directories(quorel_options INTERFACE
  ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_compile_options(quorel_options INTERFACE
  -Wall -Wextra -Wno-unused-parameter
  $<$<CXX_COMPILER_ID:GNU>:-Wno-stringop-truncation>)
target_compile_definitions(quorel_options INTERFACE
  QUOREL_VERSION="${PROJECT_VERSION}")

if(QUOREL_SANITIZE)
  # GCC leaves float-to-int conversions out of "undefined"; clang's fuzz
  # builds check them, so the tests do too.
  set(_san -fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
           -fno-sanitize-recover=undefined,float-cast-overflow)
  target_compile_options(quorel_options INTERFACE ${_san})
  target_link_options(quorel_options INTERFACE ${_san})
endif()

if(QUOREL_TSAN)
  set(_tsan -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(quorel_options INTERFACE ${_tsan})
  target_link_options(quorel_options INTERFACE ${_tsan})
endif()

if(QUOREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUOREL_FUZZ needs clang (use the 'fuzz' preset)")
  endif()
  target_compile_options(quorel_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quorel_options INTERFACE -fsanitize=address,undefined)
endif()

# One static library per folder. A folder's library links the libraries of
# the folders below it (DEPENDS), never one above: the link order is the
# layering, and there is no cyclic group.
function(quorel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LIBRARIES" ${ARGN})
  add_library(quorel_${name} STATIC ${ARG_SOURCES})
  set(_deps)
  foreach(_dep IN LISTS ARG_DEPENDS)
    list(APPEND _deps quorel_${_dep})
  endforeach()
  target_link_libraries(quorel_${name} PUBLIC quorel_options ${_deps} ${ARG_LIBRARIES})
  if(NOT name MATCHES "^(base|platform)$")
    # Engine texts are generated headers (res/).
    add_dependencies(quorel_${name} quorel_messages)
  endif()
endfunction()

# Links a program against the whole engine, through the program's wiring.
function(quorel_link_engine target)
  target_link_libraries(${target} PRIVATE quorel_options quorel_app)
endfunction()
