# Test helper: runs FIRST with its standard output written to OUTPUT, then
# SECOND with OUTPUT as its last argument. FIRST and SECOND are commands with
# their arguments separated by "|" (empty items are dropped, so an empty
# emulator prefix vanishes). Fails when either exits non-zero.
foreach(var FIRST SECOND)
    string(REPLACE "|" ";" ${var} "${${var}}")
    list(REMOVE_ITEM ${var} "")
endforeach()
execute_process(COMMAND ${FIRST} OUTPUT_FILE "${OUTPUT}" ERROR_VARIABLE error RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FIRST} exited with ${result}:\n${error}")
endif()
execute_process(COMMAND ${SECOND} "${OUTPUT}" OUTPUT_VARIABLE output ERROR_VARIABLE error RESULT_VARIABLE result)
message("${output}${error}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${SECOND} ${OUTPUT} exited with ${result}")
endif()
