# Test helper: exploring the stand-in plugin finds nothing while it keeps its
# rules; told to serve a stale value after its third input, the explorer must
# catch it, shrink it to the three updates that show it, and `run` must replay
# the shrunk scenario with the same broken invariant.
# HOST ("|"-separated command, emulator first), SPACE, PLUGIN, OUT.
cmake_policy(SET CMP0007 NEW)
string(REPLACE "|" ";" HOST "${HOST}")
list(REMOVE_ITEM HOST "")
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND ${HOST} explore ${SPACE} --plugin ${PLUGIN} --sessions 200 --seed 3 --out ${OUT}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "exploring the sound stand-in failed (exit ${result}):\n${out}\n${err}")
endif()
set(ENV{HPK_FAKE_PLUGIN_FAULT} stale-third)
execute_process(COMMAND ${HOST} explore ${SPACE} --plugin ${PLUGIN} --sessions 2000 --seed 3 --out ${OUT}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
string(REGEX MATCH "broke served-is-published; shrunk to ([^\n]+)" found "${err}")
if(NOT result EQUAL 1 OR NOT found)
    message(FATAL_ERROR "the seeded fault was not caught (exit ${result}):\n${out}\n${err}")
endif()
set(shrunk "${CMAKE_MATCH_1}")
file(STRINGS "${shrunk}" steps REGEX "^  - ")
list(LENGTH steps count)
if(NOT count EQUAL 3)
    message(FATAL_ERROR "shrunk to ${count} steps, not 3: ${shrunk}\n${out}")
endif()
execute_process(COMMAND ${HOST} run ${shrunk} --plugin ${PLUGIN}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
string(FIND "${err}" "step 3 (" at)
string(FIND "${err}" "invariant served-is-published broken" same)
if(NOT result EQUAL 1 OR at EQUAL -1 OR same EQUAL -1)
    message(FATAL_ERROR "run does not replay the failure (exit ${result}):\n${err}")
endif()
