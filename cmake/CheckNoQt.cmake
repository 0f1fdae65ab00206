# cmake -DBINARY=path -P CheckNoQt.cmake: fails when the program loads a Qt library (ldd), or
# when ldd cannot tell.
if(NOT BINARY)
  message(FATAL_ERROR "BINARY is not set")
endif()
execute_process(COMMAND ldd "${BINARY}" OUTPUT_VARIABLE libraries ERROR_VARIABLE errors
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ldd ${BINARY} failed (${result}): ${errors}")
endif()
if(NOT libraries MATCHES "libc\\.so")
  message(FATAL_ERROR "ldd ${BINARY} listed no C library:\n${libraries}")
endif()
if(libraries MATCHES "libQt")
  string(REGEX MATCHALL "libQt[^ \t\n]*" qt "${libraries}")
  message(FATAL_ERROR "${BINARY} links Qt: ${qt}")
endif()
message(STATUS "${BINARY}: no Qt library")
