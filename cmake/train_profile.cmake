# The training run of profile feedback, as `cmake -P` runs it: the instrumented
# qvek (QVEK) assembles the example (EXAMPLE) in both layouts and every
# generated source under SOURCES. A source that draws warnings trains as well
# as any, so exit codes are not judged; a run that left no profile in PROFILE is.

function(assemble folder)
    execute_process(COMMAND ${QVEK} -s ${ARGN} main.qvs ${SOURCES}/out.ucd WORKING_DIRECTORY ${folder}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(result MATCHES "[^0-9-]")
        message(FATAL_ERROR "qvek did not run in ${folder}: ${result}")
    endif()
endfunction()

assemble(${EXAMPLE})
assemble(${EXAMPLE} -i)
file(GLOB generated LIST_DIRECTORIES true ${SOURCES}/*)
foreach(folder ${generated})
    if(IS_DIRECTORY ${folder})
        assemble(${folder})
    endif()
endforeach()

file(GLOB_RECURSE profiles ${PROFILE}/*.gcda)
if(NOT profiles)
    message(FATAL_ERROR "the training left no profile in ${PROFILE}")
endif()
