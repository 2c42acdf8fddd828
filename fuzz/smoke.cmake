# Runs one fuzz target on its seeds and regression inputs for a bounded number of runs.
execute_process(COMMAND ${SEEDS} ${CORPUS} RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "could not write the seeds")
endif()
file(MAKE_DIRECTORY ${CORPUS}/${TARGET})
execute_process(COMMAND ${FUZZER} -runs=5000 -seed=1 -max_len=8192 -timeout=10
                        ${CORPUS}/${TARGET} ${REGRESSIONS}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzz target ${TARGET} found a problem")
endif()
