# One short fuzz run: cmake -DFUZZER=... -DWORK=... -DSEEDS=... -DREGRESSIONS=...
#   -DDICTIONARY=... -DSECONDS=... -P short_run.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
set(options -seed=1 -max_total_time=${SECONDS} -timeout=25 -rss_limit_mb=2048 -max_len=65536
    -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/)
if(EXISTS ${DICTIONARY})
    list(APPEND options -dict=${DICTIONARY})
endif()
execute_process(COMMAND ${FUZZER} ${options} ${WORK}/corpus ${SEEDS} ${REGRESSIONS}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the fuzz run failed (${result}); the input that broke it is in ${WORK}/artifacts/")
endif()
