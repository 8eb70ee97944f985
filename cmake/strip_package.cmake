# Run by CPack on the staged installation before it is packed.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program ${programs})
  execute_process(COMMAND strip --strip-all --remove-section=.comment --remove-section=.note
                          ${program}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
if(NOT programs)
  message(FATAL_ERROR "nothing to strip in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
