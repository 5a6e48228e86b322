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
  set(_san -fsanitize=address,undefined -fno-omit-frame-pointer
           -fno-sanitize-recover=undefined)
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

# Every subsystem library. The libraries form one cyclic group at link time.
set(QUOREL_SUBSYSTEMS "" CACHE INTERNAL "")

function(quorel_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(quorel_${name} STATIC ${ARG_SOURCES})
  target_link_libraries(quorel_${name} PUBLIC quorel_options ${ARG_LIBRARIES})
  if(NOT name STREQUAL "platform")
    # Engine texts are generated headers (res/).
    add_dependencies(quorel_${name} quorel_messages)
  endif()
  set(QUOREL_SUBSYSTEMS ${QUOREL_SUBSYSTEMS} quorel_${name} CACHE INTERNAL "")
endfunction()

# Links a program against the whole engine (all subsystems as one group).
function(quorel_link_engine target)
  target_link_libraries(${target} PRIVATE quorel_options
    "$<LINK_GROUP:RESCAN,${QUOREL_SUBSYSTEMS}>")
endfunction()
