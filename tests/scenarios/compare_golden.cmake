# Compares what a scenario printed with its golden file, here for the
# simulated platform and in scripts/test-live.sh for the live stack:
#   cmake -DEXPECTED=FILE -DACTUAL=FILE -P compare_golden.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${ACTUAL}
  RESULT_VARIABLE differs)
if(differs)
  execute_process(COMMAND diff -u ${EXPECTED} ${ACTUAL} OUTPUT_VARIABLE diff_text)
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n${diff_text}")
endif()
