# The same seed on the same day gives the same file, byte for byte.
execute_process(COMMAND ${GEN} ${ARGS} --out ${SECOND} RESULT_VARIABLE made OUTPUT_QUIET)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "gen_data failed: ${made}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FIRST} ${SECOND} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${FIRST} and ${SECOND} differ")
endif()
