# Run by CPack once the package's files are staged: Debian keeps manual
# pages gzip-compressed (gzip -9n: no name or time stamp, so the package is
# the same however often it is made). `cmake --install` leaves them plain.
find_program(GZIP gzip REQUIRED)
file(GLOB_RECURSE _pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man*/*.[1-9]")
foreach(_page IN LISTS _pages)
  execute_process(COMMAND ${GZIP} -9nf ${_page} RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "cannot compress ${_page}")
  endif()
endforeach()
