# Run as a test: fails when the program named by BINARY loads the Qt Widgets library.
execute_process(COMMAND ldd ${BINARY} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ldd could not read ${BINARY}")
endif()
if(libraries MATCHES "libQt6Widgets")
  message(FATAL_ERROR "${BINARY} loads Qt Widgets")
endif()
