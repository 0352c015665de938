# Test helper: exploring the stand-in plugin finds nothing while it keeps its
# rules. Told to break one on its third input (serve a stale value, crash),
# the explorer must catch it, name the broken invariant and shrink the session
# to the three updates that show it; `run` must replay the stale value with
# the same broken invariant. The stale value's failure is also drawn as a page
# holding the broken invariant, and the shrunk file carries the why lines.
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
foreach(entry "stale-third|served-is-published" "crash-third|no-crash")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 fault)
    list(GET entry 1 invariant)
    set(ENV{HPK_FAKE_PLUGIN_FAULT} ${fault})
    execute_process(COMMAND ${HOST} explore ${SPACE} --plugin ${PLUGIN} --sessions 2000 --seed 3 --out ${OUT}/${fault}
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
    string(REGEX MATCH "broke ${invariant}; shrunk to ([^\n]+)" found "${err}")
    if(NOT result EQUAL 1 OR NOT found)
        message(FATAL_ERROR "${fault} was not caught as ${invariant} (exit ${result}):\n${out}\n${err}")
    endif()
    set(shrunk "${CMAKE_MATCH_1}")
    file(STRINGS "${shrunk}" steps REGEX "^  - ")
    list(LENGTH steps count)
    if(NOT count EQUAL 3)
        message(FATAL_ERROR "${fault}: shrunk to ${count} steps, not 3: ${shrunk}\n${out}")
    endif()
    set(shrunk_${fault} "${shrunk}")
endforeach()
string(REGEX REPLACE "\\.yaml$" ".html" page "${shrunk_stale-third}")
if(NOT EXISTS "${page}")
    message(FATAL_ERROR "no page drawn for ${shrunk_stale-third}")
endif()
file(READ "${page}" drawn)
string(FIND "${drawn}" "BROKEN served-is-published" broken)
file(READ "${shrunk_stale-third}" text)
string(FIND "${text}" "# The host's model of the feature after each step" why)
if(broken EQUAL -1 OR why EQUAL -1)
    message(FATAL_ERROR "the page does not hold the broken invariant, or ${shrunk_stale-third} lacks the why lines")
endif()
set(ENV{HPK_FAKE_PLUGIN_FAULT} stale-third)
execute_process(COMMAND ${HOST} run ${shrunk_stale-third} --plugin ${PLUGIN}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
string(FIND "${err}" "step 3 (" at)
string(FIND "${err}" "invariant served-is-published broken" same)
if(NOT result EQUAL 1 OR at EQUAL -1 OR same EQUAL -1)
    message(FATAL_ERROR "run does not replay the failure (exit ${result}):\n${err}")
endif()
