# Runs one scenario and compares what it printed with the golden file.
execute_process(
  COMMAND ${EMULATOR} ${RUNNER} ${SCENARIO}
  OUTPUT_FILE ${ACTUAL}
  ERROR_VARIABLE errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "vandrel-sim exited with ${result}: ${errors}")
endif()
# A Windows build run under an emulator ends its lines with CR LF.
if(EMULATOR)
  file(READ ${ACTUAL} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  file(WRITE ${ACTUAL} "${text}")
endif()
if(DEFINED ENV{VANDREL_UPDATE_GOLDEN})
  configure_file(${ACTUAL} ${EXPECTED} COPYONLY)
  message(STATUS "rewrote ${EXPECTED}")
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/compare_golden.cmake)
