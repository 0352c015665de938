# Test helper: runs COMMAND ("|"-separated, empty items dropped) and passes
# when it exits with EXPECT_EXIT and its standard error contains EXPECT_ERROR.
string(REPLACE "|" ";" COMMAND "${COMMAND}")
list(REMOVE_ITEM COMMAND "")
execute_process(COMMAND ${COMMAND} OUTPUT_QUIET ERROR_VARIABLE error RESULT_VARIABLE result)
string(FIND "${error}" "${EXPECT_ERROR}" found)
if(NOT result EQUAL EXPECT_EXIT OR found EQUAL -1)
    message(FATAL_ERROR "expected exit ${EXPECT_EXIT} and \"${EXPECT_ERROR}\"; got exit ${result} and:\n${error}")
endif()
